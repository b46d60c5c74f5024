// Placement on today's desktops: the visible frame the compositor reports, cloaked windows and
// fullscreen programs, and the same placement where the system lacks those facilities.
#include "Fixtures.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "placement/Placement.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using placement::TrackOutcome;
using sim::SimDesktopWindows;

constexpr int kWidth = 40;

class DesktopFrame : public ::testing::Test {
protected:
    SimDesktopWindows desk;
    PlacementState state;
    TrackRequest req;
    WindowId self = 0;

    DesktopFrame() {
        SimDesktopWindows::Window c;
        c.title = kAppTitle;
        c.className = kWindowClass;
        c.rect = Rect{0, 0, kWidth, 60};
        c.visible = false;
        self = req.hWnd = desk.Add(c);
        req.nWidth = kWidth;
    }
    // A window in front; `frame` is what the compositor reports (empty: the whole rectangle).
    WindowId Foreground(const Rect& rect, const Rect& frame = Rect{}) {
        SimDesktopWindows::Window w;
        w.title = "Editor";
        w.className = "Notepad";
        w.rect = rect;
        w.frame = frame;
        const WindowId id = desk.Add(w);
        desk.SetForeground(id);
        return id;
    }
    TrackOutcome Run() { return placement::Track(desk, req, state); }
    const SimDesktopWindows::Window& Self() { return *desk.Find(self); }
};

TEST_F(DesktopFrame, TheCharacterStandsOnTheVisibleFrameWhereTheCompositorReportsOne) {
    // A window with invisible resize borders 7 pixels wide at the sides and bottom, 1 at the top.
    const Rect outer{93, 199, 507, 407};
    const Rect frame{100, 200, 500, 400};
    struct Case {
        const char* what;
        Rect rect;
        Rect frame;
        bool compositor;
        int position;
        TrackOutcome outcome;
        int x, y;
        Rect target; // m_rcTarget after a placement
    };
    const Case cases[] = {
        {"left edge on the visible left edge", outer, frame, true, 0, TrackOutcome::Placed, 100, 200, frame},
        {"right edge on the visible right edge", outer, frame, true, 100, TrackOutcome::Placed, 460, 200,
         frame},
        {"no compositor: the window rectangle", outer, frame, false, 0, TrackOutcome::Placed, 93, 199, outer},
        // A program the system scales for DPI gets the frame in physical pixels: not trusted.
        {"frame outside the rectangle",
         outer,
         {140, 298, 760, 610},
         true,
         0,
         TrackOutcome::Placed,
         93,
         199,
         outer},
        {"no borders: frame and rectangle agree",
         frame,
         {},
         true,
         100,
         TrackOutcome::Placed,
         460,
         200,
         frame},
        // The monitor test takes the same rectangle: only the invisible border is above the screen.
        {"border above the screen, frame below its top",
         {93, -3, 507, 407},
         {100, 4, 500, 400},
         true,
         0,
         TrackOutcome::Placed,
         100,
         4,
         Rect{100, 4, 500, 400}},
        {"the same without a compositor",
         {93, -3, 507, 407},
         {100, 4, 500, 400},
         false,
         0,
         TrackOutcome::Hidden,
         0,
         0,
         Rect{}},
        {"maximised: the frame fills the work area",
         {-8, -8, 1032, 736},
         {0, 0, 1024, 728},
         true,
         0,
         TrackOutcome::Hidden,
         0,
         0,
         Rect{}},
    };
    for (const Case& c : cases) {
        state = PlacementState{};
        desk.Find(self)->visible = false;
        desk.m_hasCompositor = c.compositor;
        req.m_nPosition = c.position;
        Foreground(c.rect, c.frame);
        EXPECT_EQ(Run(), c.outcome) << c.what;
        if (c.outcome != TrackOutcome::Placed)
            continue;
        EXPECT_EQ(Self().rect.left, c.x) << c.what;
        EXPECT_EQ(Self().rect.top, c.y) << c.what;
        EXPECT_EQ(state.m_rcTarget, c.target) << c.what;
    }
}

TEST_F(DesktopFrame, ACloakedTargetHidesTheCharacterAsAMinimisedOneDoes) {
    const WindowId taskbar = desk.AddTaskbar(Rect{0, 728, 1024, 768});
    struct Case {
        const char* what;
        int mode;
        bool cloakWindow;
        bool cloakTaskbar;
        bool compositor;
        TrackOutcome outcome;
    };
    const Case cases[] = {
        {"cloaked window in front", kTrackAllWindows, true, false, true, TrackOutcome::Hidden},
        {"cloaked window, off-taskbar mode", kTrackOffTaskbar, true, false, true, TrackOutcome::Hidden},
        {"cloaked taskbar in taskbar mode", kTrackTaskbar, false, true, true, TrackOutcome::Hidden},
        {"taskbar mode ignores the window in front", kTrackTaskbar, true, false, true, TrackOutcome::Placed},
        {"nothing cloaked", kTrackAllWindows, false, false, true, TrackOutcome::Placed},
        {"no compositor: nothing is cloaked", kTrackAllWindows, true, false, false, TrackOutcome::Placed},
    };
    for (const Case& c : cases) {
        desk.Find(self)->visible = true;
        desk.m_hasCompositor = c.compositor;
        desk.m_calls.clear();
        req.m_nFixed = c.mode;
        desk.Find(taskbar)->cloaked = c.cloakTaskbar;
        desk.Find(Foreground(Rect{100, 200, 500, 400}))->cloaked = c.cloakWindow;
        EXPECT_EQ(Run(), c.outcome) << c.what;
        EXPECT_EQ(Self().visible, c.outcome == TrackOutcome::Placed) << c.what;
    }
}

