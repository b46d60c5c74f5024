// Faults of the platform's services, injected on the simulated desktop while a character lives
// its whole life: start-up from the remembered file, a while of ticks, a data-file change from
// the menu, more ticks, the exit. Each case names the fault, when it strikes and what the program
// must do; after every event the state must lie within its limits, and at the end every setting
// the store could take must have been written.
#include "ScriptFixtures.h"

#include "app/CharacterApp.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "chardata/Loader.h"
#include "chardata/SoftCanvas.h"
#include "sim/HeadlessRunner.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace kp {
namespace {

using test::Script;

// A busy pattern: a cell, a font and text, both kinds of sound, a program, the clock, a kept
// value, a random position and height; then 100 ms and again.
Script BusyPattern(WORD version) {
    Script s(version);
    const DWORD loop = s.Here();
    s.Op(OP_DRAW).Word(0).Op(OP_FONT).Word(12).Str("Face").Op(OP_TEXT).Word(1).Word(1).Str("hi");
    s.Op(OP_PLAYSOUND).Word(0).Op(OP_PLAYFILE).Str("ding.wav").Op(OP_EXEC).Str("notepad.exe");
    s.Set(1, VAL_CLOCK).Set(2, VAL_HOUR).Op(OP_SAVEVAR).Str("Hour").Word(0x8002);
    s.Op(OP_POSITION).Word(VAL_RANDOM).Set(3, VAL_RANDOM).Op(OP_MOD).Word(3).Word(20);
    s.Op(OP_OFFSETY).Word(0x8003);
    return s.Wait(100).Goto(loop);
}

// A pattern that stands still at its place: a cell every 100 ms.
Script StillPattern(WORD version) {
    Script s(version);
    const DWORD loop = s.Here();
    return s.Op(OP_DRAW).Word(0).Wait(100).Goto(loop);
}

build::Bytes Character(const char* name, WORD version, WORD width, WORD height) {
    build::Character c = test::ScriptCharacter({BusyPattern(version), StillPattern(version)}, version);
    c.name = name;
    c.width = width;
    c.height = height;
    c.cells[0] = build::SolidCell8(width, height, 7);
    c.sounds.push_back(build::MakeWave({128, 130, 126, 128}));
    return build::BuildCharacter(c);
}

const char* const kAlphaPath = "C:\\a.kp";
const char* const kBetaPath = "C:\\b.kp";

// One character's life on a desktop of an editor, another window and the taskbar. "Alpha" is
// remembered from the last run (position 40, the busy pattern); "Beta" is the file the data-file
// change chooses. Both are of a checked version, so that a file cut short is asked about.
class FaultRun {
public:
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    WindowId editor = 0;
    WindowId other = 0;
    WindowId taskbar = 0;
    unsigned now = 0;
    // Set while a refused data-file change holds the script still (the loader stopped timer 1).
    bool scriptStands = false;
    bool closed = false;

    FaultRun() {
        desk.files.AddFile(kAlphaPath, Character("Alpha", 302, 32, 32));
        desk.files.AddFile(kBetaPath, Character("Beta", 302, 48, 40));
        desk.settings.WriteUtf8String("Kelpo32", "DataName", kAlphaPath);
        desk.settings.WriteString("Kelpo32", "CharName", "Alpha");
        desk.settings.WriteInt("Alpha", "Position", 40);
        desk.settings.WriteInt("Alpha", "Pattern", 1);
        desk.settings.ClearWrites();
        editor = desk.desktop.Add({0, "Editor", "Notepad", {100, 200, 700, 500}});
        other = desk.desktop.Add({0, "Other", "Other", {300, 100, 900, 600}});
        taskbar = desk.desktop.AddTaskbar(Rect{0, 740, 1024, 768});
        desk.desktop.SetForeground(editor);
        desk.system.m_tick = 5000;
        desk.system.m_time = LocalTime{2001, 1, 1, 1, 12, 0, 0, 0};
    }

    CMainFrame* Frame() { return closed ? nullptr : app.MainFrame(); }
    Rect CharacterRect() {
        const auto* w = desk.desktop.Find(desk.window.m_id);
        return w ? w->rect : Rect{};
    }
    bool CharacterVisible() {
        const auto* w = desk.desktop.Find(desk.window.m_id);
        return w && w->visible;
    }

