// The character window on the simulated desktop: its creation in order, the per-character
// limits, the first frame, painting with the colour key, the two one-shot ticks and the click
// entry.
#include "ScriptFixtures.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "chardata/SoftCanvas.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kp {
namespace {

using test::Script;

// A window DC that records what the paint asked of it.
class RecordingDc : public IWindowDc {
public:
    void CopyFrame(ICanvas& frame, int scale) override {
        calls.push_back("copy " + std::to_string(frame.Width()) + "x" + std::to_string(frame.Height()) +
                        (scale != 1 ? " scale " + std::to_string(scale) : ""));
    }
    void FillRegion(const RectRegion& region, Color color) override {
        calls.push_back("fill " + std::to_string(region.RectCount()) + " rects " + std::to_string(color));
        filled = region;
    }
    std::vector<std::string> calls;
    RectRegion filled;
};

class MainFrameTest : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    CMainFrame frame{app};
    WindowId target = 0;

    // A character of the given scripts at C:\c.kp, remembered as the data file; a visible
    // foreground window at (100, 200)-(500, 500) for it to stand on.
    void Install(const std::vector<Script>& scripts,
                 const std::function<void(build::Character&)>& change = nullptr) {
        build::Character c = test::ScriptCharacter(scripts);
        if (change)
            change(c);
        desk.files.AddFile("C:\\c.kp", build::BuildCharacter(c));
        app.m_strDataName = "C:\\c.kp";
        app.m_bHaveDataFile = TRUE;
        app.m_bWin2000 = TRUE;
        app.m_nTransparency = 100;
        sim::SimDesktopWindows::Window w;
        w.title = "Editor";
        w.className = "Notepad";
        w.rect = Rect{100, 200, 500, 500};
        target = desk.desktop.Add(w);
        desk.desktop.SetForeground(target);
    }
    void Create(const std::vector<Script>& scripts) {
        Install(scripts);
        ASSERT_TRUE(frame.CreateCharacterWindow());
    }
    const SoftCanvas& Frame() const { return static_cast<const SoftCanvas&>(*frame.m_pBitmap); }
    std::size_t PatternIndex() const {
        for (std::size_t i = 0; i < frame.File().PatternCount(); ++i)
            if (frame.m_pScript == frame.m_pData + frame.File().PatternOffset(i))
                return i;
        return 999;
    }
    std::vector<std::string> DesktopMoves() const {
        std::vector<std::string> moves;
        for (const auto& c : desk.desktop.m_calls)
            if (c.rfind("SetWindowPos", 0) == 0)
                moves.push_back(c);
        return moves;
    }
};

// ---------------------------------------------------------------------------------------------
// Creation

TEST_F(MainFrameTest, ConstructionLeavesNothingUndefined) {
    // The script variables start at 0 rather than with whatever the memory held.
    EXPECT_TRUE(std::all_of(std::begin(frame.m_nVar), std::end(frame.m_nVar), [](WORD v) { return v == 0; }));
    EXPECT_EQ(frame.m_pData, nullptr);
    EXPECT_EQ(frame.m_pBitmap, nullptr);
    EXPECT_EQ(frame.m_nClickEntry, -1);
    EXPECT_EQ((std::vector<int>{frame.m_nLastX, frame.m_nLastY, frame.m_nOffsetY}),
              (std::vector<int>{-1, -1, 0}));
    EXPECT_EQ(frame.m_rcTarget, Rect{});
    EXPECT_EQ(frame.m_bAnimTimer, FALSE);
    EXPECT_EQ(frame.m_bLButtonDown, FALSE);
    EXPECT_TRUE(desk.window.m_calls.empty());
}

