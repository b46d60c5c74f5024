// Talking to the character on the simulated desktop: the context menu, the command dispatch,
// the data-file change, the settings dialog, the about box, exit all and the drag.
#include "Fixtures.h"

#include "app/CharacterApp.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace kp {
namespace {

using Calls = std::vector<std::string>;

class MainFrameCommandsTest : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    CMainFrame frame{app};
    WindowId target = 0;

    // A 32 x 32 character of `patterns` patterns, created and placed on a foreground window
    // whose free width is 1000 pixels.
    void Create(int patterns = 3) {
        build::Character c = test::BasicCharacter(300, patterns);
        desk.files.AddFile("C:\\c.kp", build::BuildCharacter(c));
        app.m_strDataName = "C:\\c.kp";
        app.m_bHaveDataFile = TRUE;
        app.m_bWin2000 = TRUE;
        app.m_nTransparency = 100;
        target =
            desk.desktop.Add(sim::SimDesktopWindows::Window{0, "Editor", "Notepad", {100, 200, 1132, 500}});
        desk.desktop.SetForeground(target);
        ASSERT_TRUE(frame.CreateCharacterWindow());
        frame.Track();
        ASSERT_TRUE(Visible());
    }
    // A second character "Other", 48 x 40, of 4 patterns, at C:\o.kp.
    void AddOther() {
        build::Character c = test::BasicCharacter(300, 4);
        c.name = "Other";
        c.width = 48;
        c.height = 40;
        c.defaultPosition = 70;
        c.defaultPattern = 3;
        desk.files.AddFile("C:\\o.kp", build::BuildCharacter(c));
    }
    bool Visible() { return desk.desktop.IsVisible(desk.window.m_id); }
    int Writes(const std::string& what) {
        const auto& w = desk.settings.Writes();
        return static_cast<int>(std::find(w.begin(), w.end(), what) - w.begin());
    }
};

// ---------------------------------------------------------------------------------------------
// Context menu and commands

TEST_F(MainFrameCommandsTest, TheMenuPausesPlacementExactlyWhileItIsOpen) {
    Create();
    desk.desktop.m_cursor = Point{300, 400};
    frame.m_nPattern = 2;
    BOOL trackingWhileOpen = TRUE;
    desk.window.m_whileMenuOpen = [&] { trackingWhileOpen = frame.m_bTracking; };
    desk.window.QueueMenuChoice(ID_PATTERN_RANDOM + 3);
    frame.OnRButtonDown(0, Point{1, 1});
    EXPECT_EQ(trackingWhileOpen, FALSE);
    EXPECT_EQ(frame.m_bTracking, TRUE);
    EXPECT_EQ(desk.window.m_calls.back(), "TrackPopupMenu 300,400");
    ASSERT_EQ(desk.window.m_menus.size(), 1u);
    EXPECT_TRUE(desk.window.m_menus[0].items[2].items[3].checked); // pattern 2
    // The choice arrives after the handler has returned.
    EXPECT_EQ(frame.m_nPattern, 2);
    EXPECT_EQ(desk.window.DeliverPostedCommands(), 1);
    EXPECT_EQ(frame.m_nPattern, 3);
}

