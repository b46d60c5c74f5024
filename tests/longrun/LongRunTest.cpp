// A week on the simulated desktop: the sample character and ten generated ones each run for
// days of virtual time while the target window moves and changes, the user clicks, drags,
// chooses patterns, changes the data file and the settings, and the file on disk is replaced.
// After every happening the state must lie within its limits; day by day, the heap that the
// program holds must not grow (counted by the replaced operator new), nor its mask slots and
// fonts. The virtual span is a week, or as many hours as the environment variable
// KP_LONGRUN_HOURS says (the sanitizer build sets half a day); it is cut into seven periods,
// compared with each other.
#include "Assembler.h"
#include "BmpFile.h"
#include "BuildCommand.h"
#include "Cp932Text.h"
#include "ToolSystem.h"

#include "app/CharacterApp.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "platform/Dialogs.h"
#include "sim/HeadlessRunner.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <random>
#include <string>

// ---------------------------------------------------------------------------------------------
// The heap the process holds, through a counting operator new: a header before each block keeps
// its size.
namespace {
std::size_t g_liveBytes = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* CountedNew(std::size_t n) {
    void* p = std::malloc(n + kHeader);
    if (!p)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = n;
    g_liveBytes += n;
    return static_cast<char*>(p) + kHeader;
}
void CountedDelete(void* p) noexcept {
    if (!p)
        return;
    void* block = static_cast<char*>(p) - kHeader;
    g_liveBytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}
} // namespace