TEST_F(MainFrameTest, CreationRunsInOrderAndEndsWithThePlacementTimer) {
    Create({Script().Op(OP_DRAW).Word(0).Wait(40)});
    EXPECT_EQ(desk.window.m_calls,
              (std::vector<std::string>{"Create Kelpo32 32x32 layered", "CreateFrame 32x32", "SetTimer 1 40",
                                        "SetTimer 2 100"}));
    // Translucency is set up between the window and the first frame: layered, key only.
    const auto* w = desk.desktop.Find(desk.window.m_id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->layered);
    EXPECT_TRUE(w->hasAttributes);
    EXPECT_EQ(w->key, TRANSPARENT_KEY);
    EXPECT_EQ(w->alpha, 255);
    EXPECT_EQ(w->layeredFlags, lwa::kColorKey);
    EXPECT_FALSE(w->visible); // the first placement shows it
    EXPECT_EQ(frame.m_bTracking, TRUE);
    EXPECT_EQ(frame.m_bAnimTimer, TRUE);
    // The palette of cell 0 (a grey ramp) and the first step drawn into the frame.
    ASSERT_NE(frame.m_pPalette, nullptr);
    ASSERT_EQ(frame.m_pPalette->entries.size(), 256u);
    EXPECT_EQ(frame.m_pPalette->entries[1], (PaletteEntry{1, 1, 1, 0}));
    EXPECT_EQ(Frame().SelectedPalette(), *frame.m_pPalette);
    EXPECT_NE(Frame().Pixel(3, 5), Frame().Pixel(0, 0));
    EXPECT_EQ(Frame().Pixel(3, 5), Frame().Pixel(6, 8));
    EXPECT_EQ(frame.m_pCanvas, nullptr);
}

TEST_F(MainFrameTest, TranslucencyAtCreationFollowsTheSettingsAndTheWindowsVersion) {
    struct Case {
        const char* label;
        BOOL win2000;
        int transMode;
        int transparency;
        bool layered;
        BYTE alpha;
        DWORD flags;
        int transparencyAfter;
    };
    const Case cases[] = {
        {"2000, off", TRUE, 0, 40, true, 255, lwa::kColorKey, 40},
        {"2000, 50 %", TRUE, 1, 50, true, 127, lwa::kColorKey | lwa::kAlpha, 50},
        {"2000, 5 % is 10 %", TRUE, 1, 5, true, 25, lwa::kColorKey | lwa::kAlpha, 10},
        {"NT 4, on", FALSE, 1, 50, false, 0, 0, 50},
    };
    for (const Case& c : cases) {
        sim::SimDesktop d;
        CCharacterApp a{
            AppServices{d.settings, d.files, d.ui, d.system, d.window, nullptr, nullptr, &d.desktop}};
        d.files.AddFile("C:\\c.kp", build::BuildCharacter(test::ScriptCharacter({Script().Wait(10)})));
        a.m_strDataName = "C:\\c.kp";
        a.m_bHaveDataFile = TRUE;
        a.m_bWin2000 = c.win2000;
        a.m_nTransMode = c.transMode;
        a.m_nTransparency = c.transparency;
        CMainFrame f(a);
        ASSERT_TRUE(f.CreateCharacterWindow()) << c.label;
        const auto* w = d.desktop.Find(d.window.m_id);
        ASSERT_NE(w, nullptr) << c.label;
        EXPECT_EQ(w->layered, c.layered) << c.label;
        EXPECT_EQ(w->hasAttributes, c.layered) << c.label;
        if (c.layered) {
            EXPECT_EQ(w->alpha, c.alpha) << c.label;
            EXPECT_EQ(w->layeredFlags, c.flags) << c.label;
        }
        // Before Windows 2000 nothing is called at all: the setting stays as it was read.
        EXPECT_EQ(a.m_nTransMode, c.win2000 ? c.transMode : 1) << c.label;
        EXPECT_EQ(a.m_nTransparency, c.transparencyAfter) << c.label;
    }
}