TEST_F(MainFrameCommandsTest, CommandDispatch) {
    Create(20);
    struct Case {
        unsigned id;
        BOOL handled;
        int pattern; // m_nPattern afterwards (-1: unchanged from 5)
    };
    const Case cases[] = {
        {32780, TRUE, 0},
        {32781, TRUE, 1},
        {32796, TRUE, 16},
        {33000, TRUE, 17},
        {33003, TRUE, 20},
        {32797, FALSE, -1},
        {32799, FALSE, -1},
        {1, FALSE, -1},
        {0, FALSE, -1},
        {32803, FALSE, -1},
        {ID_PATTERN_MORE_FIRST + KP_MENU_PATTERN_LIMIT, FALSE, -1},
    };
    for (const Case& c : cases) {
        frame.m_nPattern = 5;
        EXPECT_EQ(frame.OnCommand(c.id), c.handled) << c.id;
        EXPECT_EQ(frame.m_nPattern, c.pattern < 0 ? 5 : c.pattern) << c.id;
    }
    EXPECT_TRUE(desk.ui.Dialogs().empty());
    EXPECT_TRUE(desk.ui.FileDialogs().empty());

    EXPECT_TRUE(frame.OnCommand(ID_SETTINGS));
    EXPECT_TRUE(frame.OnCommand(ID_APP_ABOUT));
    ASSERT_EQ(desk.ui.Dialogs().size(), 2u);
    EXPECT_EQ(desk.ui.Dialogs()[0].templateId, IDD_SETTINGS);
    EXPECT_EQ(desk.ui.Dialogs()[1].templateId, IDD_ABOUTBOX);
    EXPECT_TRUE(frame.OnCommand(ID_CHANGE_DATAFILE));
    EXPECT_EQ(desk.ui.FileDialogs().size(), 1u);
    EXPECT_TRUE(frame.OnCommand(ID_EXIT_ALL));
    EXPECT_EQ(desk.desktop.m_closePosted, std::vector<WindowId>{desk.window.m_id});
    EXPECT_TRUE(frame.OnCommand(ID_APP_EXIT)); // as WM_CLOSE
    EXPECT_TRUE(desk.window.m_destroyed);
    EXPECT_EQ(app.m_nSavedPattern, frame.m_nPattern);
}

// ---------------------------------------------------------------------------------------------
// Change of data file

TEST_F(MainFrameCommandsTest, ChangeToACharacterWithItsOwnStoredValues) {
    Create();
    AddOther();
    frame.m_nPosition = 33;
    desk.settings.WriteInt("Other", "Position", 150);
    desk.settings.WriteInt("Other", "Pattern", 9);
    desk.settings.WriteInt("Other", "Fixed", 2);
    desk.ui.QueueFileChoice("C:\\o.kp");
    desk.desktop.m_calls.clear();
    desk.window.m_calls.clear();
    frame.OnChangeDataFile();
    // The outgoing character's values were written first.
    EXPECT_LT(Writes("Tester/Position=33"), static_cast<int>(desk.settings.Writes().size()));
    EXPECT_EQ(frame.File().Name(), "Other");
    EXPECT_EQ(app.m_strCharName, "Other");
    EXPECT_EQ(frame.m_nPosition, 100);
    EXPECT_EQ(frame.m_nPattern, 4);
    EXPECT_EQ(app.m_nFixed, 2);
    const auto& moves = desk.desktop.m_calls;
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves[0], "SetWindowPos " + std::to_string(desk.window.m_id) + " topmost 0,0 48x40 0x12");
    EXPECT_EQ(desk.desktop.Find(desk.window.m_id)->rect.Width(), 48);
    // The first step at once into a new frame instead of the pattern start's 10 ms wait.
    const Calls& w = desk.window.m_calls;
    const auto made = std::find(w.begin(), w.end(), "CreateFrame 48x40");
    ASSERT_NE(made, w.end());
    EXPECT_EQ(Calls(made - 2, made + 3),
              (Calls{"SetTimer 1 10", "KillTimer 1", "CreateFrame 48x40", "SetTimer 1 100", "Repaint"}));
    EXPECT_EQ(frame.m_pBitmap->Width(), 48);
    EXPECT_TRUE(Visible());
}

TEST_F(MainFrameCommandsTest, ChangeToACharacterWithoutStoredValuesTakesItsHeadersDefaults) {
    Create();
    AddOther();
    desk.settings.WriteInt("Tester", "Fixed", 1);
    app.m_nPositionArg = 5; // command-line values play no part
    desk.ui.QueueFileChoice("C:\\o.kp");
    frame.OnChangeDataFile();
    EXPECT_EQ(frame.m_nPosition, 70);
    EXPECT_EQ(frame.m_nPattern, 3);
    EXPECT_EQ(app.m_nFixed, 0);
}