    // Virtual time: the timers fire in order of expiry, the clock moves with them, and posted
    // commands and closes are delivered; the state is checked after every event.
    void Run(unsigned ms) {
        const unsigned end = now + ms;
        for (int guard = 0; guard < 1000000; ++guard) {
            if (!Frame())
                return;
            unsigned step = end - now;
            for (const auto& [id, delay] : desk.window.m_timers)
                step = std::min(step, delay);
            for (auto& [id, delay] : desk.window.m_timers)
                delay -= step;
            Advance(step);
            const auto due = std::find_if(desk.window.m_timers.begin(), desk.window.m_timers.end(),
                                          [](const auto& t) { return t.second == 0; });
            if (due != desk.window.m_timers.end()) {
                Frame()->OnTimer(static_cast<unsigned>(due->first));
                Deliver();
                CheckState();
            } else if (now == end) {
                return;
            }
        }
        FAIL() << "no end to the timers at " << now << " ms";
    }

    void Advance(unsigned ms) {
        now += ms;
        desk.system.m_tick += ms;
        desk.system.m_time = sim::AddMilliseconds(desk.system.m_time, ms);
    }

    // Menu commands, then a close the program posted to itself.
    void Deliver() {
        desk.window.DeliverPostedCommands();
        if (desk.window.m_closePosted > 0 && Frame()) {
            desk.window.m_closePosted = 0;
            Frame()->OnClose();
        }
        closed = closed || desk.window.m_destroyed;
    }

    void Command(unsigned id) {
        desk.window.QueueMenuChoice(id);
        Frame()->OnRButtonDown(0, Point{4, 4});
        Deliver();
        if (Frame())
            CheckState();
    }

    // The limits that hold whatever happens around the program.
    void CheckState() {
        CMainFrame* f = Frame();
        if (!f || !desk.window.m_exists)
            return;
        EXPECT_GE(f->m_nPosition, 0);
        EXPECT_LE(f->m_nPosition, 100);
        EXPECT_GE(f->m_nPattern, 0);
        EXPECT_LE(f->m_nPattern, f->File().PatternCount());
        const bool frameTimer = desk.window.m_timers.count(kFrameTimer) != 0;
        EXPECT_EQ(f->m_bAnimTimer != FALSE, frameTimer) << "at " << now << " ms";
        if (!scriptStands) {
            EXPECT_TRUE(frameTimer) << "the script stopped at " << now << " ms";
        }
        EXPECT_EQ(desk.window.m_timers.count(kPlacementTimer), 1u) << "at " << now << " ms";
        // A character that can be seen has a frame to show.
        EXPECT_TRUE(f->m_pBitmap || !CharacterVisible()) << "at " << now << " ms";
    }
};

using Step = std::function<void(FaultRun&)>;

// A fault, when it strikes, and what the program must do. By default the program starts, shows
// no message, changes to "Beta", runs on and writes its settings at the end.
struct FaultCase {
    explicit FaultCase(std::string caseName) : name(std::move(caseName)) {}
    std::string name;
    // Before start-up, halfway through the first run, and right before the data-file change.
    Step before, during, beforeChange;
    bool starts = true;
    std::vector<std::string> messages; // every one read by the user, in order
    bool changeRefused = false;        // the old character stays, standing still
    bool closesItself = false;         // ends through its close path after a message
    bool writesAtExit = true;          // the store takes the writes at the end
    Step check;

