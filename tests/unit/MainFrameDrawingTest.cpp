#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "chardata/SoftCanvas.h"
#include "sim/SimDesktop.h"

#include "Fixtures.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using Rects = std::vector<Rect>;

enum Cells : WORD { kPicture, kMask, kAllOutside, kTrueColour, kFarRight, kMissing = 500 };

class Drawing : public ::testing::Test {
protected:
    sim::SimDesktop desk;
    CCharacterApp app{AppServices{desk.settings, desk.files, desk.ui, desk.system, desk.window}};
    CMainFrame frame{app};

    void SetUp() override {
        build::Character c = test::BasicCharacter();
        c.width = 40;
        c.height = 8;
        c.cells.clear();
        build::Cell picture = build::SolidCell8(2, 2, 9);
        picture.x = 3;
        picture.y = 4;
        picture.bits = {1, 2, 0, 0, 3, 4, 0, 0};
        c.cells.push_back(picture);
        build::Cell mask = build::MaskCell1({std::string(32, '1') + "0", std::string(33, '0')});
        mask.x = 20; // a mask's position plays no part in the shape
        c.cells.push_back(mask);
        c.cells.push_back(build::MaskCell1({"111", "111"}));
        c.cells.push_back(build::SolidCell24(2, 2, 1, 2, 3));
        build::Cell far = build::SolidCell8(4, 1, 5);
        far.x = 0xFFF0;
        c.cells.push_back(far);
        desk.files.AddFile("c.kp", build::BuildCharacter(c));
        ASSERT_TRUE(frame.LoadDataFile("c.kp"));
    }

    const RectRegion kMaskShape = [] {
        RectRegion r;
        r.AppendBand(0, 1, {{32, 33}});
        r.AppendBand(1, 2, {{0, 33}});
        return r;
    }();
};

TEST_F(Drawing, SixteenSlotsThenFullUntilThePatternStartFreesThem) {
    for (WORD i = 0; i < 16; ++i)
        EXPECT_EQ(frame.CreateMaskRgn('b', kMask), i);
    EXPECT_EQ(frame.CreateMaskRgn('b', kMask), 0xFFFF);
    EXPECT_EQ(frame.CreateMaskRgn('a', kMask), 0xFFFF);
    frame.FreeMaskRegions();
    EXPECT_EQ(frame.CreateMaskRgn('b', kMask), 0);
}

TEST_F(Drawing, OtherKindsNameTheLowestFreeSlotWithoutTakingIt) {
    EXPECT_EQ(frame.CreateMaskRgn('b', kMask), 0);
    EXPECT_EQ(frame.CreateMaskRgn('a', kMask), 1);
    EXPECT_EQ(frame.CreateMaskRgn(0, kMask), 1);
    EXPECT_FALSE(frame.m_apMaskRgn[1]);
}

TEST_F(Drawing, MasksWithoutInsidePixelsOrRecordsStillTakeTheirSlot) {
    EXPECT_EQ(frame.CreateMaskRgn('b', kAllOutside), 0);
    EXPECT_EQ(frame.CreateMaskRgn('b', kMissing), 1);
    EXPECT_EQ(frame.CreateMaskRgn('b', kPicture), 2);
    for (WORD s : {0, 1})
        ASSERT_TRUE(frame.m_apMaskRgn[s] && !frame.m_apMaskRgn[s]->HasRegion()) << s;
    // An 8-bit picture with no pixel of index 0 has no inside either.
    EXPECT_FALSE(frame.m_apMaskRgn[2]->HasRegion());
    EXPECT_EQ(frame.CreateMaskRgn('b', kMask), 3);
}

TEST_F(Drawing, RegionModeHandsTheWindowACopyEachTime) {
    app.m_bWin2000 = FALSE;
    const WORD slot = frame.CreateMaskRgn('b', kMask);
    frame.SetShape(slot);
    ASSERT_TRUE(desk.window.m_region);
    EXPECT_EQ(*desk.window.m_region, kMaskShape); // from window x = 0, not the cell's wX
    desk.window.m_region.reset();
    frame.SetShape(slot); // the window has that shape already
    EXPECT_FALSE(desk.window.m_region);
    frame.SetShape(frame.CreateMaskRgn('b', kAllOutside));
    frame.SetShape(slot); // the slot kept its region
    ASSERT_TRUE(desk.window.m_region);
    EXPECT_EQ(*desk.window.m_region, kMaskShape);
    EXPECT_FALSE(frame.m_hRgn);
}