TEST_F(MainFrameCommandsTest, CancelledOrRefusedChangeKeepsTheCharacter) {
    Create();
    desk.files.AddFile("C:\\bad.kp", {'X', 'Y', 1, 2});
    for (const char* choice : {"", "C:\\bad.kp"}) {
        const BYTE* image = frame.m_pData;
        frame.m_nPosition = 44;
        desk.settings.WriteInt("Tester", "Position", 0);
        desk.desktop.HideWindow(desk.window.m_id);
        desk.ui.QueueFileChoice(choice);
        frame.OnChangeDataFile();
        EXPECT_EQ(desk.settings.Find("Tester", "Position")->number, 44) << choice; // saved first
        EXPECT_EQ(frame.m_pData, image) << choice;
        EXPECT_EQ(frame.File().Name(), "Tester") << choice;
        EXPECT_TRUE(Visible()) << choice; // placed again
    }
    // The refused file has stopped the frame timer: the character stands on its last frame.
    EXPECT_EQ(desk.ui.Messages().size(), 1u);
    EXPECT_EQ(desk.window.m_timers.count(kFrameTimer), 0u);
}

// ---------------------------------------------------------------------------------------------
// Settings dialog

TEST_F(MainFrameCommandsTest, SettingsCancelChangesNothingButPlacesTheCharacterAgain) {
    Create();
    frame.m_nPosition = 40;
    BOOL tracking = TRUE;
    bool visible = true;
    desk.ui.QueueDialog(IDD_SETTINGS, [&](IDialogLogic&, sim::SimDialogControls& c) {
        tracking = frame.m_bTracking;
        visible = Visible();
        c.Type(IDC_POSITION_EDIT, "90");
        c.Click(kIdCancel);
    });
    const auto writes = desk.settings.Writes().size();
    frame.OnSettings();
    EXPECT_EQ(tracking, FALSE);
    EXPECT_FALSE(visible);
    EXPECT_EQ(frame.m_nPosition, 40);
    EXPECT_EQ(desk.settings.Writes().size(), writes);
    EXPECT_EQ(frame.m_bTracking, TRUE);
    EXPECT_TRUE(Visible());
}

TEST_F(MainFrameCommandsTest, SettingsOkAppliesTheDialogsValues) {
    Create();
    app.m_nFixed = 7; // no radio button ticked
    frame.m_nPattern = 0;
    desk.ui.QueueDialog(IDD_SETTINGS, [](IDialogLogic&, sim::SimDialogControls& c) {
        c.Type(IDC_POSITION_EDIT, "250");
        c.Tick(IDC_TOPMOST);
        c.Tick(IDC_RANDOM_MODE);
        c.Type(IDC_TRANS_EDIT, "5"); // ticks translucency
        c.Click(kIdOk);
    });
    MsRand expected = app.Random();
    frame.OnSettings();
    EXPECT_EQ(desk.settings.Find("Kelpo32", "RandomMode")->number, 1);
    EXPECT_EQ(frame.m_nPosition, 100);
    EXPECT_EQ(app.m_nFixed, -1);
    EXPECT_EQ(app.m_bTopMost, 1);
    EXPECT_EQ(app.m_nTransMode, 1);
    EXPECT_EQ(app.m_nTransparency, 5); // as typed; the window took 10 %
    EXPECT_EQ(desk.desktop.Find(desk.window.m_id)->alpha, 25);
    // Random selection draws a new pattern and starts it from its beginning.
    EXPECT_EQ(frame.m_nPattern, 0);
    EXPECT_EQ(frame.m_nScriptPos, 0);
    const std::size_t index = static_cast<std::size_t>(expected.Next()) % 3;
    EXPECT_EQ(frame.m_pScript, frame.m_pData + frame.File().PatternOffset(index));
    EXPECT_EQ(desk.window.m_timers.at(kFrameTimer), 10u);
}

// The settings dialog open at position 40, pattern 2, the user having typed 90 and ticked random
// start, when `event` comes; then the user presses OK. Returns the dialog's result and the number
// of settings writes made before OK.
class SettingsInterrupted : public MainFrameCommandsTest {
protected:
    std::size_t writesBeforeOk = 0;
    int Run(const std::function<void()>& event) {
        Create();
        frame.m_nPosition = 40;
        frame.m_nPattern = 2;
        desk.ui.QueueDialog(IDD_SETTINGS, [&](IDialogLogic&, sim::SimDialogControls& c) {
            c.Type(IDC_POSITION_EDIT, "90");
            c.Tick(IDC_RANDOM_MODE);
            event();
            writesBeforeOk = desk.settings.Writes().size();
            c.Click(kIdOk); // nothing once the dialog has ended
        });
        frame.OnSettings();
        return desk.ui.Dialogs().at(0).result;
    }
};