TEST_F(MainFrameTest, StoredSettingsAreLimited) {
    struct Case {
        int position; // stored "Position", or INT_MIN for none
        int pattern;  // stored "Pattern", or INT_MIN for none
        int wantPosition;
        int wantPattern; // m_nPattern after the limits
    };
    const Case cases[] = {
        {150, 2, 100, 2}, {-20, 1, 0, 1}, {55, 9, 55, 3}, {101, -4, 100, 0}, {0, 0, 0, 0}, {100, 3, 100, 3},
    };
    for (const Case& c : cases) {
        sim::SimDesktop d;
        CCharacterApp a{AppServices{d.settings, d.files, d.ui, d.system, d.window}};
        d.files.AddFile("C:\\c.kp", build::BuildCharacter(test::ScriptCharacter(
                                        {Script().Wait(10), Script().Wait(20), Script().Wait(30)})));
        d.settings.WriteInt("Tester", "Position", c.position);
        d.settings.WriteInt("Tester", "Pattern", c.pattern);
        a.m_strDataName = "C:\\c.kp";
        a.m_bHaveDataFile = TRUE;
        a.Random().Seed(7);
        MsRand expected;
        expected.Seed(7);
        CMainFrame f(a);
        ASSERT_TRUE(f.CreateCharacterWindow());
        EXPECT_EQ(f.m_nPosition, c.wantPosition) << c.position;
        EXPECT_EQ(f.m_nPattern, c.wantPattern) << c.pattern;
        // The pattern played: the setting's, or with 0 the generator's next number modulo 3.
        const std::size_t index =
            c.wantPattern != 0 ? static_cast<std::size_t>(c.wantPattern - 1) : expected.Next() % 3u;
        const unsigned waits[] = {10, 20, 30};
        EXPECT_EQ(d.window.m_timers.at(kFrameTimer), waits[index]) << c.pattern;
    }
}

TEST(SimWindow, TimersNeedAWindow) {
    sim::SimDesktop d;
    d.window.SetTimer(kFrameTimer, 10);
    EXPECT_TRUE(d.window.m_timers.empty());
    ASSERT_TRUE(d.window.Create(WindowCreateParams{"Kelpo32", 8, 8, false}));
    d.window.SetTimer(kFrameTimer, 10);
    EXPECT_EQ(d.window.m_timers.size(), 1u);
    d.window.Destroy();
    d.window.SetTimer(kPlacementTimer, 100);
    EXPECT_TRUE(d.window.m_timers.empty());
}