TEST_F(Drawing, ColourKeyModeKeepsTheWindowLessTheShape) {
    app.m_bWin2000 = TRUE;
    frame.SetShape(frame.CreateMaskRgn('b', kMask));
    ASSERT_TRUE(frame.m_hRgn);
    EXPECT_EQ(*frame.m_hRgn, RectRegion::Difference(RectRegion(Rect{0, 0, 40, 8}), kMaskShape));
    EXPECT_EQ(frame.m_hRgn->Rects(), (Rects{{0, 0, 32, 1}, {33, 0, 40, 1}, {33, 1, 40, 2}, {0, 2, 40, 8}}));
    EXPECT_FALSE(desk.window.m_region);
}

TEST_F(Drawing, SlotsWithoutAShape) {
    for (BOOL win2000 : {FALSE, TRUE}) {
        app.m_bWin2000 = win2000;
        frame.FreeMaskRegions();
        frame.m_hRgn.reset();
        desk.window.m_region.reset();
        frame.SetShape(frame.CreateMaskRgn('b', kMask)); // slot 0: the current shape
        const auto region = desk.window.m_region;
        const auto keyArea = frame.m_hRgn;
        // A free slot, a slot number past the 16, and 0xFFFF change nothing.
        for (WORD s : {5, 16, 0xFFFF}) {
            frame.SetShape(s);
            EXPECT_EQ(desk.window.m_region, region) << s;
            EXPECT_EQ(frame.m_hRgn, keyArea) << s;
        }
        // A mask without inside pixels is an empty shape: nothing of the window stays visible.
        frame.SetShape(frame.CreateMaskRgn('b', kAllOutside));
        if (win2000) {
            ASSERT_TRUE(frame.m_hRgn);
            EXPECT_EQ(*frame.m_hRgn, RectRegion(Rect{0, 0, 40, 8}));
        } else {
            ASSERT_TRUE(desk.window.m_region);
            EXPECT_TRUE(desk.window.m_region->IsEmpty());
        }
    }
}

TEST_F(Drawing, DrawCellPaintsAtTheCellsUnsignedPosition) {
    constexpr Color kBack = 0xABCDEF;
    SoftCanvas canvas(40, 8, kBack);
    frame.DrawCell(kPicture); // no canvas yet: nothing happens
    frame.m_pCanvas = &canvas;
    frame.DrawCell(kPicture);
    const Color grey3 = MakeColor(3, 3, 3); // SolidCell8's grey ramp: index i is i
    EXPECT_EQ(canvas.Pixel(3, 4), grey3);
    EXPECT_EQ(canvas.Pixel(4, 5), MakeColor(2, 2, 2));
    EXPECT_EQ(canvas.Pixel(2, 4), kBack);
    EXPECT_EQ(canvas.Pixel(5, 4), kBack);

    const std::vector<Color> before = canvas.Pixels();
    frame.DrawCell(kFarRight); // wX 0xFFF0: far to the right of a 40-pixel canvas
    frame.DrawCell(kMissing);
    frame.DrawCell(kMask);                     // the run-length-free 1-bit mask is a picture too, at x = 20
    EXPECT_EQ(canvas.Pixel(20, 0), 0xFFFFFFu); // '1' pixels take the white entry
    EXPECT_EQ(canvas.Pixel(19, 0), kBack);
    std::vector<Color> masked = canvas.Pixels();
    for (int y = 0; y < 2; ++y)
        for (int x = 20; x < 40; ++x)
            masked[static_cast<std::size_t>(y) * 40 + x] = before[static_cast<std::size_t>(y) * 40 + x];
    EXPECT_EQ(masked, before);
}

TEST_F(Drawing, ReplacePaletteKeepsTheOldOneWhenTheCellHasNone) {
    SoftCanvas canvas(40, 8);
    frame.m_pCanvas = &canvas;
    frame.ReplacePalette(kMask);
    ASSERT_TRUE(frame.m_pPalette);
    ASSERT_EQ(frame.m_pPalette->entries.size(), 2u);
    EXPECT_EQ(frame.m_pPalette->entries[1], (PaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(canvas.SelectedPalette(), *frame.m_pPalette);

    const LogPalette kept = *frame.m_pPalette;
    frame.ReplacePalette(kTrueColour);
    frame.ReplacePalette(kMissing);
    ASSERT_TRUE(frame.m_pPalette);
    EXPECT_EQ(*frame.m_pPalette, kept);
    EXPECT_EQ(canvas.PaletteSelections(), 1);

    frame.ReplacePalette(kPicture);
    EXPECT_EQ(frame.m_pPalette->entries.size(), 256u);
    EXPECT_EQ(canvas.PaletteSelections(), 2);
}

} // namespace
} // namespace kp