// The logon ends: the settings are written before the end-of-session handler returns (the
// process may be ended right after), without what the dialog shows, and the dialog ends as Cancel.
TEST_F(SettingsInterrupted, SessionEndCancelsTheDialogAndWritesAtOnce) {
    EXPECT_EQ(Run([&] {
                  EXPECT_TRUE(frame.OnQueryEndSession());
                  EXPECT_EQ(desk.settings.Writes().size(), 0u);
                  frame.OnEndSession(TRUE);
              }),
              kIdCancel);
    EXPECT_EQ(desk.settings.Find(app.m_strCharName, "Position")->number, 40);
    EXPECT_EQ(desk.settings.Find(app.m_strCharName, "Pattern")->number, 2);
    EXPECT_EQ(desk.settings.Find("Kelpo32", "CharName")->text, app.m_strCharName);
    EXPECT_EQ(desk.settings.Find("Kelpo32", "RandomMode"), nullptr);
    EXPECT_EQ(frame.m_nPosition, 40);
    EXPECT_EQ(desk.window.m_closePosted, 2); // at the question, and again at the end
}

TEST_F(SettingsInterrupted, SessionThatGoesOnLeavesTheDialogOpen) {
    EXPECT_EQ(Run([&] { frame.OnEndSession(FALSE); }), kIdOk);
    EXPECT_EQ(writesBeforeOk, 0u);
    EXPECT_EQ(frame.m_nPosition, 90);
}

// A dialog that outlives its window (closed while the dialog is open) applies nothing.
TEST_F(SettingsInterrupted, OkAfterTheWindowClosedAppliesNothing) {
    EXPECT_EQ(Run([&] { frame.OnClose(); }), kIdOk);
    EXPECT_EQ(desk.settings.Find("Kelpo32", "RandomMode"), nullptr);
    EXPECT_EQ(app.m_nSavedPosition, 40);
    EXPECT_EQ(frame.m_nPosition, 40);
}

// ---------------------------------------------------------------------------------------------
// About box and exit all

TEST_F(MainFrameCommandsTest, AboutShowsTheCharactersTextWithPlacementPaused) {
    struct Case {
        std::string about;
        std::string shown;
        int button;
    };
    const Case cases[] = {
        {"", "", kIdOk},
        {"Hello", "Hello", kIdCancel},
        {std::string(64, 'a'), std::string(63, 'a'), kIdOk}, // no terminator in the field
    };
    Create();
    for (const Case& k : cases) {
        build::Character c = test::BasicCharacter();
        c.about = k.about;
        desk.files.AddFile("C:\\a.kp", build::BuildCharacter(c));
        ASSERT_TRUE(frame.LoadDataFile("C:\\a.kp"));
        BOOL tracking = TRUE;
        desk.ui.QueueDialog(IDD_ABOUTBOX, [&](IDialogLogic&, sim::SimDialogControls& controls) {
            tracking = frame.m_bTracking;
            controls.Click(k.button);
        });
        desk.desktop.m_calls.clear();
        frame.OnAppAbout();
        const auto& run = desk.ui.Dialogs().back();
        EXPECT_EQ(run.controls->Item(IDC_ABOUT_TEXT).text, k.shown);
        EXPECT_EQ(run.result, k.button);
        EXPECT_EQ(tracking, FALSE);
        EXPECT_EQ(frame.m_bTracking, TRUE);
        // Only OK hands the activation on.
        const bool activated =
            std::any_of(desk.desktop.m_calls.begin(), desk.desktop.m_calls.end(),
                        [](const std::string& s) { return s.rfind("BringToTop", 0) == 0; });
        EXPECT_EQ(activated, k.button == kIdOk);
    }
}