void* operator new(std::size_t n) {
    return CountedNew(n);
}
void* operator new[](std::size_t n) {
    return CountedNew(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    try {
        return CountedNew(n);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
    return operator new(n, t);
}
void operator delete(void* p) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    CountedDelete(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    CountedDelete(p);
}

namespace kp {
namespace {

using build::Bytes;
using Files = std::map<std::string, Bytes>;

// ---------------------------------------------------------------------------------------------
// Characters

struct Source {
    std::string text;
    Files files;
};

Bytes Assemble(const Source& s) {
    const tool::ReadFileFn read = [&](const std::string& name, Bytes& out) {
        const auto it = s.files.find(name);
        if (it == s.files.end())
            return false;
        out = it->second;
        return true;
    };
    Bytes image;
    std::vector<std::string> errors;
    if (!tool::AssembleSource("gen.kps", s.text, read, image, errors))
        for (const std::string& e : errors)
            ADD_FAILURE() << e << "\n" << s.text;
    return image;
}

Source Sample() {
    Source s;
    std::string bytes;
    const std::string folder = KP_SAMPLE_DIR "/";
    EXPECT_TRUE(tool::ReadFileBytes(folder + "kelpo.kps", s.text));
    for (std::size_t at = s.text.find('"'); at != std::string::npos; at = s.text.find('"', at + 1)) {
        const std::size_t end = s.text.find('"', at + 1);
        const std::string name = s.text.substr(at + 1, end - at - 1);
        if (tool::ReadFileBytes(folder + name, bytes))
            s.files[name] = Bytes(bytes.begin(), bytes.end());
        at = end;
    }
    return s;
}

// A character made up from `seed`: cells of every kind and size, masks, sounds, and patterns
// of loops with waits, random branches, counters, text in fonts, sounds, position and height
// changes, saved values, click entries and jumps to other patterns. Every path waits before it
// comes round again, so the script never ends.
Source Generated(unsigned seed) {
    std::mt19937 rnd(seed);
    const auto R = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rnd); };
    const auto N = [](int v) { return std::to_string(v); };
    Source s;
    const int w = R(8, 64), h = R(8, 64);
    std::string& t = s.text;
    t = "version " + N(R(300, 303)) + "\nname \"Gen" + N(seed) + "\"\nwindow " + N(w) + " " + N(h) + "\n";
    const int patterns = R(2, 7);
    t += "default-pattern " + N(R(0, patterns)) + "\ndefault-position " + N(R(0, 100)) + "\n";
    if (R(0, 1))
        t += "menu-columns " + N(R(1, 3)) + "\n";
    const int cells = R(3, 9);
    std::vector<int> masks;
    for (int c = 0; c < cells; ++c) {
        const std::string name = "c" + N(c) + ".bmp";
        const int cw = R(1, w), ch = R(1, h);
        const int kind = c == 0 ? 0 : R(0, 3);
        if (kind == 3) {
            std::vector<std::string> rows(static_cast<std::size_t>(ch));
            for (std::string& row : rows)
                for (int x = 0; x < cw; ++x)
                    row += R(0, 3) ? '0' : '1';
            s.files[name] = tool::WriteBmp(build::MaskCell1(rows));
            masks.push_back(c);
        } else if (kind == 2) {
            s.files[name] = tool::WriteBmp(build::Cell4({"0123", "4567", "89AB"}));
        } else if (kind == 1) {
            s.files[name] = tool::WriteBmp(build::SolidCell24(cw, ch, 10, 200, 30));
        } else {
            s.files[name] = tool::WriteBmp(build::SolidCell8(cw, ch, static_cast<BYTE>(R(1, 255))));
        }
        t += "cell " + N(c) + " \"" + name + "\" at " + N(R(0, w / 2)) + " " + N(R(0, h / 2)) +
             (kind == 3 && R(0, 1) ? " mask-runs" : "") + "\n";
    }
    const int sounds = R(0, 2);
    for (int i = 0; i < sounds; ++i) {
        s.files["s" + N(i) + ".wav"] = build::MakeWave(Bytes(static_cast<std::size_t>(R(1, 300)), 7));
        t += "sound " + N(i) + " \"s" + N(i) + ".wav\"\n";
    }
    for (int p = 1; p <= patterns; ++p) {
        const std::string P = "p" + N(p) + "_";
        t += "pattern \"Pattern " + N(p) + "\"\n";
        if (!masks.empty() && R(0, 1))
            t += " OP_NEWSHAPE 'b' " +
                 N(masks[static_cast<std::size_t>(R(0, static_cast<int>(masks.size()) - 1))]) +
                 "\n OP_SETSHAPE v0\n";
        if (R(0, 1))
            t += " OP_CLICKON " + P + "click\n";
        t += " OP_SET v1 0\n" + P + "top:\n";
        for (int k = R(1, 6); k > 0; --k) {
            switch (R(0, 7)) {
            case 0:
                t += " OP_DRAW " + N(R(0, cells - 1)) + "\n OP_WAIT " + N(R(50, 5000)) + "\n";
                break;
            case 1:
                t += " OP_WAITRANDOM " + N(R(100, 3000)) + " " + N(R(1, 4000)) + "\n";
                break;
            case 2:
                t += " OP_FONT " + N(R(8, 24)) + " \"Face" + N(R(0, 2)) + "\"\n OP_TEXT " + N(R(0, w)) + " " +
                     N(R(0, h)) + " \"hello " + N(k) + "\"\n";
                break;
            case 3:
                t += sounds ? " OP_PLAYSOUND " + N(R(0, sounds - 1)) + "\n" : " OP_PLAYFILE \"x.wav\"\n";
                break;
            case 4:
                t += " OP_POSITION " + N(R(0, 120)) + "\n OP_OFFSETY " + N(R(0, 30)) + "\n";
                break;
            case 5:
                t += " OP_SAVEVAR \"n\" v1\n OP_LOADVAR \"n\" v2 0\n";
                break;
            case 6:
                t += " OP_PALETTE 'b' " + N(R(0, cells - 1)) + "\n";
                break;
            default: // a random way back, after a wait
                t +=
                    " OP_WAIT " + N(R(50, 2000)) + "\n OP_IF VAL_RANDOM < " + N(R(1, 99)) + " " + P + "top\n";
                break;
            }
        }
        t += " OP_DRAW " + N(R(0, cells - 1)) + "\n OP_WAIT " + N(R(100, 4000)) + "\n OP_ADD v1 1\n";
        t += " OP_IF v1 < " + N(R(2, 50)) + " " + P + "top\n OP_PATTERN " + N(R(0, patterns)) + "\n";
        t += P + "click:\n OP_DRAW 0\n OP_WAIT " + N(R(100, 900)) + "\n OP_GOTO " + P + "top\n";
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// The week

// Hours of virtual time each character runs.
unsigned SpanHours() {
    const char* text = std::getenv("KP_LONGRUN_HOURS");
    const int hours = text ? std::atoi(text) : 0;
    return hours > 0 ? static_cast<unsigned>(hours) : 7 * 24;
}
constexpr unsigned kPeriods = 7;

// The window's script host with a record of the two things the limits depend on: whether the
// script stopped on an instruction that does not lie inside the file (then no frame timer is
// due until a pattern starts or a click enters the script) and whether the mask slots are all
// free after the program frees them.
class WatchingHost final : public IScriptHost {
public:
    WatchingHost(IScriptHost& inner, const CMainFrame& frame) : m_inner(inner), m_frame(frame) {}

    const CharacterFile& ScriptFile() const override { return m_inner.ScriptFile(); }
    void DrawCell(WORD cell) override { m_inner.DrawCell(cell); }
    WORD CreateMaskRgn(BYTE kind, WORD cell) override { return m_inner.CreateMaskRgn(kind, cell); }
    void SetShape(WORD slot) override { m_inner.SetShape(slot); }
    void FreeMaskRegions() override {
        m_inner.FreeMaskRegions();
        for (const auto& slot : m_frame.m_apMaskRgn)
            m_slotKept = m_slotKept || slot != nullptr;
    }
    void ReplacePalette(WORD cell) override { m_inner.ReplacePalette(cell); }
    void WriteText(int x, int y, const AnsiString& text) override { m_inner.WriteText(x, y, text); }
    void UseFont(const FontSpec* font) override { m_inner.UseFont(font); }
    void Track() override { m_inner.Track(); }
    void HideWindow() override { m_inner.HideWindow(); }
    void SetFrameTimer(unsigned milliseconds) override {
        m_stopped = false;
        m_inner.SetFrameTimer(milliseconds);
    }
    void KillFrameTimer() override { m_inner.KillFrameTimer(); }
    void PlayWave(const BYTE* wave, std::size_t size) override { m_inner.PlayWave(wave, size); }
    void PlaySoundFile(const AnsiString& name) override { m_inner.PlaySoundFile(name); }
    void StartProgram(const AnsiString& commandLine) override { m_inner.StartProgram(commandLine); }
    int ReadSetting(const AnsiString& entry, int value) override { return m_inner.ReadSetting(entry, value); }
    void WriteSetting(const AnsiString& entry, int value) override { m_inner.WriteSetting(entry, value); }
    Point CursorInClient() override { return m_inner.CursorInClient(); }
    LocalTime LocalNow() override { return m_inner.LocalNow(); }
    BOOL AutoAnimation() override { return m_inner.AutoAnimation(); }
    int Rand() override { return m_inner.Rand(); }
    void StepCutShort(StepCut why, int pos) override {
        m_stopped = m_stopped || why == StepCut::OutsideImage;
        m_inner.StepCutShort(why, pos);
    }

    bool m_stopped = false;  // the script stands on an instruction outside the file
    bool m_slotKept = false; // a slot was still taken after the slots were freed

private:
    IScriptHost& m_inner;
    const CMainFrame& m_frame;
};

// What the program holds at one moment.
struct Held {
    std::size_t heap = 0;
    int maskSlots = 0;
    int fonts = 0;
};

class Week {
public:
    Week(const Bytes& image, const Bytes& other, unsigned seed) : m_rnd(seed), m_images{image, other} {
        m_desk.files.AddFile(kPath, image);
        m_desk.files.AddFile(kOther, other);
        m_app.m_strDataName = kPath;
        m_app.m_bHaveDataFile = TRUE;
        m_app.m_bWin2000 = TRUE;
        m_app.m_bAutoAnimation = TRUE;
        m_target =
            m_desk.desktop.Add(sim::SimDesktopWindows::Window{0, "Editor", "Notepad", {100, 200, 900, 700}});
        m_desk.desktop.SetForeground(m_target);
        m_frame.ScriptEngine().SetHost(m_host);
    }

    // Runs `hours` of virtual time; returns the first broken limit ("" when none). `daily` gets,
    // for each of kPeriods whole periods, the least heap (its floor: a leak raises it) and the
    // most slots and fonts.
    std::string Run(unsigned hours, std::vector<Held>& daily) {
        EXPECT_TRUE(m_frame.LoadDataFile(kPath));
        if (!m_frame.CreateCharacterWindow())
            return "no window";
        Collect();
        const std::uint64_t end = std::uint64_t{hours} * 3600 * 1000;
        const std::uint64_t period = end / kPeriods;
        std::uint64_t nextEvent = Gap();
        std::uint64_t dayEnd = 0;
        while (m_now < end) {
            std::uint64_t at = nextEvent;
            int timer = 0;
            for (const auto& [id, due] : m_due)
                if (due <= at) {
                    at = due;
                    timer = id;
                }
            SetTime(std::min(at, end));
            // Only whole periods: the moment the span ends would otherwise make a last "period"
            // of one step, whose floor is whatever that step happens to hold.
            if (m_now >= dayEnd && daily.size() < kPeriods) {
                daily.push_back(Held{g_liveBytes, 0, 0});
                dayEnd += period;
            }
            if (timer) {
                m_due.erase(timer);
                Tick(timer, nextEvent);
            } else {
                Happen();
                nextEvent = m_now + Gap();
            }
            Collect();
            const std::string broken = Limits();
            if (!broken.empty())
                return broken + " at " + std::to_string(m_now) + " ms after " +
                       (timer ? "timer " + std::to_string(timer) : "happening " + std::to_string(m_last));
            Held& today = daily.back();
            today.heap = std::min(today.heap, g_liveBytes);
            today.maskSlots = std::max(today.maskSlots, MaskSlots());
            today.fonts = std::max(today.fonts, Fonts());
            ++m_steps;
        }
        return "";
    }
    std::uint64_t Steps() const { return m_steps; }

private:
    static constexpr const char* kPath = "C:\\chars\\a.kp";
    static constexpr const char* kOther = "C:\\chars\\b.kp";

    int R(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rnd); }
    std::uint64_t Gap() { return static_cast<std::uint64_t>(R(1, 40)) * 60 * 1000; }

    void SetTime(std::uint64_t ms) {
        m_now = ms;
        m_desk.system.m_tick = static_cast<DWORD>(ms);
        m_desk.system.m_time = sim::AddMilliseconds(LocalTime{2001, 1, 1, 1, 0, 0, 0, 0}, ms);
    }

    // A placement tick that moved nothing is followed by ticks that would move nothing either,
    // until something else happens: those are skipped, the clock goes timer to timer.
    void Tick(int timer, std::uint64_t nextEvent) {
        const auto* w = m_desk.desktop.Find(m_desk.window.m_id);
        const Rect before = w ? w->rect : Rect{};
        const bool visible = w && w->visible;
        m_frame.OnTimer(static_cast<unsigned>(timer));
        Collect();
        w = m_desk.desktop.Find(m_desk.window.m_id);
        const bool still = w && w->rect == before && w->visible == visible;
        if (timer == kPlacementTimer && still && m_due.count(kPlacementTimer)) {
            std::uint64_t next = nextEvent;
            if (m_due.count(kFrameTimer))
                next = std::min(next, m_due[kFrameTimer]);
            std::uint64_t& due = m_due[kPlacementTimer];
            if (next > due)
                due += (next - due) / kPlacementInterval * kPlacementInterval;
        }
    }

    // One thing the user or the desktop does.
    void Happen() {
        auto* target = m_desk.desktop.Find(m_target);
        const Point inside{1, 1};
        m_last = R(0, 8);
        switch (m_last) {
        case 0: { // the target moves and changes size
            const int x = R(-200, 1500), y = R(-100, 900);
            target->rect = Rect{x, y, x + R(0, 1200), y + R(0, 800)};
            break;
        }
        case 1: // another window comes to the front, or the target comes back
            if (m_other) {
                m_desk.desktop.Remove(m_other);
                m_other = 0;
                m_desk.desktop.SetForeground(m_target);
            } else {
                m_other = m_desk.desktop.Add(
                    sim::SimDesktopWindows::Window{0, "Other", "Other", {R(0, 800), R(0, 600), 1000, 760}});
                m_desk.desktop.SetForeground(m_other);
            }
            break;
        case 2:
            m_frame.OnLButtonDown(0, inside);
            m_frame.OnLButtonUp(0, inside);
            break;
        case 3:
            m_desk.window.QueueDrag(Point{R(-300, 300), R(-20, 20)});
            m_frame.OnLButtonDown(0, inside);
            m_frame.OnMouseMove(0, Point{6, 5});
            m_frame.OnLButtonUp(0, Point{6, 5});
            break;
        case 4: { // a pattern from the menu, or the random choice
            const int k = R(0, m_frame.File().PatternCount());
            m_desk.window.QueueMenuChoice(k ? PatternCommand(k) : ID_PATTERN_RANDOM);
            m_frame.OnRButtonDown(0, inside);
            m_desk.window.DeliverPostedCommands();
            break;
        }
        case 5: // the other character, or back
            m_desk.ui.QueueFileChoice(m_onOther ? kPath : kOther);
            m_onOther = !m_onOther;
            m_frame.OnCommand(ID_CHANGE_DATAFILE);
            break;
        case 6: { // the settings, by the user's hand
            const int position = R(-20, 130), autoAnimation = R(0, 1), fixed = R(0, 2), ok = R(0, 3);
            m_desk.ui.QueueDialog(IDD_SETTINGS, [=](IDialogLogic&, sim::SimDialogControls& c) {
                c.Type(IDC_POSITION_EDIT, std::to_string(position));
                c.Tick(IDC_AUTO_ANIMATION, autoAnimation);
                c.Tick(IDC_FIXED_ALL + fixed);
                c.Click(ok ? kIdOk : kIdCancel);
            });
            m_frame.OnCommand(ID_SETTINGS);
            break;
        }
        case 7: // the two files trade their bytes on disk, and the user opens the shown one again
            std::swap(m_images[0], m_images[1]);
            m_desk.files.AddFile(kPath, m_images[0]);
            m_desk.files.AddFile(kOther, m_images[1]);
            m_desk.ui.QueueFileChoice(m_onOther ? kOther : kPath);
            m_frame.OnCommand(ID_CHANGE_DATAFILE);
            break;
        default: // the cursor wanders over or away from the window
            m_desk.window.m_cursor = R(0, 1) ? Point{R(0, 40), R(0, 40)} : Point{-200, -200};
            m_desk.desktop.m_cursor = Point{R(0, 1600), R(0, 1000)};
            break;
        }
        m_desk.window.DeliverPostedCommands();
    }

    // Reads the timers set and killed since the last look, then forgets every record.
    void Collect() {
        for (const std::string& call : m_desk.window.m_calls) {
            int id = 0;
            unsigned ms = 0;
            if (std::sscanf(call.c_str(), "SetTimer %d %u", &id, &ms) == 2 &&
                m_desk.window.m_timers.count(id))
                m_due[id] = m_now + std::max(ms, sim::kMinimumTimerInterval);
        }
        for (auto it = m_due.begin(); it != m_due.end();)
            it = m_desk.window.m_timers.count(it->first) ? std::next(it) : m_due.erase(it);
        m_desk.ClearRecords();
    }

    std::string Limits() {
        if (m_host.m_slotKept)
            return "a mask slot kept after the slots were freed";
        if (m_frame.m_nPosition < 0 || m_frame.m_nPosition > 100)
            return "position " + std::to_string(m_frame.m_nPosition);
        if (m_frame.m_nPattern < 0 || m_frame.m_nPattern > m_frame.File().PatternCount())
            return "pattern " + std::to_string(m_frame.m_nPattern);
        // A click entry outlives a pattern change, so a click may enter another pattern in the
        // middle of an instruction; what it then reads may reach past the file, and the script
        // stands still there, without a frame timer, as it does for any such instruction.
        if (!m_desk.window.m_timers.count(kFrameTimer) && !m_host.m_stopped)
            return "no frame timer";
        return "";
    }
    int MaskSlots() const {
        return static_cast<int>(std::count_if(m_frame.m_apMaskRgn.begin(), m_frame.m_apMaskRgn.end(),
                                              [](const auto& slot) { return slot != nullptr; }));
    }
    int Fonts() const { return m_frame.m_pFont ? 1 : 0; }

    std::mt19937 m_rnd;
    Bytes m_images[2];
    sim::SimDesktop m_desk;
    CCharacterApp m_app{m_desk.AllServices()};
    CMainFrame m_frame{m_app};
    WatchingHost m_host{m_frame.ScriptHost(), m_frame};
    WindowId m_target = 0;
    WindowId m_other = 0;
    bool m_onOther = false;
    int m_last = -1; // the last happening
    std::uint64_t m_now = 0;
    std::map<int, std::uint64_t> m_due;
    std::uint64_t m_steps = 0;
};

// The floor of the heap in the last period lies within a few kilobytes of the second's (the
// first holds the start). The slots in use depend on the patterns that ran, so the last period
// is compared with the most of all earlier ones: slots that were never freed would climb above
// it; fonts: at most the one of the running step.
void ExpectFlat(const std::vector<Held>& daily) {
    ASSERT_EQ(daily.size(), kPeriods);
    const Held& first = daily[1];
    const Held& last = daily.back();
    EXPECT_LE(last.heap, first.heap + 16 * 1024) << "heap floor " << first.heap << " -> " << last.heap;
    int slots = 1;
    for (std::size_t d = 0; d + 1 < daily.size(); ++d)
        slots = std::max(slots, daily[d].maskSlots);
    EXPECT_LE(last.maskSlots, slots) << "mask slots";
    EXPECT_LE(last.fonts, 1) << "fonts";
}

class LongRun : public ::testing::TestWithParam<unsigned> {};

TEST_P(LongRun, AWeekWithinLimitsAndWithoutGrowth) {
    const unsigned seed = GetParam();
    const Bytes image = Assemble(seed == 0 ? Sample() : Generated(seed));
    const Bytes other = Assemble(Generated(seed + 100));
    ASSERT_FALSE(image.empty());
    std::vector<Held> daily;
    daily.reserve(kPeriods); // so that the record itself does not move the heap between periods
    const unsigned hours = SpanHours();
    const auto started = std::chrono::steady_clock::now();
    std::uint64_t steps = 0;
    {
        Week week(image, other, seed);
        EXPECT_EQ(week.Run(hours, daily), "");
        steps = week.Steps();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %u h of virtual time, %llu steps, %.2f s\n", seed ? "generated" : "sample", hours,
                static_cast<unsigned long long>(steps), seconds);
    ExpectFlat(daily);
}

// 0: the sample; 1..10: generated characters.
INSTANTIATE_TEST_SUITE_P(Characters, LongRun, ::testing::Range(0u, 11u));

} // namespace
} // namespace kp
