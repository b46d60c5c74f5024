// The interpreter as the character window runs it: its effects reach the canvas, the window and
// the simulated platform services, and its state survives pattern and data-file changes.
#include "ScriptFixtures.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "chardata/SoftCanvas.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using test::Script;

class FrameScript : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window, &desk.sound,
                                  &desk.programs}};
    CMainFrame frame{app};
    SoftCanvas canvas{16, 16};

    void Load(const std::vector<Script>& scripts, const AnsiString& path = "c.kp") {
        build::Character c = test::ScriptCharacter(scripts);
        c.sounds.push_back(build::MakeWave({1, 2, 3, 4}));
        desk.files.AddFile(path, build::BuildCharacter(c));
        ASSERT_TRUE(frame.LoadDataFile(path));
        app.m_strCharName = frame.File().Name();
        // The window the timers belong to.
        if (!desk.window.Exists()) {
            ASSERT_TRUE(desk.window.Create(WindowCreateParams{"Kelpo32", 16, 16, false}));
        }
    }
};

TEST_F(FrameScript, EffectsReachTheCanvasAndThePlatform) {
    desk.window.m_cursor = Point{-1, 5};
    desk.system.m_time = LocalTime{2001, 5, 2, 6, 7, 8, 9, 10};
    app.m_bAutoAnimation = TRUE;
    Load({Script()
              .Op(OP_DRAW)
              .Word(0)
              .Op(OP_PLAYSOUND)
              .Word(0)
              .Op(OP_PLAYFILE)
              .Str("chime")
              .Op(OP_EXEC)
              .Str("calc.exe")
              .Set(1, VAL_CURSORX)
              .Set(2, VAL_CURSORY)
              .Set(3, VAL_CLOCK)
              .Set(4, VAL_HOUR)
              .Op(OP_SAVEVAR)
              .Str("Seen")
              .Word(0x8001)
              .Op(OP_LOADVAR)
              .Str("Seen")
              .Word(5)
              .Word(0)
              .Op(OP_IFNOAUTO)
              .Dword(0)
              .Wait(250)});
    frame.RunScript(canvas);
    EXPECT_EQ(canvas.Pixel(3, 5), canvas.Pixel(6, 8)); // cell 0, 4 x 4 at (3, 5), drawn
    EXPECT_NE(canvas.Pixel(3, 5), canvas.Pixel(0, 0));
    EXPECT_EQ(desk.sound.m_calls,
              (std::vector<std::string>{
                  "wave " + std::to_string(build::MakeWave({1, 2, 3, 4}).size()) + " bytes", "named chime"}));
    EXPECT_EQ(desk.programs.m_started, (std::vector<AnsiString>{"calc.exe"}));
    EXPECT_EQ(frame.m_nVar[1], 65535);
    EXPECT_EQ(frame.m_nVar[2], 5);
    EXPECT_EQ(frame.m_nVar[3], 10);
    EXPECT_EQ(frame.m_nVar[4], 7);
    EXPECT_EQ(frame.m_nVar[5], 65535);
    EXPECT_EQ(desk.settings.Writes().back(), "Tester/Seen=65535");
    EXPECT_EQ(desk.window.m_timers.at(kFrameTimer), 250u);
    EXPECT_EQ(frame.m_bAnimTimer, TRUE);
    EXPECT_EQ(frame.m_pCanvas, nullptr); // the step's canvas is not kept
}

TEST_F(FrameScript, TheCanvasGetsItsDefaultFontBackAfterEveryStep) {
    Load({Script().Op(OP_FONT).Word(14).Str("Face").Op(OP_TEXT).Word(0).Word(0).Str("a").Wait(1).Wait(1)});
    frame.RunScript(canvas);
    EXPECT_EQ(canvas.SelectedFont(), nullptr);
    ASSERT_NE(frame.m_pFont, nullptr);
    EXPECT_EQ(*frame.m_pFont, (FontSpec{-14, 700, 128, "Face"}));
    frame.RunScript(canvas);
    EXPECT_EQ(canvas.SelectedFont(), nullptr);
}

TEST_F(FrameScript, SixteenShapesFillTheSlotsAndTheNextGivesNone) {
    Script s;
    for (int i = 0; i < 16; ++i)
        s.Op(OP_NEWSHAPE).Byte('b').Word(1);
    s.Set(1, 0x8000).Op(OP_NEWSHAPE).Byte('b').Word(1).Op(OP_SETSHAPE).Word(0x8000).Wait(1);
    Load({s});
    frame.RunScript(canvas);
    EXPECT_EQ(frame.m_nVar[1], 15);
    EXPECT_EQ(frame.m_nVar[0], 0xFFFF);
}

TEST_F(FrameScript, PatternStartsGoThroughTheWindow) {
    Load({Script().Op(OP_NEWSHAPE).Byte('b').Word(1).Op(OP_PATTERN).Word(2), Script().Wait(5)});
    frame.RunScript(canvas);
    EXPECT_EQ(frame.m_nPattern, 2);
    for (const auto& slot : frame.m_apMaskRgn)
        EXPECT_EQ(slot, nullptr);
    const std::vector<std::string> tail(desk.window.m_calls.end() - 3, desk.window.m_calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Hide", "KillTimer 1", "SetTimer 1 10"}));
}

TEST_F(FrameScript, VariablesSurviveADataFileChangeAndTheClickEntryDoesNot) {
    Load({Script().Set(7, 77).Op(OP_CLICKON).Dword(4).Op(OP_PLAYSOUND).Word(0).Wait(1)});
    frame.RunScript(canvas);
    ASSERT_EQ(frame.m_nClickEntry, 4);
    desk.sound.m_calls.clear();
    Load({Script().Wait(1)}, "d.kp");
    EXPECT_EQ(frame.m_nVar[7], 77);
    EXPECT_EQ(frame.m_nClickEntry, -1);
    // The sound playing from the old image is stopped before that image goes.
    EXPECT_EQ(desk.sound.m_calls, (std::vector<std::string>{"stop"}));
}

TEST_F(FrameScript, WithoutSoundAndProgramServicesTheRequestsAreDropped) {
    CCharacterApp bare{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window}};
    CMainFrame f(bare);
    build::Character c =
        test::ScriptCharacter({Script().Op(OP_PLAYFILE).Str("x").Op(OP_EXEC).Str("y").Wait(3)});
    desk.files.AddFile("e.kp", build::BuildCharacter(c));
    ASSERT_TRUE(f.LoadDataFile("e.kp"));
    ASSERT_TRUE(desk.window.Create(WindowCreateParams{"Kelpo32", 16, 16, false}));
    f.RunScript(canvas);
    EXPECT_EQ(desk.window.m_timers.at(kFrameTimer), 3u);
    EXPECT_TRUE(desk.sound.m_calls.empty());
}

} // namespace
} // namespace kp