TEST_F(MainFrameTest, RefusalsFailTheCreation) {
    Install({Script().Wait(10)});
    desk.window.m_refuseCreate = true;
    EXPECT_FALSE(frame.CreateCharacterWindow());
    EXPECT_EQ(desk.window.m_timers.count(kPlacementTimer), 0u);
    EXPECT_EQ(frame.m_bTracking, FALSE);
    // Never an end without a word: the user is told that the window could not be made.
    ASSERT_EQ(desk.ui.Messages().size(), 1u);
    EXPECT_EQ(desk.ui.Messages().back().text, kWindowRefusedText);

    // A window without a frame to show is no character window either: it goes again.
    CMainFrame second(app);
    desk.window.m_refuseCreate = false;
    desk.window.m_refuseFrame = true;
    EXPECT_FALSE(second.CreateCharacterWindow());
    EXPECT_FALSE(desk.window.m_exists);
    EXPECT_EQ(desk.window.m_calls.back(), "Destroy");
    ASSERT_EQ(desk.ui.Messages().size(), 2u);
    EXPECT_EQ(desk.ui.Messages().back().text, kWindowRefusedText);
    EXPECT_EQ(desk.desktop.Find(desk.window.m_id), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Painting

TEST_F(MainFrameTest, PaintCopiesTheFrameThenFillsOutsideTheShapeWithTheKey) {
    Script s;
    s.Op(OP_NEWSHAPE).Byte('b').Word(2).Op(OP_SETSHAPE).Word(0x8000).Wait(10);
    Install({s}, [](build::Character& c) { c.cells.push_back(build::MaskCell1({"0011", "0011"})); });
    ASSERT_TRUE(frame.CreateCharacterWindow());
    ASSERT_TRUE(frame.m_hRgn.has_value());
    RecordingDc dc;
    frame.OnPaint(dc);
    ASSERT_EQ(dc.calls.size(), 2u);
    EXPECT_EQ(dc.calls[0], "copy 32x32");
    EXPECT_EQ(dc.calls[1].substr(dc.calls[1].rfind(' ') + 1), std::to_string(TRANSPARENT_KEY));
    // The mask's inside is its top-left 2 x 2 pixels: everything else gets the key.
    EXPECT_EQ(dc.filled,
              RectRegion::Difference(RectRegion(Rect{0, 0, 32, 32}), RectRegion(Rect{0, 0, 2, 2})));

    // Before Windows 2000 the window region shapes it: the paint only copies.
    app.m_bWin2000 = FALSE;
    RecordingDc old;
    frame.OnPaint(old);
    EXPECT_EQ(old.calls, std::vector<std::string>{"copy 32x32"});
    EXPECT_EQ(frame.OnEraseBkgnd(), TRUE);
}

// ---------------------------------------------------------------------------------------------
// The ticks

TEST_F(MainFrameTest, FrameTickIsOneShotAndShowsItsFrameAtOnce) {
    Create({Script().Wait(10).Op(OP_DRAW).Word(1).Wait(500)});
    desk.window.m_calls.clear();
    frame.OnTimer(kFrameTimer);
    EXPECT_EQ(desk.window.m_calls, (std::vector<std::string>{"KillTimer 1", "SetTimer 1 500", "Repaint"}));
    EXPECT_EQ(frame.m_bAnimTimer, TRUE);                 // set again by the step's wait
    EXPECT_NE(Frame().Pixel(0, 0), Frame().Pixel(5, 5)); // cell 1 drawn at (0, 0) over cell-less black
    EXPECT_TRUE(DesktopMoves().empty());                 // no height change, no placement
}

TEST_F(MainFrameTest, PlacementTickPlacesWhileTrackingAndAlwaysReArms) {
    Create({Script().Wait(10)});
    desk.window.m_calls.clear();
    const BOOL animTimer = frame.m_bAnimTimer;
    frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(desk.window.m_calls, (std::vector<std::string>{"KillTimer 2", "SetTimer 2 100"}));
    EXPECT_EQ(frame.m_bAnimTimer, animTimer);
    // Position 50 of the target's free width 400 - 32 = 368: x = 100 + 184; shown in the same go.
    const std::string id = std::to_string(desk.window.m_id);
    EXPECT_EQ(DesktopMoves(), (std::vector<std::string>{"SetWindowPos " + id + " topmost 284,200 0x0 0x11",
                                                        "SetWindowPos " + id + " topmost 284,200 0x0 0x51"}));
    EXPECT_TRUE(desk.desktop.Find(desk.window.m_id)->visible);
    EXPECT_EQ(frame.m_nLastX, 284);

    // Tracking off (a menu or dialog is open): the tick only re-arms itself.
    frame.m_bTracking = FALSE;
    desk.desktop.Find(target)->rect = Rect{0, 300, 400, 600};
    desk.window.m_calls.clear();
    desk.desktop.m_calls.clear();
    frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(desk.window.m_calls, (std::vector<std::string>{"KillTimer 2", "SetTimer 2 100"}));
    EXPECT_TRUE(desk.desktop.m_calls.empty());
}

TEST_F(MainFrameTest, ANewHeightMovesTheWindowRightAfterTheFrame) {
    // Step 0 at creation, then two steps that set the same height.
    Script s;
    s.Wait(10);
    const DWORD loop = s.Here();
    s.Op(OP_OFFSETY).Word(12).Op(OP_DRAW).Word(1).Wait(10).Goto(loop);
    Create({s});
    frame.OnTimer(kPlacementTimer);
    desk.desktop.m_calls.clear();
    desk.window.m_calls.clear();
    frame.OnTimer(kFrameTimer);
    const std::string id = std::to_string(desk.window.m_id);
    EXPECT_EQ(DesktopMoves(), std::vector<std::string>{"SetWindowPos " + id + " topmost 284,188 0x0 0x11"});
    EXPECT_EQ(desk.window.m_calls.back(), "Repaint"); // shown first, then moved
    // The same height again: no extra placement.
    desk.desktop.m_calls.clear();
    frame.OnTimer(kFrameTimer);
    EXPECT_TRUE(DesktopMoves().empty());
}

TEST_F(MainFrameTest, WithoutADesktopNothingIsPlaced) {
    CCharacterApp bare{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window}};
    CMainFrame f(bare);
    desk.files.AddFile("C:\\c.kp", build::BuildCharacter(test::ScriptCharacter({Script().Wait(10)})));
    bare.m_strDataName = "C:\\c.kp";
    bare.m_bHaveDataFile = TRUE;
    ASSERT_TRUE(f.CreateCharacterWindow());
    f.OnTimer(kPlacementTimer);
    EXPECT_TRUE(desk.desktop.m_calls.empty());
    EXPECT_EQ(desk.window.m_timers.at(kPlacementTimer), kPlacementInterval);
}

// ---------------------------------------------------------------------------------------------
// The click entry

TEST_F(MainFrameTest, AClickRunsTheClickEntryAtOnceAndCancelsThePendingTick) {
    Script s;
    s.Op(OP_CLICKON).Dword(0); // patched below
    const std::size_t operand = s.bytes.size() - 4;
    s.Wait(1000);
    const DWORD entry = s.Here();
    s.Op(OP_ADD).Word(5).Word(1).Op(OP_DRAW).Word(1).Wait(300);
    s.bytes[operand] = static_cast<BYTE>(entry);
    Create({s});
    ASSERT_EQ(frame.m_nClickEntry, static_cast<int>(entry));
    ASSERT_EQ(desk.window.m_timers.at(kFrameTimer), 1000u);
    desk.window.m_calls.clear();
    frame.OnLButtonDown(0, Point{3, 4});
    EXPECT_EQ(frame.m_bLButtonDown, TRUE);
    EXPECT_EQ(frame.m_ptLButtonDown, (Point{3, 4}));
    EXPECT_EQ(frame.m_nVar[5], 1);
    EXPECT_EQ(desk.window.m_calls, (std::vector<std::string>{"KillTimer 1", "SetTimer 1 300", "Repaint"}));
    // The entry stays: the next click enters there again.
    frame.OnLButtonUp(0, Point{3, 4});
    EXPECT_EQ(frame.m_bLButtonDown, FALSE);
    frame.OnLButtonDown(0, Point{1, 1});
    EXPECT_EQ(frame.m_nVar[5], 2);
}

TEST_F(MainFrameTest, AClickWithoutAClickEntryOnlyArmsTheDrag) {
    Create({Script().Wait(700)});
    desk.window.m_calls.clear();
    const int pos = frame.m_nScriptPos;
    frame.OnLButtonDown(0, Point{9, 2});
    EXPECT_TRUE(desk.window.m_calls.empty());
    EXPECT_EQ(frame.m_nScriptPos, pos);
    EXPECT_EQ(frame.m_bLButtonDown, TRUE);
    EXPECT_EQ(frame.m_ptLButtonDown, (Point{9, 2}));
    EXPECT_EQ(desk.window.m_timers.at(kFrameTimer), 700u);
}

// The click entry outlives a pattern change: a click then enters the new pattern at the old
// pattern's offset and runs what it finds there. An instruction that reaches past the file stops
// the script without a frame timer; the next pattern start sets one again.
TEST_F(MainFrameTest, AClickEntryOfAnEarlierPatternMayStopTheScriptUntilAPatternStarts) {
    Script second;
    second.Wait(1000);
    const DWORD entry = second.Here();
    second.Op(OP_PLAYFILE).Word(0x7FFF); // a string of 32767 bytes: past the end of the file
    Script first;
    first.Op(OP_CLICKON).Dword(entry).Wait(500);
    Create({first, second});
    frame.OnPatternMenu(kPatternCommandBase + 1);
    frame.OnTimer(kFrameTimer);
    ASSERT_EQ(frame.m_nClickEntry, static_cast<int>(entry));
    frame.OnPatternMenu(kPatternCommandBase + 2);
    frame.OnTimer(kFrameTimer);
    ASSERT_EQ(desk.window.m_timers.at(kFrameTimer), 1000u);
    frame.OnLButtonDown(0, Point{1, 1});
    EXPECT_EQ(desk.window.m_timers.count(kFrameTimer), 0u);
    EXPECT_EQ(frame.m_nScriptPos, static_cast<int>(entry));
    frame.OnPatternMenu(kPatternCommandBase + 2);
    EXPECT_EQ(desk.window.m_timers.at(kFrameTimer), kPatternStartWait);
}

// ---------------------------------------------------------------------------------------------
// Closing

TEST_F(MainFrameTest, CloseHandsPositionAndPatternOverAndDestroysTheWindow) {
    Create({Script().Wait(10), Script().Wait(10)});
    frame.m_nPosition = 33;
    frame.m_nPattern = 2;
    frame.OnClose();
    EXPECT_EQ(app.m_nSavedPosition, 33);
    EXPECT_EQ(app.m_nSavedPattern, 2);
    EXPECT_FALSE(desk.window.m_exists);
    EXPECT_TRUE(desk.window.m_timers.empty()); // the timers die with the window
}

} // namespace
} // namespace kp
