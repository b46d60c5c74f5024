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
using State = NotificationState;

// The program started on a 32-pixel character, and a window in front whose compositor frame is
// `frame` (empty: the whole rectangle).
struct Running {
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    WindowId editor = 0;

    Running(const Rect& rect, const Rect& frame, int fullScreenHide = -1) {
        if (fullScreenHide >= 0)
            desk.settings.WriteInt("Kelpo32", "FullScreenHide", fullScreenHide);
        desk.settings.ClearWrites();
        SimDesktopWindows::Window w;
        w.rect = rect;
        w.frame = frame;
        editor = desk.desktop.Add(w);
        desk.desktop.SetForeground(editor);
        desk.files.AddFile("C:\\c.kp", build::BuildCharacter(test::BasicCharacter(300)));
        EXPECT_TRUE(app.InitInstance("C:\\c.kp"));
    }
    CMainFrame& Frame() { return *app.MainFrame(); }
    TrackOutcome Track(int mode = kTrackAllWindows) {
        TrackRequest r{desk.window.m_id, 32, 0, 0, mode, 0, app.m_bFullScreenHide};
        return placement::Track(desk.desktop, r, Frame());
    }
};

// A window with invisible resize borders, 7 pixels at the sides and bottom, 1 at the top.
const Rect kOuter{93, 199, 507, 407};
const Rect kFrame{100, 200, 500, 400};

TEST(DesktopFrame, TargetRectangleIsTheVisibleFrameOrTheWindowRectangle) {
    struct Case {
        Rect rect, frame;
        bool compositor;
        TrackOutcome outcome;
        Rect target;
    };
    const Case cases[] = {
        {kOuter, kFrame, true, TrackOutcome::Placed, kFrame},
        {kOuter, kFrame, false, TrackOutcome::Placed, kOuter},              // no compositor
        {kOuter, {140, 298, 760, 610}, true, TrackOutcome::Placed, kOuter}, // frame in physical pixels
        {{93, -3, 507, 407}, {100, 4, 500, 400}, true, TrackOutcome::Placed, {100, 4, 500, 400}},
        {{93, -3, 507, 407}, {100, 4, 500, 400}, false, TrackOutcome::Hidden, {}}, // border at the top
        {{-8, -8, 1032, 736}, {0, 0, 1024, 728}, true, TrackOutcome::Hidden, {}},  // maximised
    };
    for (const Case& c : cases) {
        Running run(c.rect, c.frame);
        run.desk.desktop.m_hasCompositor = c.compositor;
        run.Frame().m_rcTarget = Rect{};
        EXPECT_EQ(run.Track(), c.outcome) << c.rect.top << " " << c.compositor;
        EXPECT_EQ(run.Frame().m_rcTarget, c.target) << c.rect.top << " " << c.compositor;
        if (c.outcome == TrackOutcome::Placed) {
            EXPECT_EQ((Point{run.Frame().m_nLastX, run.Frame().m_nLastY}),
                      (Point{c.target.left, c.target.top}));
        }
    }
}

TEST(DesktopFrame, TheDragMeasuresAgainstTheVisibleFrame) {
    // Visible free width 1000; with the borders it would be 1014, and 10 pixels no percent.
    Running run(Rect{93, 199, 1139, 507}, Rect{100, 200, 1132, 500});
    run.Frame().m_nPosition = 50;
    run.Frame().OnLButtonDown(0, Point{5, 5});
    run.desk.window.QueueDrag(Point{10, 0});
    run.Frame().OnMouseMove(0, Point{6, 5});
    EXPECT_EQ(run.Frame().m_nPosition, 51);
}

TEST(DesktopFrame, ACloakedTargetHidesWhereTheCompositorCanSay) {
    for (bool compositor : {true, false}) {
        Running run(kFrame, Rect{});
        const WindowId taskbar = run.desk.desktop.AddTaskbar(Rect{0, 728, 1024, 768});
        run.desk.desktop.m_hasCompositor = compositor;
        run.desk.desktop.Find(run.editor)->cloaked = true;
        EXPECT_EQ(run.Track(), compositor ? TrackOutcome::Hidden : TrackOutcome::Placed);
        EXPECT_EQ(run.Track(kTrackTaskbar), TrackOutcome::Placed); // the taskbar is not cloaked
        run.desk.desktop.Find(taskbar)->cloaked = true;
        EXPECT_EQ(run.Track(kTrackTaskbar), compositor ? TrackOutcome::Hidden : TrackOutcome::Placed);
    }
}

TEST(DesktopFrame, FullscreenStatesHideInEveryModeUnlessTheSettingIsZero) {
    for (int stored : {-1, 0, 1}) {
        Running run(kFrame, Rect{}, stored);
        EXPECT_EQ(run.app.m_bFullScreenHide, stored != 0 ? 1 : 0) << stored; // default 1
        run.desk.desktop.AddTaskbar(Rect{0, 728, 1024, 768});
        for (int s = 0; s <= 7; ++s) {
            const auto state = static_cast<State>(s);
            const bool hides = stored != 0 && (state == State::Busy || state == State::RunningD3DFullScreen ||
                                               state == State::PresentationMode);
            run.desk.desktop.m_notificationState = state; // State::Unknown: no such query
            for (int mode : {kTrackAllWindows, kTrackTaskbar, kTrackOffTaskbar}) {
                EXPECT_EQ(run.Track(mode), hides ? TrackOutcome::Hidden : TrackOutcome::Placed) << s << mode;
                // The next placement after the fullscreen program ends shows the character again.
                run.desk.desktop.m_notificationState = State::AcceptsNotifications;
                EXPECT_EQ(run.Track(mode), TrackOutcome::Placed);
                EXPECT_TRUE(run.desk.desktop.IsVisible(run.desk.window.m_id));
                run.desk.desktop.m_notificationState = state;
            }
        }
        // The window's own placement passes the setting on, and the program never writes it.
        run.desk.desktop.m_notificationState = State::Busy;
        run.Frame().Track();
        EXPECT_EQ(run.desk.desktop.IsVisible(run.desk.window.m_id), stored == 0);
        run.Frame().OnClose();
        run.app.ExitInstance();
        for (const std::string& w : run.desk.settings.Writes())
            EXPECT_EQ(w.find("FullScreenHide"), std::string::npos) << w;
    }
}

} // namespace
} // namespace kp
