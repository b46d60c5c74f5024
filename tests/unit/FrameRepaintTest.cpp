// The frame tick repaints only when its step changed what the window shows, and a shape is handed
// to the window only when it differs from the one the window has: counted on the simulated
// desktop over a few ticks of small looping scripts.
#include "ScriptFixtures.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kp {
namespace {

using test::Script;

constexpr int kTicks = 5;
constexpr WORD kMaskA = 2;
constexpr WORD kMaskB = 3;

// One loop body of a case: the instructions of one step before its wait.
using Body = void (*)(Script&);

struct Case {
    const char* name;
    // The loop's steps, in turn.
    std::vector<Body> steps;
    // Per tick: 'R' repainted, '-' not.
    const char* repaints;
    // Shapes handed to the window (region mode) or colour-key areas made (layered) over the ticks.
    int shapes;
};

void DrawA(Script& s) {
    s.Op(OP_DRAW).Word(0);
}
void DrawB(Script& s) {
    s.Op(OP_DRAW).Word(1);
}
void DrawBoth(Script& s) {
    s.Op(OP_DRAW).Word(0).Op(OP_DRAW).Word(1);
}
void Nothing(Script& s) {
    s.Set(7, 1);
}
void TextHi(Script& s) {
    s.Op(OP_TEXT).Word(0).Word(0).Str("hi");
}
void TextHo(Script& s) {
    s.Op(OP_TEXT).Word(0).Word(0).Str("ho");
}
void TextHiElsewhere(Script& s) {
    s.Op(OP_TEXT).Word(1).Word(0).Str("hi");
}
void FontOnly(Script& s) {
    s.Op(OP_FONT).Word(12).Str("Face");
}
void ShapeA(Script& s) {
    s.Op(OP_SETSHAPE).Word(0);
}
void ShapeB(Script& s) {
    s.Op(OP_SETSHAPE).Word(1);
}
void ShapeAAndDraw(Script& s) {
    s.Op(OP_SETSHAPE).Word(0).Op(OP_DRAW).Word(0);
}
void PaletteOther(Script& s) {
    s.Op(OP_PALETTE).Byte('b').Word(1);
}
void PaletteBack(Script& s) {
    s.Op(OP_PALETTE).Byte('b').Word(0);
}
void PaletteOtherAndDraw(Script& s) {
    s.Op(OP_PALETTE).Byte('b').Word(1).Op(OP_DRAW).Word(0);
}

const Case kCases[] = {
    {"TwoCellsByTurns", {DrawA, DrawB}, "RRRRR", 0},
    {"TheSameCellEveryStep", {DrawA}, "R----", 0},
    {"TheSameTwoCellsEveryStep", {DrawBoth}, "R----", 0},
    {"NothingDrawn", {Nothing}, "-----", 0},
    {"OnlyAFontSelected", {FontOnly}, "-----", 0},
    {"TheSameTextEveryStep", {TextHi}, "R----", 0},
    {"TwoTextsByTurns", {TextHi, TextHo}, "RRRRR", 0},
    {"OneTextInTwoPlaces", {TextHi, TextHiElsewhere}, "RRRRR", 0},
    {"TheSameShapeEveryStep", {ShapeA}, "R----", 1},
    {"TheSameShapeAndCellEveryStep", {ShapeAAndDraw}, "R----", 1},
    {"TwoShapesByTurns", {ShapeA, ShapeB}, "RRRRR", 5},
    {"AnotherPaletteOnce", {PaletteOther}, "R----", 0},
    {"TwoPalettesByTurns", {PaletteOther, PaletteBack}, "RRRRR", 0},
    // The first repeat still differs from its step before in the palette it began with.
    {"AnotherPaletteThenTheSameCell", {PaletteOtherAndDraw}, "RR---", 0},
};

class FrameRepaintTest : public ::testing::TestWithParam<std::tuple<Case, bool>> {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    CMainFrame frame{app};

    // The case's steps in a loop after a first step that makes two shapes (slots 0 and 1) and
    // draws nothing; the window made in region mode or layered.
    void Create(const Case& c, bool layered) {
        Script s;
        s.Op(OP_NEWSHAPE).Byte('b').Word(kMaskA).Op(OP_NEWSHAPE).Byte('b').Word(kMaskB).Wait(10);
        const DWORD loop = s.Here();
        for (Body step : c.steps) {
            step(s);
            s.Wait(100);
        }
        s.Goto(loop);
        build::Character ch = test::ScriptCharacter({s});
        ch.cells[1].colors[4] = 0x7F; // cell 1's palette differs from cell 0's
        ch.cells.push_back(build::MaskCell1({"0011", "0011"}));
        ch.cells.push_back(build::MaskCell1({"1100", "0000"}));
        desk.files.AddFile("C:\\c.kp", build::BuildCharacter(ch));
        app.m_strDataName = "C:\\c.kp";
        app.m_bHaveDataFile = TRUE;
        app.m_bWin2000 = layered ? TRUE : FALSE;
        ASSERT_TRUE(frame.CreateCharacterWindow());
    }
    int Count(const std::string& prefix) const {
        return static_cast<int>(std::count_if(desk.window.m_calls.begin(), desk.window.m_calls.end(),
                                              [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
    }
};

TEST_P(FrameRepaintTest, RepaintsAndShapesOnlyWhatChanged) {
    const auto& [c, layered] = GetParam();
    Create(c, layered);
    desk.window.m_calls.clear();
    std::string repaints;
    int keyAreas = 0;
    std::optional<RectRegion> last = frame.m_hRgn;
    for (int tick = 0; tick < kTicks; ++tick) {
        const int before = desk.window.m_repaints;
        frame.OnTimer(kFrameTimer);
        repaints += desk.window.m_repaints > before ? 'R' : '-';
        if (frame.m_hRgn != last)
            ++keyAreas;
        last = frame.m_hRgn;
    }
    EXPECT_EQ(repaints, c.repaints);
    EXPECT_EQ(layered ? keyAreas : Count("SetWindowRegion"), c.shapes);
    // Nothing else repaints behind the tick's back.
    EXPECT_EQ(Count("Repaint"), static_cast<int>(std::count(repaints.begin(), repaints.end(), 'R')));
}

INSTANTIATE_TEST_SUITE_P(Steps, FrameRepaintTest,
                         ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "Layered" : "Region");
                         });

// A shape is skipped only when the window has it already: a new character applies its shapes anew.
TEST(FrameRepaint, ANewWindowOrCharacterTakesTheShapeAgain) {
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    CMainFrame frame{app};
    build::Character ch = test::ScriptCharacter({Script().Wait(1000)});
    ch.cells.push_back(build::MaskCell1({"0011", "0011"}));
    desk.files.AddFile("c.kp", build::BuildCharacter(ch));
    ASSERT_TRUE(frame.LoadDataFile("c.kp"));
    for (BOOL layered : {FALSE, TRUE}) {
        app.m_bWin2000 = layered;
        const WORD slot = frame.CreateMaskRgn('b', kMaskA);
        frame.SetShape(slot);
        desk.window.m_calls.clear();
        frame.m_hRgn.reset();
        frame.SetShape(slot); // already the window's shape: nothing to do
        EXPECT_TRUE(desk.window.m_calls.empty());
        EXPECT_FALSE(frame.m_hRgn);
        // The same file again: its shapes are applied anew.
        ASSERT_TRUE(frame.LoadDataFile("c.kp"));
        frame.SetShape(slot);
        EXPECT_EQ(layered ? frame.m_hRgn.has_value() : !desk.window.m_calls.empty(), true);
    }
}

} // namespace
} // namespace kp
