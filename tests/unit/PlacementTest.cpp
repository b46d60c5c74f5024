#include "placement/Placement.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace kp {
namespace {

using placement::TrackOutcome;
using sim::SimDesktopWindows;
using Calls = std::vector<std::string>;

constexpr int kWidth = 40;
constexpr int kHeight = 60;

class Track : public ::testing::Test {
protected:
    SimDesktopWindows desk;
    PlacementState state;
    TrackRequest req;
    WindowId self = 0;

    Track() {
        SimDesktopWindows::Window c;
        c.title = kAppTitle;
        c.className = kWindowClass;
        c.rect = Rect{0, 0, kWidth, kHeight};
        c.visible = false;
        self = desk.Add(c);
        req.hWnd = self;
        req.nWidth = kWidth;
    }
    WindowId AddWindow(const Rect& rect, const char* title = "Notepad", const char* cls = "Notepad") {
        SimDesktopWindows::Window w;
        w.title = title;
        w.className = cls;
        w.rect = rect;
        return desk.Add(w);
    }
    WindowId Foreground(const Rect& rect) {
        const WindowId w = AddWindow(rect);
        desk.SetForeground(w);
        return w;
    }
    TrackOutcome Run() { return placement::Track(desk, req, state); }
    const SimDesktopWindows::Window& Self() { return *desk.Find(self); }
    std::string Pos(int x, int y, const char* flags) {
        return "SetWindowPos " + std::to_string(self) + " topmost " + std::to_string(x) + "," +
               std::to_string(y) + " 0x0 " + flags;
    }
    std::string HideCall() { return "Hide " + std::to_string(self); }
    // Shows the character once on some window, then forgets the calls that made.
    void ShowFirst() {
        Foreground(Rect{300, 300, 600, 500});
        ASSERT_EQ(Run(), TrackOutcome::Placed);
        desk.m_calls.clear();
    }
};

TEST_F(Track, PlacementArithmetic) {
    struct Case {
        Rect target;
        int position;
        int offsetY;
        int x;
        int y;
    };
    const Case cases[] = {
        {{100, 200, 500, 400}, 0, 0, 100, 200},       // left edges flush
        {{100, 200, 500, 400}, 100, 0, 460, 200},     // right edges flush
        {{100, 200, 241, 400}, 50, 0, 150, 200},      // free width 101: 50 x 101 / 100 = 50
        {{100, 200, 239, 400}, 50, 0, 149, 200},      // free width 99: the remainder is dropped
        {{100, 200, 120, 400}, 100, 0, 100, 200},     // narrower than the character: free width 0
        {{100, 200, 500, 400}, 150, 0, 460, 200},     // a position past 100 counts as 100
        {{100, 200, 500, 400}, -5, 0, 100, 200},      // and one below 0 as 0
        {{100, 200, 500, 400}, 0, 60, 100, 140},      // the script's height above the target
        {{100, 10, 500, 400}, 0, 65535, 100, -65525}, // above the screen, unclamped
    };
    for (const Case& c : cases) {
        PlacementState fresh;
        state = fresh;
        desk.SetForeground(AddWindow(c.target));
        req.m_nPosition = c.position;
        req.m_nOffsetY = c.offsetY;
        EXPECT_EQ(Run(), TrackOutcome::Placed);
        EXPECT_EQ(Self().rect, (Rect{c.x, c.y, c.x + kWidth, c.y + kHeight}))
            << c.position << " " << c.offsetY;
        EXPECT_EQ(state.m_nLastX, c.x);
        EXPECT_EQ(state.m_nLastY, c.y);
        EXPECT_EQ(state.m_rcTarget, c.target);
    }
}

TEST_F(Track, MovesOnlyWhenNeededAndShowsInTheTopmostBandWithoutActivating) {
    const WindowId target = Foreground(Rect{100, 200, 500, 400});
    EXPECT_EQ(Run(), TrackOutcome::Placed);
    EXPECT_EQ(desk.m_calls, (Calls{Pos(100, 200, "0x11"), Pos(100, 200, "0x51")}));
    EXPECT_TRUE(Self().visible);
    EXPECT_TRUE(Self().topmost);
    EXPECT_EQ(desk.ForegroundWindow(), target);

    desk.m_calls.clear();
    EXPECT_EQ(Run(), TrackOutcome::Placed); // nothing moved: nothing to do
    EXPECT_TRUE(desk.m_calls.empty());

    desk.Find(target)->rect = Rect{110, 250, 510, 450};
    Run();
    EXPECT_EQ(desk.m_calls, Calls{Pos(110, 250, "0x11")});

    // Hidden (a pattern start, or no target for a while), then back at the same place: only shown.
    desk.Find(self)->visible = false;
    desk.m_calls.clear();
    Run();
    EXPECT_EQ(desk.m_calls, Calls{Pos(110, 250, "0x51")});
}

TEST_F(Track, ForceTopmostReplacesOnEveryCallAndComesBackAboveAlwaysOnTopWindows) {
    ShowFirst();
    SimDesktopWindows::Window onTop;
    onTop.rect = Rect{0, 0, 1024, 768};
    onTop.topmost = true;
    const WindowId cover = desk.Add(onTop);
    ASSERT_EQ(desk.ZOrder().front(), cover);

    Run(); // force topmost off: the cover stays above
    EXPECT_EQ(desk.ZOrder().front(), cover);
    EXPECT_TRUE(desk.m_calls.empty());

    req.m_bTopMost = 1;
    Run();
    Run();
    EXPECT_EQ(desk.m_calls, (Calls{Pos(300, 300, "0x11"), Pos(300, 300, "0x11")}));
    EXPECT_EQ(desk.ZOrder().front(), self);
}

TEST_F(Track, NoUsableTargetHides) {
    struct Case {
        const char* what;
        int mode;
        Rect target; // empty: no window at all
        bool minimized;
        bool asTaskbar;
    };
    const Case cases[] = {
        {"no foreground window", 0, {}, false, false},
        {"no taskbar in taskbar mode", 1, {}, false, false},
        {"no foreground and no taskbar in off-taskbar mode", 2, {}, false, false},
        {"top at the screen's top", 0, {0, 0, 500, 300}, false, false},
        {"maximised (top above the screen)", 0, {-4, -4, 1028, 772}, false, false},
        {"minimised", 0, {100, 200, 500, 400}, true, false},
        {"taskbar docked at the top", 1, {0, 0, 1024, 30}, false, true},
        {"taskbar docked at the left", 1, {0, 0, 60, 768}, false, true},
    };
    for (const Case& c : cases) {
        SimDesktopWindows fresh;
        desk = fresh;
        SimDesktopWindows::Window me;
        me.title = kAppTitle;
        me.className = kWindowClass;
        me.rect = Rect{50, 50, 50 + kWidth, 50 + kHeight};
        self = req.hWnd = desk.Add(me); // shown
        state = PlacementState{FALSE, 7, 8, Rect{1, 2, 3, 4}};
        req.m_nFixed = c.mode;
        if (!c.target.IsEmpty()) {
            const WindowId t = c.asTaskbar ? desk.AddTaskbar(c.target) : AddWindow(c.target);
            desk.Find(t)->minimized = c.minimized;
            desk.SetForeground(t);
        }
        EXPECT_EQ(Run(), TrackOutcome::Hidden) << c.what;
        EXPECT_EQ(desk.m_calls, Calls{HideCall()}) << c.what;
        EXPECT_EQ(state.m_nLastX, 7) << c.what; // the memory of the last place stays
        EXPECT_EQ(state.m_rcTarget, (Rect{1, 2, 3, 4})) << c.what;
        desk.m_calls.clear();
        Run(); // already hidden: nothing more
        EXPECT_TRUE(desk.m_calls.empty()) << c.what;
    }
}

TEST_F(Track, TargetsThatLeaveTheCharacterAsItIs) {
    struct Case {
        const char* what;
        const char* title;
        const char* cls;
        bool visible;
    };
    const Case cases[] = {
        {"another instance's character", kAppTitle, kWindowClass, true},
        {"another hidden instance", kAppTitle, kWindowClass, false},
        {"an invisible window", "Notepad", "Notepad", false},
        // The title alone makes another instance, whatever the class (a folder window named
        // like the program too).
        {"a window only titled like the program", kAppTitle, "CabinetWClass", true},
    };
    for (bool shown : {false, true}) {
        for (const Case& c : cases) {
            desk.Find(self)->visible = shown;
            state = PlacementState{FALSE, 7, 8, Rect{1, 2, 3, 4}};
            const WindowId t = AddWindow(Rect{100, 200, 500, 400}, c.title, c.cls);
            desk.Find(t)->visible = c.visible;
            desk.SetForeground(t);
            EXPECT_EQ(Run(), TrackOutcome::Unchanged) << c.what;
            EXPECT_TRUE(desk.m_calls.empty()) << c.what;
            EXPECT_EQ(Self().visible, shown) << c.what;
            EXPECT_EQ(state.m_nLastX, 7) << c.what;
        }
    }
    desk.Find(self)->rect = Rect{10, 10, 10 + kWidth, 10 + kHeight};
    desk.SetForeground(self); // the character itself in front
    EXPECT_EQ(Run(), TrackOutcome::Unchanged);
    EXPECT_TRUE(desk.m_calls.empty());
}

TEST_F(Track, OnlyTheWholeTitleMakesAnotherInstance) {
    desk.SetForeground(
        AddWindow(Rect{100, 200, 500, 400}, (std::string(kAppTitle) + " - folder").c_str(), "CabinetWClass"));
    EXPECT_EQ(Run(), TrackOutcome::Placed);
}

TEST_F(Track, TrackingModes) {
    const WindowId taskbar = desk.AddTaskbar(Rect{0, 728, 1024, 768});
    const WindowId other = AddWindow(Rect{100, 200, 500, 400});
    struct Case {
        int mode;
        WindowId foreground;
        TrackOutcome outcome;
        int y; // where the character stands when placed
    };
    const Case cases[] = {
        {0, other, TrackOutcome::Placed, 200},   {0, taskbar, TrackOutcome::Placed, 728},
        {1, other, TrackOutcome::Placed, 728},   {1, 0, TrackOutcome::Placed, 728},
        {2, other, TrackOutcome::Placed, 200},   {2, taskbar, TrackOutcome::Unchanged, 200},
        {7, taskbar, TrackOutcome::Placed, 728},
    };
    for (const Case& c : cases) {
        req.m_nFixed = c.mode;
        desk.SetForeground(c.foreground);
        EXPECT_EQ(Run(), c.outcome) << c.mode;
        EXPECT_EQ(Self().rect.top, c.y) << c.mode;
    }
}

TEST_F(Track, OffTaskbarModeWithTheTaskbarInFrontHidesACharacterAtTheScreensTop) {
    req.m_nFixed = kTrackOffTaskbar;
    desk.Find(self)->visible = true; // at (0, 0), where the window is created
    desk.SetForeground(desk.AddTaskbar(Rect{0, 728, 1024, 768}));
    EXPECT_EQ(Run(), TrackOutcome::Hidden);
}

TEST_F(Track, TheTopLimitIsTheTopOfTheTargetsOwnMonitor) {
    struct Case {
        const char* what;
        Rect target;
        TrackOutcome outcome;
    };
    const Case cases[] = {
        {"on the monitor above", {100, -700, 500, -500}, TrackOutcome::Placed},
        {"maximised on the monitor above", {-4, -772, 1028, 4}, TrackOutcome::Hidden},
        {"at the top of the monitor above", {100, -768, 500, -500}, TrackOutcome::Hidden},
        {"on the left monitor", {-900, -150, -500, 100}, TrackOutcome::Placed},
        {"at the top of the left monitor", {-900, -200, -500, 100}, TrackOutcome::Hidden},
        {"on the primary, at its top", {100, 0, 500, 300}, TrackOutcome::Hidden},
        {"on the primary, just below its top", {100, 1, 500, 300}, TrackOutcome::Placed},
        {"mostly on the primary, top on the monitor above", {100, -10, 500, 300}, TrackOutcome::Hidden},
        {"mostly on the monitor above, reaching the primary", {100, -700, 500, 30}, TrackOutcome::Placed},
        {"off every monitor, nearest the monitor above", {100, -5000, 500, -4800}, TrackOutcome::Hidden},
    };
    desk.m_monitors = {Rect{0, 0, 1024, 768}, Rect{0, -768, 1024, 0}, Rect{-1280, -200, 0, 824}};
    for (const Case& c : cases) {
        state = PlacementState{};
        desk.Find(self)->visible = false;
        desk.SetForeground(AddWindow(c.target));
        EXPECT_EQ(Run(), c.outcome) << c.what;
        if (c.outcome == TrackOutcome::Placed) {
            EXPECT_EQ(Self().rect.top, c.target.top) << c.what;
        }
    }
}

TEST(Translucency, BothWindowsGenerations) {
    struct Case {
        const char* what;
        BOOL win2000;
        bool hasOperation;
        BOOL on;
        int percent;
        const char* attributes; // what the layered attributes were set to; nullptr: not set
        int transMode;          // from 1 before the call
        int transparency;       // from 77 before the call
    };
    const Case cases[] = {
        {"5 % is 10 %", TRUE, true, TRUE, 5, "alpha=25 flags=3", 1, 10},
        {"11 %", TRUE, true, TRUE, 11, "alpha=28 flags=3", 1, 11},
        {"50 %", TRUE, true, TRUE, 50, "alpha=127 flags=3", 1, 50},
        {"150 % is 100 %", TRUE, true, TRUE, 150, "alpha=255 flags=3", 1, 100},
        {"off: the key only", TRUE, true, FALSE, 50, "alpha=255 flags=1", 0, 77},
        {"on, operation missing", TRUE, false, TRUE, 50, nullptr, 1, 77},
        {"off, operation missing", TRUE, false, FALSE, 50, nullptr, 0, 77},
        {"on before Windows 2000", FALSE, true, TRUE, 50, nullptr, 0, 77},
        {"off before Windows 2000", FALSE, true, FALSE, 50, nullptr, 1, 77},
    };
    for (const Case& c : cases) {
        SimDesktopWindows desk;
        desk.m_hasLayeredAttributes = c.hasOperation;
        const WindowId w = desk.Add({});
        int mode = 1;
        int transparency = 77;
        EXPECT_EQ(placement::SetTranslucency(desk, w, c.win2000, c.on, c.percent, mode, transparency), TRUE);
        Calls calls;
        if (c.win2000) // the style comes first, whether the attributes can be set or not
            calls.push_back("Layered 1");
        if (c.attributes)
            calls.push_back(std::string("LayeredAttributes 1 key=0x00FAFA ") + c.attributes);
        EXPECT_EQ(desk.m_calls, calls) << c.what;
        EXPECT_EQ(mode, c.transMode) << c.what;
        EXPECT_EQ(transparency, c.transparency) << c.what;
    }
}

TEST(Translucency, KeyColourAsThePlatformSeesIt) {
    EXPECT_EQ(ColorRefOf(TRANSPARENT_KEY), 0x00FAFA00u);
}

TEST(ActivateNextWindow, FirstVisibleNormalWindowBelowTheDialog) {
    SimDesktopWindows desk;
    SimDesktopWindows::Window w;
    w.title = "Notepad";
    const WindowId target = desk.Add(w);
    w.title = kAppTitle;
    w.className = kWindowClass;
    desk.Add(w); // a character shown by its script while the dialog ran
    w.title = "Minimised";
    w.className = "";
    w.minimized = true;
    desk.Add(w);
    w.minimized = false;
    w.visible = false;
    desk.Add(w);
    const WindowId dialog = desk.Add(SimDesktopWindows::Window{});

    EXPECT_EQ(placement::ActivateNextWindow(desk, dialog), TRUE);
    EXPECT_EQ(desk.m_calls, Calls{"BringToTop " + std::to_string(target)});
    EXPECT_EQ(desk.ForegroundWindow(), target);

    desk.m_calls.clear();
    desk.Find(target)->visible = false;
    EXPECT_EQ(placement::ActivateNextWindow(desk, dialog), FALSE);
    EXPECT_TRUE(desk.m_calls.empty());
}

TEST(DragPosition, HorizontalDistanceAsAPercentOfTheFreeWidth) {
    struct Case {
        int position;
        int dx;
        Rect reference;
        int charWidth;
        int expected;
    };
    const Rect wide{100, 200, 1132, 500}; // free width 1000 for a 32-pixel character
    const Case cases[] = {
        {50, 0, wide, 32, 50},
        {50, 9, wide, 32, 50},
        {50, 10, wide, 32, 51},
        {50, -15, wide, 32, 49}, // truncated toward zero: -1
        {50, -9, wide, 32, 50},
        {95, 100, wide, 32, 100},
        {3, -100, wide, 32, 0},
        {50, 5000, wide, 32, 100},
        {50, 7, Rect{0, 0, 132, 10}, 32, 57},  // free width 100
        {50, 300, Rect{0, 0, 32, 10}, 32, 50}, // free width 0
        {50, 300, Rect{0, 0, 20, 10}, 32, 50}, // narrower than the character
        {50, 1, Rect{0, 0, 33, 10}, 32, 100},  // free width 1: every pixel is 100 %
        {50, INT_MAX, wide, 32, 100},          // no overflow
        {50, INT_MIN, Rect{INT_MIN, 0, INT_MAX, 10}, 32, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(placement::DragPosition(c.position, c.dx, c.reference, c.charWidth), c.expected)
            << c.position << " " << c.dx << " over " << c.reference.Width();
}

TEST(SimCharacterWindow, LivesOnTheSimulatedDesktop) {
    sim::SimDesktop desk;
    ASSERT_TRUE(desk.window.Create(WindowCreateParams{kAppTitle, kWidth, kHeight, true}));
    const SimDesktopWindows::Window* w = desk.desktop.Find(desk.window.m_id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(placement::IsCharacterWindow(desk.desktop, w->id));
    EXPECT_FALSE(w->visible);
    EXPECT_TRUE(w->layered);

    TrackRequest req;
    req.hWnd = w->id;
    req.nWidth = kWidth;
    desk.desktop.SetForeground(
        desk.desktop.Add(SimDesktopWindows::Window{0, "Notepad", "Notepad", {9, 99, 500, 400}}));
    PlacementState state;
    EXPECT_EQ(placement::Track(desk.desktop, req, state), TrackOutcome::Placed);
    EXPECT_TRUE(w->visible);
    desk.window.Hide(); // a pattern start: the next placement shows the window again
    EXPECT_FALSE(w->visible);
    desk.window.Destroy();
    EXPECT_EQ(desk.desktop.Find(req.hWnd), nullptr);
}

} // namespace
} // namespace kp
