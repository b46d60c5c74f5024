#include "render/FreeTypeText.h"

#include "chardata/SoftCanvas.h"

#include <gtest/gtest.h>

#include <set>

namespace kp {
namespace {

constexpr Color kBack = 0x123456;
constexpr Color kWhite = 0xFFFFFF;

const AnsiString kHello = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD"; // こんにちは
const AnsiString kMiddleDot = "\x81\x45";                             // ・
const AnsiString kMsGothic = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";
const AnsiString kMsPGothic = "\x82\x6C\x82\x72\x20\x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E";

FreeTypeTextRenderer& Renderer() {
    static FreeTypeTextRenderer r;
    return r;
}

// The pixels of a canvas that drew `text` at (x, y) with the shared renderer.
SoftCanvas Drawn(int w, int h, int x, int y, const AnsiString& text, const FontSpec* font = nullptr,
                 ITextRenderer* renderer = &Renderer()) {
    SoftCanvas cv(w, h, kBack);
    cv.SetTextRenderer(renderer);
    cv.SelectFont(font);
    cv.TextOut(x, y, text);
    return cv;
}

int Ink(const SoftCanvas& cv, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += cv.Pixel(x, y) == 0;
    return n;
}

TEST(FreeTypeText, DrawsBlackGlyphsOnAWhiteBoxOfTheTextExtent) {
    ASSERT_TRUE(Renderer().HasFont()) << "fonts-ipafont-gothic is not installed";
    const int x = 3, y = 4;
    const SoftCanvas cv = Drawn(100, 40, x, y, std::string("Ab\0cd", 5));
    const TextExtent e = Renderer().Measure("Ab", nullptr);
    EXPECT_EQ(e.height, FreeTypeTextRenderer::kDefaultCellHeight);
    ASSERT_GT(e.width, 8);
    for (int py = 0; py < cv.Height(); ++py)
        for (int px = 0; px < cv.Width(); ++px) {
            const bool inBox = px >= x && px < x + e.width && py >= y && py < y + e.height;
            const Color c = cv.Pixel(px, py);
            if (inBox) {
                EXPECT_TRUE(c == 0 || c == kWhite) << px << "," << py;
            } else {
                EXPECT_EQ(c, kBack) << px << "," << py;
            }
        }
    const int ink = Ink(cv, x, y, x + static_cast<int>(e.width), y + e.height);
    EXPECT_GT(ink, 20);
    EXPECT_LT(ink, e.width * e.height / 2);
}

TEST(FreeTypeText, HeightsMapAsTheFontMapperDoes) {
    struct Case {
        int height;
        int pixelsPerEm; // 0: not checked
        int cell;        // 0: not checked
    } cases[] = {
        {0, 0, 16},  // the default size
        {16, 0, 16}, // a cell height is the cell
        {40, 0, 40},
        {-16, 16, 17}, // a character height is the em; the cell adds the win descent
        {-1, 1, 0},
        {-65535, FreeTypeTextRenderer::kMaxPixelsPerEm, 0},
        {65535, FreeTypeTextRenderer::kMaxPixelsPerEm, 0},
    };
    for (const Case& c : cases) {
        FontSpec f;
        f.height = c.height;
        const FontMetrics m = Renderer().Metrics(&f);
        if (c.pixelsPerEm) {
            EXPECT_EQ(m.pixelsPerEm, c.pixelsPerEm) << c.height;
        }
        if (c.cell) {
            EXPECT_EQ(m.CellHeight(), c.cell) << c.height;
        }
        EXPECT_GT(m.ascent, m.descent) << c.height;
        EXPECT_GE(m.descent, 0) << c.height;
    }
}

TEST(FreeTypeText, JapaneseTextGetsItsOwnGlyphs) {
    FontSpec f{-16, 400, 128, kMsGothic};
    const SoftCanvas cv = Drawn(120, 30, 2, 1, kHello, &f);
    const SoftCanvas placeholder = Drawn(120, 30, 2, 1, kHello, &f, nullptr);
    EXPECT_NE(cv.Pixels(), placeholder.Pixels());
    // Five full-width characters of one em each; every one has ink and no two look alike.
    EXPECT_EQ(Renderer().Measure(kHello, &f).width, 5 * 16);
    const int cell = Renderer().Metrics(&f).CellHeight();
    std::set<std::vector<Color>> glyphs;
    for (int i = 0; i < 5; ++i) {
        std::vector<Color> g;
        for (int y = 1; y < 1 + cell; ++y)
            for (int x = 2 + 16 * i; x < 2 + 16 * (i + 1); ++x)
                g.push_back(cv.Pixel(x, y));
        EXPECT_GT(Ink(cv, 2 + 16 * i, 1, 2 + 16 * (i + 1), 1 + cell), 10) << i;
        glyphs.insert(g);
    }
    EXPECT_EQ(glyphs.size(), 5u);
}

TEST(FreeTypeText, BoldIsOnePixelWiderPerGlyphAndDarker) {
    FontSpec normal{-16, 400, 128, kMsGothic};
    FontSpec bold{-16, 700, 128, kMsGothic};
    EXPECT_EQ(Renderer().Measure(kHello, &bold).width, Renderer().Measure(kHello, &normal).width + 5);
    const SoftCanvas a = Drawn(120, 30, 0, 0, kHello, &normal);
    const SoftCanvas b = Drawn(120, 30, 0, 0, kHello, &bold);
    EXPECT_GT(Ink(b, 0, 0, 120, 30), Ink(a, 0, 0, 120, 30) * 5 / 4);
}

TEST(FreeTypeText, ProportionalFacesDrawNarrowerLatin) {
    FontSpec fixed{-16, 400, 128, kMsGothic};
    FontSpec proportional{-16, 400, 128, kMsPGothic};
    EXPECT_EQ(Renderer().Measure("iiii", &fixed).width, 4 * 8);
    EXPECT_LT(Renderer().Measure("iiii", &proportional).width, 4 * 8);
}

TEST(FreeTypeText, FaceNamesThatAskForProportionalGlyphs) {
    const struct {
        AnsiString face;
        bool proportional;
    } cases[] = {
        {kMsPGothic, true},
        {"\x82\x6C\x82\x72\x20\x82\x6F\x96\xBE\x92\xA9", true}, // ＭＳ Ｐ明朝
        {"MS PGothic", true},
        {"ms ui gothic", true},
        {kMsGothic, false},
        {"MS Gothic", false},
        {"", false},
        {"\x83\x82\x6F", false}, // a trail byte 0x82 followed by 'o' is not a full-width P
        {"\x82", false},         // half a character
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsProportionalFaceName(c.face), c.proportional) << c.face;
}

// Drawing at any place gives the pixels of a larger canvas cut to the smaller one.
TEST(FreeTypeText, ClipsToTheCanvasLikeACutOfALargerOne) {
    constexpr int kW = 60, kH = 24, kMargin = 200;
    FontSpec bold{-20, 700, 128, kMsGothic};
    const struct {
        int x, y;
    } places[] = {{0, 0}, {-7, -5}, {-45, 3}, {50, 10}, {kW - 1, kH - 1}, {-150, -10}, {10, -19}};
    for (const auto& p : places) {
        const SoftCanvas small = Drawn(kW, kH, p.x, p.y, kHello, &bold);
        const SoftCanvas large =
            Drawn(kW + 2 * kMargin, kH + 2 * kMargin, p.x + kMargin, p.y + kMargin, kHello, &bold);
        int differing = 0;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                differing += small.Pixel(x, y) != large.Pixel(x + kMargin, y + kMargin);
        EXPECT_EQ(differing, 0) << p.x << "," << p.y;
    }
    // Far off the canvas nothing is drawn, and a far-right place does not wrap.
    EXPECT_EQ(Drawn(kW, kH, 0xFFFF, 0, kHello, &bold).Pixels(), SoftCanvas(kW, kH, kBack).Pixels());
    EXPECT_EQ(Drawn(kW, kH, -5000, 0, kHello, &bold).Pixels(), SoftCanvas(kW, kH, kBack).Pixels());
    EXPECT_EQ(Drawn(kW, kH, 0, kH, kHello, &bold).Pixels(), SoftCanvas(kW, kH, kBack).Pixels());
}

TEST(FreeTypeText, BytesWithoutACharacterShowTheDefaultCharacter) {
    const AnsiString bad[] = {
        "\x85\x40", // an unassigned double-byte code
        "\x82",     // a lead byte with nothing after it
    };
    const SoftCanvas dot = Drawn(40, 20, 0, 0, kMiddleDot);
    for (const AnsiString& text : bad) {
        EXPECT_EQ(Renderer().Measure(text, nullptr).width, Renderer().Measure(kMiddleDot, nullptr).width);
        EXPECT_EQ(Drawn(40, 20, 0, 0, text).Pixels(), dot.Pixels());
    }
    // Half-width katakana and the backslash of code page 932 are single bytes.
    EXPECT_EQ(Renderer().Measure("\xB1\x5C", nullptr).width, Renderer().Measure("AB", nullptr).width);
}

TEST(FreeTypeText, WithoutFontFilesTheCanvasDrawsItsPlaceholder) {
    FreeTypeTextRenderer none(JapaneseFonts{"/nonexistent/ipag.ttf", ""});
    EXPECT_FALSE(none.HasFont());
    EXPECT_EQ(none.Measure("ab", nullptr).width, 0);
    std::vector<Color> raw(30 * 20, kBack);
    EXPECT_FALSE(none.DrawText(PixelView{raw.data(), 30, 20}, 0, 0, "ab", nullptr));
    EXPECT_EQ(raw, std::vector<Color>(30 * 20, kBack));
    EXPECT_EQ(Drawn(30, 20, 1, 1, "ab", nullptr, &none).Pixels(),
              Drawn(30, 20, 1, 1, "ab", nullptr, nullptr).Pixels());
}

} // namespace
} // namespace kp
