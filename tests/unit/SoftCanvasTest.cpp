#include "chardata/SoftCanvas.h"

#include "PictureFixtures.h"

#include <gtest/gtest.h>

#include <climits>

namespace kp {
namespace {

using build::Bytes;

constexpr Color kBack = 0x123456; // what the canvas held before: pixels left alone keep it

// A colour table whose entry i is red i * 16, green i, blue 255 - i.
Bytes Table(std::size_t n) {
    Bytes t;
    for (std::size_t i = 0; i < n; ++i)
        t.insert(t.end(), {static_cast<BYTE>(255 - i), static_cast<BYTE>(i), static_cast<BYTE>(i * 16), 0});
    return t;
}
constexpr Color Idx(int i) {
    return MakeColor(static_cast<BYTE>(i * 16), static_cast<BYTE>(i), static_cast<BYTE>(255 - i));
}

build::Cell Raw(std::int32_t w, std::int32_t h, WORD bits, DWORD compression, Bytes data) {
    build::Cell c;
    c.width = w;
    c.height = h;
    c.bitCount = bits;
    c.compression = compression;
    c.colors = Table(ColorTableEntries(bits));
    c.bits = std::move(data);
    return c;
}

// The canvas as rows of pixels, top first.
std::vector<std::vector<Color>> Rows(const SoftCanvas& cv) {
    std::vector<std::vector<Color>> rows(static_cast<std::size_t>(cv.Height()));
    for (int y = 0; y < cv.Height(); ++y)
        for (int x = 0; x < cv.Width(); ++x)
            rows[static_cast<std::size_t>(y)].push_back(cv.Pixel(x, y));
    return rows;
}

std::vector<std::vector<Color>> Draw(const test::DibBlob& d, int w, int h, int x = 0, int y = 0) {
    SoftCanvas cv(w, h, kBack);
    cv.DrawDib(x, y, d.Ref());
    return Rows(cv);
}

using Picture = std::vector<std::vector<Color>>;
constexpr Color B = kBack;

TEST(SoftCanvas, DrawsEveryDepthAsWindowsDoes) {
    struct Case {
        const char* what;
        test::DibBlob dib;
        int w, h;
        Picture expected;
    };
    const Bytes m565 = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    const Bytes swapped = {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0};         // red low byte, blue third
    const Bytes tenBit = {0, 0, 0xF0, 0x3F, 0, 0xFC, 0x0F, 0, 0xFF, 0x03, 0, 0}; // 10-10-10
    const Case cases[] = {
        {"1 bit, bottom-up",
         test::MakeDib(Raw(3, 2, 1, 0, {0xA0, 0, 0, 0, 0x40, 0, 0, 0})),
         3,
         2,
         {{Idx(0), Idx(1), Idx(0)}, {Idx(1), Idx(0), Idx(1)}}},
        {"4 bits, high nibble first",
         test::MakeDib(Raw(3, 1, 4, 0, {0x1F, 0x70, 0, 0})),
         3,
         1,
         {{Idx(1), Idx(15), Idx(7)}}},
        {"8 bits, padded rows",
         test::MakeDib(Raw(2, 2, 8, 0, {1, 2, 0, 0, 3, 200, 0, 0})),
         2,
         2,
         {{Idx(3), Idx(200)}, {Idx(1), Idx(2)}}},
        {"8 bits, top-down",
         test::MakeDib(Raw(2, -2, 8, 0, {1, 2, 0, 0, 3, 4, 0, 0})),
         2,
         2,
         {{Idx(1), Idx(2)}, {Idx(3), Idx(4)}}},
        {"16 bits 5-5-5",
         test::MakeDib(Raw(4, 1, 16, 0, {0x00, 0x7C, 0xE0, 0x03, 0x10, 0x00, 0x00, 0x80})),
         4,
         1,
         {{MakeColor(255, 0, 0), MakeColor(0, 255, 0), MakeColor(0, 0, 132), 0}}},
        {"16 bits with 5-6-5 fields",
         test::MakeDib(Raw(3, 1, 16, 3, {0xE0, 0x07, 0x20, 0x00, 0x00, 0x80, 0, 0}), m565),
         3,
         1,
         {{MakeColor(0, 255, 0), MakeColor(0, 4, 0), MakeColor(132, 0, 0)}}},
        {"24 bits blue green red",
         test::MakeDib(Raw(2, 1, 24, 0, {1, 2, 3, 40, 50, 60, 0, 0})),
         2,
         1,
         {{MakeColor(3, 2, 1), MakeColor(60, 50, 40)}}},
        {"32 bits, the fourth byte ignored",
         test::MakeDib(Raw(1, 1, 32, 0, {1, 2, 3, 99})),
         1,
         1,
         {{MakeColor(3, 2, 1)}}},
        {"32 bits with swapped fields",
         test::MakeDib(Raw(1, 1, 32, 3, {1, 2, 3, 0}), swapped),
         1,
         1,
         {{MakeColor(1, 2, 3)}}},
        {"32 bits with 10-bit fields keep the top 8 bits",
         test::MakeDib(Raw(2, 1, 32, 3, {0, 0, 0xF0, 0x3F, 0, 0, 0x00, 0x20}), tenBit),
         2,
         1,
         {{MakeColor(255, 0, 0), MakeColor(128, 0, 0)}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Draw(c.dib, c.w, c.h), c.expected) << c.what;
}

TEST(SoftCanvas, RunLengthBitmapsLeaveSkippedPixelsAlone) {
    // 4 x 3, 8 bits: a run, end of line, an absolute run (padded), end of line, a delta, a run
    // reaching the right edge, end of bitmap.
    const Bytes rle8 = {3, 1, 0, 0, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 2, 0, 6, 6, 0, 1, 9, 9};
    EXPECT_EQ(Draw(test::MakeDib(Raw(4, 3, 8, 1, rle8)), 4, 3),
              (Picture{{B, B, Idx(6), Idx(6)}, {Idx(2), Idx(3), Idx(4), B}, {Idx(1), Idx(1), Idx(1), B}}));

    // 5 x 2, 4 bits: alternating nibbles in a run, then an absolute run of three.
    const Bytes rle4 = {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1};
    EXPECT_EQ(Draw(test::MakeDib(Raw(5, 2, 4, 2, rle4)), 5, 2),
              (Picture{{Idx(3), Idx(4), Idx(5), B, B}, {Idx(1), Idx(2), Idx(1), Idx(2), Idx(1)}}));

    // A stream that ends without its end code, and one cut inside an absolute run.
    EXPECT_EQ(Draw(test::MakeDib(Raw(3, 1, 8, 1, {2, 7})), 3, 1), (Picture{{Idx(7), Idx(7), B}}));
    EXPECT_EQ(Draw(test::MakeDib(Raw(3, 1, 8, 1, {1, 7, 0, 5, 1})), 3, 1), (Picture{{Idx(7), B, B}}));
    // Lines past the top end the drawing.
    EXPECT_EQ(Draw(test::MakeDib(Raw(1, 1, 8, 1, {1, 5, 0, 0, 1, 6, 0, 2, 0, 9, 1, 7})), 1, 1),
              (Picture{{Idx(5)}}));
}

TEST(SoftCanvas, ClipsToTheCanvas) {
    const test::DibBlob d = test::MakeDib(Raw(2, 2, 8, 0, {1, 2, 0, 0, 3, 4, 0, 0}));
    EXPECT_EQ(Draw(d, 3, 3, 2, 2), (Picture{{B, B, B}, {B, B, B}, {B, B, Idx(3)}}));
    EXPECT_EQ(Draw(d, 2, 2, -1, -1), (Picture{{Idx(2), B}, {B, B}}));
    EXPECT_EQ(Draw(d, 3, 3, 3, 0), (Picture{{B, B, B}, {B, B, B}, {B, B, B}}));
}

TEST(SoftCanvas, PositionsAreUnsignedSoFFF0IsFarRight) {
    const test::DibBlob d = test::MakeDib(Raw(4, 1, 8, 0, {1, 2, 3, 4}));
    EXPECT_EQ(Draw(d, 8, 1, 0xFFF0, 0), (Picture{{B, B, B, B, B, B, B, B}}));
    SoftCanvas wide(0x10000, 1, kBack);
    wide.DrawDib(0xFFF0, 0, d.Ref());
    EXPECT_EQ(wide.Pixel(0xFFEF, 0), kBack);
    EXPECT_EQ(wide.Pixel(0xFFF0, 0), Idx(1));
    EXPECT_EQ(wide.Pixel(0xFFF3, 0), Idx(4));
    EXPECT_EQ(wide.Pixel(0xFFF4, 0), kBack);
    EXPECT_EQ(wide.Pixel(0, 0), kBack);
}

TEST(SoftCanvas, NeverReadsPastTheImage) {
    // Bits cut short: the bottom row whole, one byte of the top row.
    test::DibBlob cut = test::MakeDib(Raw(2, 2, 8, 0, {1, 2, 0, 0, 3, 4, 0, 0}));
    cut.bytes.resize(cut.bitsOffset + 5);
    EXPECT_EQ(Draw(cut, 2, 2), (Picture{{Idx(3), B}, {Idx(1), Idx(2)}}));

    // Sizes whose products overflow: only the bytes present are drawn.
    test::DibBlob huge = test::MakeDib(Raw(0x7FFFFFFF, INT_MIN, 32, 0, {1, 2, 3, 0, 4, 5, 6, 0}));
    EXPECT_EQ(Draw(huge, 3, 2), (Picture{{MakeColor(3, 2, 1), MakeColor(6, 5, 4), B}, {B, B, B}}));
    test::DibBlob tall = test::MakeDib(Raw(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, {1, 2, 3}));
    EXPECT_EQ(Draw(tall, 2, 2), (Picture{{B, B}, {B, B}}));

    // A colour table partly past the end: the missing entries are black.
    build::Cell c = Raw(2, 1, 8, 0, {});
    test::DibBlob shortTable = test::MakeDib(c);
    shortTable.bytes.resize(40 + 8);
    shortTable.bytes.insert(shortTable.bytes.end(), {1, 200, 0, 0});
    shortTable.bitsOffset = 48;
    EXPECT_EQ(Draw(shortTable, 2, 1), (Picture{{Idx(1), 0}}));
}

TEST(SoftCanvas, HeadersItCannotDrawLeaveTheCanvasAlone) {
    struct Case {
        const char* what;
        std::int32_t w, h;
        WORD bits;
        DWORD compression;
        DWORD biSize;
    };
    const Case cases[] = {
        {"core header size", 2, 1, 8, 0, 12},
        {"zero width", 0, 1, 8, 0, 40},
        {"negative width", -2, 1, 8, 0, 40},
        {"zero height", 2, 0, 8, 0, 40},
        {"two bits per pixel", 2, 1, 2, 0, 40},
        {"RLE8 on 4 bits", 2, 1, 4, 1, 40},
        {"RLE4 on 8 bits", 2, 1, 8, 2, 40},
        {"top-down RLE8", 2, -1, 8, 1, 40},
        {"bit fields on 24 bits", 2, 1, 24, 3, 40},
        {"mask run-length form", 2, 1, 1, 255, 40},
        {"JPEG", 2, 1, 0, 4, 40},
    };
    for (const Case& k : cases) {
        build::Cell c = Raw(k.w, k.h, k.bits, k.compression, Bytes(64, 0x11));
        c.biSize = k.biSize;
        EXPECT_EQ(Draw(test::MakeDib(c), 2, 1), (Picture{{B, B}})) << k.what;
    }
    // A header that does not fit in the image, and bits that start past its end.
    test::DibBlob d = test::MakeDib(Raw(2, 1, 8, 0, {1, 1, 0, 0}));
    test::DibBlob header = d;
    header.bytes.resize(39);
    EXPECT_EQ(Draw(header, 2, 1), (Picture{{B, B}}));
    d.bitsOffset = d.bytes.size() + 100;
    EXPECT_EQ(Draw(d, 2, 1), (Picture{{B, B}}));
}

TEST(SoftCanvas, UsedColoursFollowBiClrUsed) {
    // With biClrUsed 2, index 2 is past the table in use and draws black.
    const test::DibBlob d = test::MakeDib(Raw(3, 1, 8, 0, {0, 1, 2, 0}), {}, 2);
    EXPECT_EQ(Draw(d, 3, 1), (Picture{{Idx(0), Idx(1), 0}}));
}

TEST(SoftCanvas, FillsTextBoxesAndPalettes) {
    SoftCanvas cv(6, 3, kBack);
    cv.FillRect(Rect{-2, 1, 2, 9}, 0xFF);
    cv.FillRegion(RectRegion(Rect{4, 0, 9, 1}), 0xEE);
    EXPECT_EQ(Rows(cv),
              (Picture{{B, B, B, B, 0xEE, 0xEE}, {0xFF, 0xFF, B, B, B, B}, {0xFF, 0xFF, B, B, B, B}}));

    // Text is a placeholder box for now: 8 x 16 per byte before the first zero, framed in black.
    SoftCanvas text(20, 20, kBack);
    text.TextOut(1, 2, std::string("ab\0cd", 5));
    EXPECT_EQ(text.Pixel(1, 2), 0u);
    EXPECT_EQ(text.Pixel(5, 8), 0xFFFFFFu);
    EXPECT_EQ(text.Pixel(16, 17), 0u);
    EXPECT_EQ(text.Pixel(17, 8), kBack);

    LogPalette p;
    p.entries = {{1, 2, 3, 0}};
    cv.SelectPalette(p);
    EXPECT_EQ(cv.SelectedPalette(), p);
    EXPECT_EQ(cv.PaletteSelections(), 1);
}

TEST(SoftCanvas, PlaceholderTextFollowsTheSelectedFont) {
    const struct {
        int height;  // 0: the default font
        int cell;    // the placeholder's height
        int perByte; // and width per byte
    } cases[] = {{0, 16, 8}, {-24, 24, 12}, {10, 10, 5}, {-1, 1, 1}};
    for (const auto& c : cases) {
        SoftCanvas cv(40, 30, kBack);
        FontSpec f;
        f.height = c.height;
        cv.SelectFont(c.height ? &f : nullptr);
        EXPECT_EQ(cv.SelectedFont() != nullptr, c.height != 0);
        cv.TextOut(2, 3, "abc");
        const int right = 2 + 3 * c.perByte, bottom = 3 + c.cell;
        EXPECT_EQ(cv.Pixel(2, 3), 0u) << c.height;                  // the frame's corner
        EXPECT_EQ(cv.Pixel(right - 1, bottom - 1), 0u) << c.height; // the opposite one
        EXPECT_EQ(cv.Pixel(right, 3), kBack) << c.height;
        EXPECT_EQ(cv.Pixel(2, bottom), kBack) << c.height;
    }
    // A font taller than any canvas and a place far right neither overflow nor wrap.
    SoftCanvas cv(10, 10, kBack);
    FontSpec huge;
    huge.height = INT_MIN;
    cv.SelectFont(&huge);
    cv.TextOut(0xFFFF, 0, "abc");
    EXPECT_EQ(cv.Pixels(), SoftCanvas(10, 10, kBack).Pixels());
    cv.TextOut(-5, -5, "abc");
    EXPECT_EQ(cv.Pixel(9, 9), 0xFFFFFFu);
}

} // namespace
} // namespace kp