TEST_F(DesktopFrame, FullscreenStatesHideInEveryModeUnlessSwitchedOff) {
    desk.AddTaskbar(Rect{0, 728, 1024, 768});
    Foreground(Rect{100, 200, 500, 400});
    for (int s = 0; s <= 7; ++s) {
        const auto st = static_cast<NotificationState>(s);
        const bool fullscreen = st == NotificationState::Busy ||
                                st == NotificationState::RunningD3DFullScreen ||
                                st == NotificationState::PresentationMode;
        EXPECT_EQ(placement::IsFullScreenState(st), fullscreen) << s;
        for (int hide : {1, 0}) {
            for (int mode : {kTrackAllWindows, kTrackTaskbar, kTrackOffTaskbar}) {
                desk.Find(self)->visible = true;
                desk.m_notificationState = st;
                req.m_bFullScreenHide = hide;
                req.m_nFixed = mode;
                const TrackOutcome expected =
                    hide && fullscreen ? TrackOutcome::Hidden : TrackOutcome::Placed;
                EXPECT_EQ(Run(), expected) << "state " << s << " hide " << hide << " mode " << mode;
            }
        }
    }
}

TEST_F(DesktopFrame, TheCharacterComesBackWhenTheFullscreenProgramEnds) {
    Foreground(Rect{100, 200, 500, 400});
    ASSERT_EQ(Run(), TrackOutcome::Placed);
    desk.m_notificationState = NotificationState::RunningD3DFullScreen;
    EXPECT_EQ(Run(), TrackOutcome::Hidden);
    EXPECT_FALSE(Self().visible);
    desk.m_calls.clear();
    desk.m_notificationState = NotificationState::AcceptsNotifications;
    EXPECT_EQ(Run(), TrackOutcome::Placed);
    EXPECT_TRUE(Self().visible);
    EXPECT_EQ(desk.m_calls.size(), 1u); // the same place: only the call that shows it
}

// Starts the program on a 32-pixel character with an editor window in front.
CMainFrame& StartOn(sim::SimDesktop& desk, CCharacterApp& app, const Rect& rect, const Rect& frame = Rect{}) {
    SimDesktopWindows::Window w;
    w.title = "Editor";
    w.className = "Notepad";
    w.rect = rect;
    w.frame = frame;
    desk.desktop.SetForeground(desk.desktop.Add(w));
    desk.files.AddFile("C:\\c.kp", build::BuildCharacter(test::BasicCharacter(300)));
    EXPECT_TRUE(app.InitInstance("C:\\c.kp"));
    return *app.MainFrame();
}

TEST(DesktopFrameApp, TheDragMeasuresAgainstTheVisibleFrame) {
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    // Visible free width 1000 (1032 less 32); with the borders it would be 1014, and 10 pixels
    // would not make one percent.
    CMainFrame& f = StartOn(desk, app, Rect{93, 199, 1139, 507}, Rect{100, 200, 1132, 500});
    f.m_nPosition = 50;
    f.OnLButtonDown(0, Point{5, 5});
    desk.window.QueueDrag(Point{10, 0});
    f.OnMouseMove(0, Point{6, 5});
    EXPECT_EQ(f.m_nPosition, 51);
    EXPECT_EQ(f.m_rcTarget, (Rect{100, 200, 1132, 500}));
}

TEST(DesktopFrameApp, FullScreenHideIsReadAtStartAndNeverWritten) {
    for (int stored : {-1, 0, 1}) {
        sim::SimDesktop fresh;
        if (stored >= 0)
            fresh.settings.WriteInt("Kelpo32", "FullScreenHide", stored);
        fresh.settings.ClearWrites();
        fresh.desktop.m_notificationState = NotificationState::Busy;
        CCharacterApp a{fresh.AllServices()};
        StartOn(fresh, a, Rect{100, 200, 500, 400});
        EXPECT_EQ(a.m_bFullScreenHide, stored != 0) << stored; // default 1
        a.MainFrame()->Track();
        EXPECT_EQ(fresh.desktop.IsVisible(fresh.window.m_id), stored == 0) << stored;
        a.MainFrame()->OnClose();
        a.ExitInstance();
        for (const std::string& w : fresh.settings.Writes())
            EXPECT_EQ(w.find("FullScreenHide"), std::string::npos) << w;
    }
}

} // namespace
} // namespace kp