TEST_F(MainFrameCommandsTest, ExitAllClosesEveryInstanceThisOneLast) {
    const auto add = [&](const std::string& title, const std::string& cls, bool topmost) {
        sim::SimDesktopWindows::Window w{0, title, cls, {0, 0, 10, 10}};
        w.topmost = topmost;
        return desk.desktop.Add(w);
    };
    const WindowId below = add(kAppTitle, kWindowClass, false);
    add(kAppTitle, "CabinetWClass", false);
    add(std::string(kAppTitle) + " ", kWindowClass, false);
    add("kelpo32", kWindowClass, false);
    Create();
    const WindowId above = add(kAppTitle, kWindowClass, true); // above this one at first
    desk.desktop.m_calls.clear();
    frame.OnExitAll();
    const WindowId self = desk.window.m_id;
    EXPECT_EQ(desk.desktop.m_calls.front(), "SetWindowPos " + std::to_string(self) + " topmost 0,0 0x0 0x03");
    std::vector<WindowId> sorted(desk.desktop.m_closePosted.begin(), desk.desktop.m_closePosted.end() - 1);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<WindowId>{below, above}));
    EXPECT_EQ(desk.desktop.m_closePosted.back(), self);
}

TEST_F(MainFrameCommandsTest, ExitAllReachesEveryInstanceWhileTheOthersCloseAtOnce) {
    std::vector<WindowId> others;
    for (int i = 0; i < 3; ++i)
        others.push_back(desk.desktop.Add({0, kAppTitle, kWindowClass, {0, 0, 10, 10}}));
    Create();
    const WindowId self = desk.window.m_id;
    // Another instance handles its close and is gone before this one asks for the next window.
    desk.desktop.m_beforeQuery = [&](WindowId) {
        for (const WindowId w : desk.desktop.m_closePosted)
            if (w != self)
                desk.desktop.Remove(w);
    };
    frame.OnExitAll();
    std::vector<WindowId> closed = desk.desktop.m_closePosted;
    ASSERT_FALSE(closed.empty());
    EXPECT_EQ(closed.back(), self);
    closed.pop_back();
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(closed, others);
}

// ---------------------------------------------------------------------------------------------
// Drag

TEST_F(MainFrameCommandsTest, DragChangesThePositionByTheHorizontalDistance) {
    Create();
    struct Case {
        int dx;
        int dy;
        int start;
        int position;
    };
    const Case cases[] = {
        {0, 30, 50, 50},  {9, 0, 50, 50},     {10, 0, 50, 51},
        {-15, 0, 50, 49}, {5000, 0, 50, 100}, {-900, 0, 50, 0},
    };
    for (const Case& c : cases) {
        frame.m_nPosition = c.start;
        frame.OnLButtonDown(0, Point{5, 5});
        desk.window.QueueDrag(Point{c.dx, c.dy});
        BOOL tracking = TRUE;
        desk.window.m_duringMoveLoop = [&] { tracking = frame.m_bTracking; };
        desk.desktop.m_calls.clear();
        frame.OnMouseMove(0, Point{6, 5});
        EXPECT_EQ(frame.m_nPosition, c.position) << c.dx;
        EXPECT_EQ(tracking, FALSE);
        EXPECT_EQ(frame.m_bTracking, TRUE);
        EXPECT_EQ(frame.m_bLButtonDown, FALSE);
        EXPECT_TRUE(Visible()) << c.dx; // hidden, then placed again
        EXPECT_EQ(desk.window.m_calls.back(), "Hide");
    }
}

TEST_F(MainFrameCommandsTest, NoDragWithoutAPressOrAtThePressPoint) {
    Create();
    desk.window.m_calls.clear();
    frame.OnMouseMove(0, Point{6, 5});
    frame.OnLButtonDown(0, Point{5, 5});
    frame.OnMouseMove(0, Point{5, 5});
    frame.OnLButtonUp(0, Point{5, 5});
    frame.OnMouseMove(0, Point{9, 9});
    for (const std::string& call : desk.window.m_calls)
        EXPECT_NE(call.rfind("RunMoveLoop", 0), 0u) << call;
}

TEST_F(MainFrameCommandsTest, WithoutAForegroundWindowTheDragMeasuresAgainstTheLastTarget) {
    Create();
    frame.m_nPosition = 50;
    frame.m_rcTarget = Rect{0, 100, 132, 300}; // free width 100
    desk.desktop.SetForeground(0);
    frame.OnLButtonDown(0, Point{5, 5});
    desk.window.QueueDrag(Point{-7, 0});
    frame.OnMouseMove(0, Point{4, 5});
    EXPECT_EQ(frame.m_nPosition, 43);
}

} // namespace
} // namespace kp
