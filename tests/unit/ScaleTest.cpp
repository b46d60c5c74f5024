// The character at a whole multiple of its size: the scale from the DPI and the "Scale" setting,
// and the window, shape, paint, placement, drag and script cursor on the simulated desktop at
// monitors of different DPI.
#include "ScriptFixtures.h"

#include "app/CharacterApp.h"
#include "app/MainFrame.h"
#include "app/Scale.h"
#include "sim/SimDesktop.h"

#include <gtest/gtest.h>

#include <climits>

namespace kp {
namespace {

using test::Script;

TEST(Scale, EachDpiStep) {
    const std::pair<int, int> cases[] = {{-96, 1}, {0, 1},   {96, 1},  {120, 1},       {144, 1}, {167, 1},
                                         {168, 2}, {192, 2}, {263, 2}, {264, 3},       {288, 3}, {359, 3},
                                         {360, 4}, {384, 4}, {960, 4}, {2147483647, 4}};
    for (const auto& [dpi, scale] : cases)
        EXPECT_EQ(ScaleForDpi(dpi), scale) << dpi << " DPI";
}

TEST(Scale, FixedSettingsWinAndOutOfRangeOnesAreLimited) {
    struct Case {
        int setting;
        int dpi;
        int scale;
    };
    const Case cases[] = {{0, 192, 2}, {1, 192, 1}, {2, 96, 2},   {3, 96, 3},    {4, 0, 4},
                          {5, 96, 4},  {99, 96, 4}, {-1, 192, 2}, {-1000, 96, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(ChooseScale(c.setting, c.dpi), c.scale) << c.setting << " at " << c.dpi;
}

TEST(Scale, RegionsGrowByWholePixelsAndCoordinatesShrinkDownward) {
    const RectRegion shape = RectRegion::Union(RectRegion(Rect{1, 0, 3, 1}), RectRegion(Rect{0, 1, 2, 3}));
    const RectRegion expected = RectRegion::Union(RectRegion(Rect{2, 0, 6, 2}), RectRegion(Rect{0, 2, 4, 6}));
    EXPECT_EQ(ScaleRegion(shape, 2), expected);
    EXPECT_EQ(ScaleRegion(shape, 1), shape);
    EXPECT_TRUE(ScaleRegion(RectRegion(), 3).IsEmpty());
    EXPECT_EQ(UnscaleCoordinate(7, 2), 3);
    EXPECT_EQ(UnscaleCoordinate(-1, 2), -1);
    EXPECT_EQ(UnscaleCoordinate(-4, 3), -2);
    EXPECT_EQ(UnscaleCoordinate(INT_MIN, 4), INT_MIN / 4);
}

// A 32 x 32 character with a 2 x 2 mask at the top left, on a target at (100, 200)-(500, 500) of
// the left monitor, beside a 192 DPI monitor to the right.
struct ScaledCharacter {
    sim::SimDesktop desk;
    CCharacterApp app{desk.AllServices()};
    CMainFrame frame{app};
    WindowId target = 0;

    // `setting`: the stored "Scale", -1 for none.
    explicit ScaledCharacter(int primaryDpi, int setting = -1, BOOL win2000 = TRUE, Script s = Script()) {
        desk.desktop.m_monitors = {Rect{0, 0, 1024, 768}, Rect{1024, 0, 3072, 1536}};
        desk.desktop.m_monitorDpi = {primaryDpi, 192};
        if (setting != -1)
            desk.settings.WriteInt("Kelpo32", "Scale", setting);
        s.Op(OP_NEWSHAPE).Byte('b').Word(2).Op(OP_SETSHAPE).Word(0x8000).Wait(10);
        build::Character c = test::ScriptCharacter({s});
        c.cells.push_back(build::MaskCell1({"0011", "0011"}));
        desk.files.AddFile("C:\\c.kp", build::BuildCharacter(c));
        app.m_strDataName = "C:\\c.kp";
        app.m_bHaveDataFile = TRUE;
        app.m_bWin2000 = win2000;
        sim::SimDesktopWindows::Window w;
        w.title = "Editor";
        w.rect = Rect{100, 200, 500, 500};
        target = desk.desktop.Add(w);
        desk.desktop.SetForeground(target);
        created = frame.CreateCharacterWindow();
    }
    Rect WindowRect() { return desk.desktop.Find(desk.window.m_id)->rect; }
    bool created = false;
};

// A window DC that records the scale of the copy and the region filled.
class ScaleRecordingDc : public IWindowDc {
public:
    void CopyFrame(ICanvas& frame, int s) override {
        copied =
            std::to_string(frame.Width()) + "x" + std::to_string(frame.Height()) + " x" + std::to_string(s);
    }
    void FillRegion(const RectRegion& region, Color) override { filled = region; }
    std::string copied;
    RectRegion filled;
};

TEST(MainFrameScale, TheWindowItsShapeAndItsPlaceFollowTheDpiAndTheSetting) {
    struct Case {
        int dpi;
        int setting; // -1: none stored
        int side;
        int x; // position 50 on the target: 100 + (400 - side) / 2
    };
    const Case cases[] = {{96, -1, 32, 284}, {192, -1, 64, 268}, {192, 1, 32, 284}, {96, 3, 96, 252},
                          {96, 9, 128, 236}, {192, -2, 64, 268}, {288, 0, 96, 252}};
    for (const Case& c : cases) {
        ScaledCharacter ch(c.dpi, c.setting);
        ASSERT_TRUE(ch.created);
        const std::string label = std::to_string(c.dpi) + " DPI, Scale " + std::to_string(c.setting);
        const std::string side = std::to_string(c.side);
        EXPECT_EQ(ch.desk.window.m_calls.front(), "Create Kelpo32 " + side + "x" + side + " layered")
            << label;
        EXPECT_EQ(ch.desk.window.m_calls[1], "CreateFrame 32x32") << label; // the frame keeps its size
        ch.frame.OnTimer(kPlacementTimer);
        EXPECT_EQ(ch.WindowRect(), (Rect{c.x, 200, c.x + c.side, 200 + c.side})) << label;
        // The paint repeats every pixel and fills the window less the 2 x 2 mask, both scaled.
        ScaleRecordingDc dc;
        ch.frame.OnPaint(dc);
        const int k = c.side / 32;
        EXPECT_EQ(dc.copied, "32x32 x" + std::to_string(k)) << label;
        EXPECT_EQ(dc.filled, RectRegion::Difference(RectRegion(Rect{0, 0, c.side, c.side}),
                                                    RectRegion(Rect{0, 0, 2 * k, 2 * k})))
            << label;
    }
}

TEST(MainFrameScale, MovingToAMonitorOfAnotherDpiRescalesAtOnce) {
    ScaledCharacter ch(96);
    ch.frame.OnTimer(kPlacementTimer);
    ASSERT_EQ(ch.frame.m_nScale, 1);
    // The target goes to the 192 DPI monitor: the first placement there finds the new DPI, the
    // window doubles in place and is placed again with its new width.
    ch.desk.desktop.Find(ch.target)->rect = Rect{1200, 400, 2000, 900};
    ch.desk.window.m_repaints = 0;
    ch.frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(ch.frame.m_nScale, 2);
    EXPECT_EQ(ch.WindowRect(), (Rect{1568, 400, 1632, 464})); // 1200 + (800 - 64) / 2
    EXPECT_EQ(ch.desk.window.m_repaints, 1);
    // And back.
    ch.desk.desktop.Find(ch.target)->rect = Rect{100, 200, 500, 500};
    ch.frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(ch.frame.m_nScale, 1);
    EXPECT_EQ(ch.WindowRect(), (Rect{284, 200, 316, 232}));
    // Standing still asks nothing and changes nothing.
    ch.desk.desktop.m_calls.clear();
    ch.frame.OnTimer(kPlacementTimer);
    EXPECT_TRUE(ch.desk.desktop.m_calls.empty());
}

TEST(MainFrameScale, ADpiChangeMessageDuringThePlacementIsTakenAfterIt) {
    ScaledCharacter ch(96);
    // As Windows does: the message arrives inside the call that moves the window.
    ch.desk.desktop.m_afterSetWindowPos = [&](WindowId w) {
        if (w == ch.desk.window.m_id)
            ch.frame.OnDpiChanged(ch.desk.desktop.MonitorDpi(w));
    };
    ch.desk.desktop.Find(ch.target)->rect = Rect{1200, 400, 2000, 900};
    ch.frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(ch.frame.m_nScale, 2);
    EXPECT_EQ(ch.WindowRect(), (Rect{1568, 400, 1632, 464}));
    EXPECT_EQ(ch.frame.m_nLastX, 1568);
}

TEST(MainFrameScale, ADpiChangeMessageRescalesAndReshapesInRegionMode) {
    ScaledCharacter ch(96, -1, FALSE);
    ch.frame.OnTimer(kPlacementTimer);
    ASSERT_TRUE(ch.desk.window.m_region.has_value());
    EXPECT_EQ(*ch.desk.window.m_region, RectRegion(Rect{0, 0, 2, 2}));
    ch.frame.OnDpiChanged(288);
    EXPECT_EQ(ch.frame.m_nScale, 3);
    EXPECT_EQ(*ch.desk.window.m_region, RectRegion(Rect{0, 0, 6, 6}));
    EXPECT_EQ(ch.WindowRect(), (Rect{252, 200, 348, 296}));
    ScaleRecordingDc dc;
    ch.frame.OnPaint(dc);
    EXPECT_EQ(dc.copied, "32x32 x3");
    EXPECT_TRUE(dc.filled.IsEmpty()); // the region shapes the window; nothing is filled
    // A fixed setting ignores the DPI.
    ScaledCharacter fixed(96, 2, FALSE);
    fixed.frame.OnDpiChanged(384);
    EXPECT_EQ(fixed.frame.m_nScale, 2);
}

TEST(MainFrameScale, WithoutAnyDpiFacilityTheCharacterKeepsItsSize) {
    for (const int setting : {-1, 2}) {
        ScaledCharacter ch(192, setting);
        ch.desk.window.m_dpiUnknown = true;
        ch.frame.OnDpiChanged(0);
        ch.frame.OnTimer(kPlacementTimer);
        // Created at 192 DPI, then the system cannot tell: 1x, unless fixed.
        EXPECT_EQ(ch.frame.m_nScale, setting == 2 ? 2 : 1);
    }
}

TEST(MainFrameScale, HeightDragAndScriptCursorScale) {
    Script s;
    s.Op(OP_OFFSETY).Word(12);
    ScaledCharacter ch(192, -1, TRUE, s);
    ch.frame.OnTimer(kPlacementTimer);
    EXPECT_EQ(ch.WindowRect().top, 200 - 24);
    // 34 px right over a free width of 400 - 64: 10 % (at 1x, 400 - 32, it would be 9 %).
    ch.desk.window.QueueDrag(Point{34, 0});
    ch.frame.OnLButtonDown(0, Point{5, 5});
    ch.frame.OnMouseMove(0, Point{6, 5});
    EXPECT_EQ(ch.frame.m_nPosition, 60);
    // The script sees the cursor in the character's own pixels.
    ch.desk.window.m_cursor = Point{-3, 9};
    EXPECT_EQ(ch.frame.ScriptHost().CursorInClient(), (Point{-2, 4}));
}

} // namespace
} // namespace kp