    FaultCase& Before(Step f) { return Set(before, std::move(f)); }
    FaultCase& During(Step f) { return Set(during, std::move(f)); }
    FaultCase& BeforeChange(Step f) { return Set(beforeChange, std::move(f)); }
    FaultCase& Check(Step f) { return Set(check, std::move(f)); }
    FaultCase& Told(std::vector<std::string> texts) {
        messages = std::move(texts);
        return *this;
    }
    FaultCase& StartFails() { return Flag(starts, false); }
    FaultCase& ChangeRefused() { return Flag(changeRefused, true); }
    FaultCase& ClosesItself() { return Flag(closesItself, true); }
    FaultCase& StoreRefusesWrites() { return Flag(writesAtExit, false); }

private:
    FaultCase& Set(Step& step, Step f) {
        step = std::move(f);
        return *this;
    }
    FaultCase& Flag(bool& flag, bool value) {
        flag = value;
        return *this;
    }
};

// What another program does to a character file: deletes it, locks it, or cuts it short.
using Spoil = std::function<void(FaultRun&, const Utf8String&)>;

Spoil CutTo(std::size_t keepBytes) {
    return [keepBytes](FaultRun& r, const Utf8String& p) {
        build::Bytes b = Character("Cut", 302, 48, 40);
        b.resize(std::min(b.size(), keepBytes));
        r.desk.files.AddFile(p, b);
    };
}

// The file the user chose is spoilt between the dialog's choice and the load.
Step OnChoice(Spoil f) {
    return [f](FaultRun& r) { r.desk.ui.m_onFileChosen = [&r, f](const Utf8String& p) { f(r, p); }; };
}

std::string StoredText(FaultRun& r, const AnsiString& section, const char* name) {
    const auto* v = r.desk.settings.Find(section, name);
    return v ? v->text : "(none)";
}
int StoredNumber(FaultRun& r, const AnsiString& section, const char* name) {
    const auto* v = r.desk.settings.Find(section, name);
    return v ? v->number : -999;
}

// Foreground windows that change between any two queries of the program: another window takes
// the foreground, a new one appears in front and dies before the next query, or the foreground
// window dies.
void Flicker(FaultRun& r) {
    auto random = std::make_shared<std::mt19937>(7);
    auto dying = std::make_shared<WindowId>(0);
    auto inside = std::make_shared<bool>(false); // the hook's own queries change nothing
    r.desk.desktop.m_beforeQuery = [&r, random, dying, inside](WindowId) {
        if (*inside)
            return;
        *inside = true;
        auto& d = r.desk.desktop;
        if (*dying) {
            d.Remove(*dying);
            *dying = 0;
        }
        switch ((*random)() % 6) {
        case 0: {
            const WindowId pick[] = {r.editor, r.other, r.taskbar, r.desk.window.m_id, 0};
            d.SetForeground(pick[(*random)() % 5]);
            break;
        }
        case 1:
            *dying = d.Add({0, "Popup", "Popup", {200, 300, 400, 400}});
            d.SetForeground(*dying);
            break;
        case 2:
            if (const WindowId f = d.ForegroundWindow(); f && f != r.editor && f != r.taskbar)
                d.Remove(f);
            break;
        default:
            break;
        }
        *inside = false;
    };
}

std::vector<FaultCase> Cases() {
    std::vector<FaultCase> cases;
    auto add = [&](std::string name) -> FaultCase& { return cases.emplace_back(std::move(name)); };
    const Spoil remove = [](FaultRun& r, const Utf8String& p) { r.desk.files.Remove(p); };

    // The settings store.
    add("settings cannot be read: a first run that asks for the file")
        .Before([](FaultRun& r) {
            r.desk.settings.m_failReads = true;
            r.desk.ui.QueueFileChoice(kAlphaPath);
        })
        .Check([](FaultRun& r) { EXPECT_EQ(r.desk.ui.FileDialogs().size(), 2u); });
    add("settings cannot be written: nothing stored, nothing else changes")
        .Before([](FaultRun& r) { r.desk.settings.m_failWrites = true; })
        .StoreRefusesWrites()
        .Check([](FaultRun& r) {
            EXPECT_GT(r.desk.settings.LostWrites(), 0);
            EXPECT_EQ(StoredNumber(r, "Alpha", "Position"), 40);
            EXPECT_EQ(StoredNumber(r, "Beta", "Position"), -999);
        });
    add("writes lost at the data-file change, taken again at exit")
        .During([](FaultRun& r) { r.desk.settings.m_failWrites = true; })
        .BeforeChange(OnChoice([](FaultRun& r, const Utf8String&) { r.desk.settings.m_failWrites = false; }))
        .Check([](FaultRun& r) { EXPECT_EQ(StoredNumber(r, "Alpha", "Position"), 40); });

    // The data file, remembered at start-up (its message, then the dialog) or chosen at the change
    // (its message; the old character stays).
    const struct {
        const char* what;
        Spoil spoil;
        LoadMessage told;
    } spoilt[] = {
        {"gone", remove, LoadMessage::Unreadable},
        {"locked", [](FaultRun& r, const Utf8String& p) { r.desk.files.Lock(p); }, LoadMessage::Unreadable},
        {"cut to half", CutTo(300), LoadMessage::MayBeCorrupted},
        {"cut to nothing", CutTo(0), LoadMessage::Corrupted},
    };
    for (const auto& f : spoilt) {
        add(std::string("remembered file ") + f.what)
            .Before([f = f.spoil](FaultRun& r) {
                f(r, kAlphaPath);
                r.desk.ui.QueueFileChoice(kBetaPath);
            })
            .Told({LoadMessageText(f.told)});
        add(std::string("file chosen at the change ") + f.what + " before it is read")
            .BeforeChange(OnChoice(f.spoil))
            .Told({LoadMessageText(f.told)})
            .ChangeRefused();
    }
    add("file chosen at start-up vanishes before it is read: the start ends")
        .Before([remove](FaultRun& r) {
            r.desk.files.Remove(kAlphaPath);
            r.desk.ui.QueueFileChoice(kBetaPath);
            OnChoice(remove)(r);
        })
        .StartFails()
        .Told({LoadMessageText(LoadMessage::Unreadable), LoadMessageText(LoadMessage::Unreadable)})
        .Check([](FaultRun& r) {
            EXPECT_EQ(StoredText(r, "Kelpo32", "DataName"), kAlphaPath);
            EXPECT_EQ(StoredNumber(r, "Alpha", "Position"), 40);
        });

    // The window and its frame: never an end without a word.
    add("window refused at start-up")
        .Before([](FaultRun& r) { r.desk.window.m_refuseCreate = true; })
        .StartFails()
        .Told({kWindowRefusedText});
    add("frame refused at start-up")
        .Before([](FaultRun& r) { r.desk.window.m_refuseFrame = true; })
        .StartFails()
        .Told({kWindowRefusedText});
    add("frame refused at the data-file change: told, then the program ends with its settings")
        .BeforeChange([](FaultRun& r) {
            OnChoice([](FaultRun& q, const Utf8String&) { q.desk.window.m_refuseFrame = true; })(r);
            // Nothing of the frameless character shows while the user reads the message.
            r.desk.ui.m_whileMessageOpen = [&r] {
                r.scriptStands = true;
                r.Run(300);
                EXPECT_FALSE(r.CharacterVisible());
            };
        })
        .Told({kWindowRefusedText})
        .ClosesItself()
        .Check([](FaultRun& r) { EXPECT_EQ(StoredText(r, "Kelpo32", "CharName"), "Beta"); });

    // What the scripts ask for.
    add("no font can be made: text in the frame's own font")
        .Before([](FaultRun& r) { r.desk.window.m_refuseFonts = true; })
        .During([](FaultRun& r) {
            const auto& frame = static_cast<const SoftCanvas&>(*r.Frame()->m_pBitmap);
            EXPECT_EQ(frame.Pixel(5, 5), MakeColor(255, 255, 255));
        });
    add("no sound can be played")
        .Before([](FaultRun& r) { r.desk.sound.m_fail = true; })
        .Check([](FaultRun& r) {
            const auto& calls = r.desk.sound.m_calls;
            EXPECT_NE(std::find(calls.begin(), calls.end(), "wave 48 bytes failed"), calls.end());
        });
    add("no program can be started")
        .Before([](FaultRun& r) { r.desk.programs.m_fail = true; })
        .Check([](FaultRun& r) { EXPECT_FALSE(r.desk.programs.m_failed.empty()); });

    // The desktop.
    add("foreground flickers between windows that die at once").During([](FaultRun& r) {
        Flicker(r);
        r.Run(3000);
        r.Frame()->OnLButtonDown(0, Point{5, 5});
        r.desk.window.QueueDrag(Point{40, 3});
        r.Frame()->OnMouseMove(0, Point{9, 5});
        r.Frame()->OnSettings();
        r.Run(3000);
    });
    add("the taskbar goes and comes back while the character stands on it")
        .Before([](FaultRun& r) {
            r.desk.settings.WriteInt("Alpha", "Fixed", 1);
            r.desk.settings.WriteInt("Alpha", "Pattern", 2);
        })
        .During([](FaultRun& r) {
            EXPECT_TRUE(r.CharacterVisible());
            r.desk.desktop.Remove(r.taskbar);
            r.Run(150);
            EXPECT_FALSE(r.CharacterVisible());
            r.taskbar = r.desk.desktop.AddTaskbar(Rect{0, 728, 1024, 768});
            r.Run(150);
            EXPECT_TRUE(r.CharacterVisible());
            EXPECT_EQ(r.CharacterRect().top, 728);
        });
    add("the monitor under the character is unplugged")
        .Before([](FaultRun& r) {
            r.desk.desktop.m_monitors.push_back(Rect{1024, 0, 2048, 768});
            r.desk.desktop.Find(r.editor)->rect = Rect{600, 200, 1100, 500};
            r.desk.settings.WriteInt("Alpha", "Position", 100);
            r.desk.settings.WriteInt("Alpha", "Pattern", 2);
        })
        .During([](FaultRun& r) {
            EXPECT_EQ(r.CharacterRect().left, 1068);
            r.desk.desktop.RemoveMonitor(1); // the system moves the character, not the editor
            r.Run(150);
            // An unchanged placement leaves the character where the system put it, on the
            // remaining screen; the target's next move places it again.
            EXPECT_EQ(r.CharacterRect().left, 44);
            r.desk.desktop.Find(r.editor)->rect = Rect{500, 200, 1000, 500};
            r.Run(150);
            EXPECT_EQ(r.CharacterRect().left, 968);
            EXPECT_EQ(r.CharacterRect().top, 200);
        });
    add("the resolution changes under the target").During([](FaultRun& r) {
        r.desk.desktop.m_monitors[0] = Rect{0, 0, 640, 480};
        r.Run(150);
        EXPECT_TRUE(r.CharacterVisible());
        // The system fits the maximised editor to the new screen: no room above it.
        r.desk.desktop.Find(r.editor)->rect = Rect{0, 0, 640, 480};
        r.Run(150);
        EXPECT_FALSE(r.CharacterVisible());
    });
    add("the clock jumps backwards")
        .Before([](FaultRun& r) { r.desk.system.m_tick = 0xFFFFFF00u; })
        .During([](FaultRun& r) {
            r.desk.system.m_time = LocalTime{2000, 12, 0, 31, 22, 30, 0, 0};
            r.desk.system.m_tick -= 3600000;
            r.Run(500);
            EXPECT_EQ(r.Frame()->m_nVar[2], 22);
            r.desk.system.m_time = LocalTime{1601, 1, 1, 1, 0, 0, 0, 0};
            r.Run(500);
            EXPECT_EQ(r.Frame()->m_nVar[2], 0);
        });
    return cases;
}

TEST(FaultInjection, EveryServiceFault) {
    for (const FaultCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        FaultRun r;
        if (c.before)
            c.before(r);
        ASSERT_EQ(r.app.InitInstance(""), c.starts ? TRUE : FALSE);
        if (c.starts) {
            r.CheckState();
            r.Run(1000);
            if (c.during)
                c.during(r);
            r.Run(1000);
            const AnsiString before = r.Frame()->File().Name();
            r.desk.ui.QueueFileChoice(kBetaPath);
            if (c.beforeChange)
                c.beforeChange(r);
            r.scriptStands = c.changeRefused;
            r.Command(ID_CHANGE_DATAFILE);
            r.Run(1000);
            EXPECT_EQ(r.closed, c.closesItself);
            if (r.Frame()) {
                EXPECT_EQ(r.Frame()->File().Name(), c.changeRefused ? before : "Beta");
                // A pattern chosen from the menu sets the script going again.
                r.Command(ID_PATTERN_RANDOM + 1);
                r.scriptStands = false;
                r.Run(1000);
                r.Command(ID_APP_EXIT);
            }
            EXPECT_TRUE(r.closed);
        }
        r.app.ExitInstance();

        std::vector<std::string> texts;
        for (const auto& m : r.desk.ui.Messages()) {
            texts.push_back(m.text);
            EXPECT_TRUE(m.seen) << m.text;
        }
        EXPECT_EQ(texts, c.messages);
        // Every setting the program holds at its end is in the store when the store takes writes.
        if (c.writesAtExit && r.app.m_bHaveDataFile) {
            EXPECT_EQ(StoredText(r, "Kelpo32", "DataName"), r.app.m_strDataName);
            EXPECT_EQ(StoredText(r, "Kelpo32", "CharName"), r.app.m_strCharName);
            EXPECT_EQ(StoredNumber(r, r.app.m_strCharName, "Position"), r.app.m_nSavedPosition);
        }
        if (c.check)
            c.check(r);
    }
}

} // namespace
} // namespace kp
