#include "chardata/MaskRgn.h"

#include "PictureFixtures.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using build::Bytes;
using Rects = std::vector<Rect>;

// Builds the shape of a stand-alone bitmap and gives its rectangles; `built` receives the result.
Rects ShapeOf(const test::DibBlob& d, const build::Cell& c, BOOL* built = nullptr) {
    CMaskRgn m;
    const BOOL r = m.BuildFromBits(d.View(), 0, d.bitsOffset, c.width, c.height, c.bitCount);
    if (built)
        *built = r;
    EXPECT_EQ(r != FALSE, m.HasRegion());
    return m.Region().Rects();
}

Rects ShapeOf(const build::Cell& c, BOOL* built = nullptr) {
    return ShapeOf(test::MakeDib(c), c, built);
}

// ---------------------------------------------------------------------------------------------
// Run expansion

TEST(ExpandMaskRuns, FollowsTheRunTableAndStopsWhenFull) {
    struct Case {
        const char* what;
        Bytes src;
        std::size_t destLen;
        Bytes expected;
    };
    const Case cases[] = {
        {"inside run", {0xCC, 3}, 8, {0, 0, 0}},
        {"escaped inside marker", {0xCC, 0}, 8, {0xCC}},
        {"outside run", {0x33, 2}, 8, {0xFF, 0xFF}},
        {"escaped outside marker", {0x33, 0}, 8, {0x33}},
        {"plain bytes", {0x12, 0x00, 0xFF, 0x80}, 8, {0x12, 0x00, 0xFF, 0x80}},
        {"mixed", {0x0F, 0xCC, 2, 0x33, 0, 0x33, 1}, 8, {0x0F, 0, 0, 0x33, 0xFF}},
        {"overlong run cut at the end", {0xCC, 255}, 4, {0, 0, 0, 0}},
        {"bytes after a full destination unread", {0x33, 3, 0x44, 0x55}, 3, {0xFF, 0xFF, 0xFF}},
        {"marker without its count at the end", {0x12, 0xCC}, 8, {0x12}},
        {"empty source", {}, 8, {}},
    };
    for (const Case& c : cases) {
        Bytes dest(c.destLen, 0xEE);
        const std::size_t n = ExpandMaskRuns(dest.data(), dest.size(), c.src.data(), c.src.size());
        EXPECT_EQ(Bytes(dest.begin(), dest.begin() + static_cast<std::ptrdiff_t>(n)), c.expected) << c.what;
    }
}

TEST(ExpandMaskRuns, ReadingPieceByPieceContinuesRunsAcrossPieces) {
    const Bytes src{0xCC, 5, 0x33, 0, 0x33, 4, 0x7E};
    Bytes whole(11);
    ASSERT_EQ(ExpandMaskRuns(whole.data(), whole.size(), src.data(), src.size()), 11u);
    MaskRunReader reader(src.data(), src.size());
    Bytes pieces;
    BYTE buf[3];
    for (std::size_t n; (n = reader.Read(buf, sizeof buf)) != 0;)
        pieces.insert(pieces.end(), buf, buf + n);
    EXPECT_EQ(pieces, whole);
}

// ---------------------------------------------------------------------------------------------
// Pixel addressing

TEST(MaskRgn, OneBitRowsAreStridedTo32BitsAndReadBottomUp) {
    // 33 pixels: each stored row is 8 bytes, and pixel 32 is the top bit of a row's fifth byte.
    const std::string outside32(32, '1');
    const build::Cell c = build::MaskCell1({outside32 + "0", std::string(33, '0'), std::string(33, '1')});
    ASSERT_EQ(c.bits.size(), 3u * 8u);
    // The top picture row is the last stored row; its fifth byte holds pixel 32.
    EXPECT_EQ(c.bits[2 * 8 + 4] & 0x80, 0);
    EXPECT_EQ(c.bits[2 * 8 + 3], 0xFF);
    EXPECT_EQ(ShapeOf(c), (Rects{{32, 0, 33, 1}, {0, 1, 33, 2}}));

    CMaskRgn m;
    const test::DibBlob d = test::MakeDib(c);
    m.BuildFromBits(d.View(), 0, d.bitsOffset, 33, 3, 1);
    EXPECT_EQ(m.m_nStride, 64);
    EXPECT_EQ(m.m_nHeight, 3);
    EXPECT_EQ(m.m_nBitCount, 1);
}

TEST(MaskRgn, RunsAndRows) {
    struct Case {
        const char* what;
        std::vector<std::string> rows;
        Rects expected;
    };
    const Case cases[] = {
        // MaskCell1 leaves the padding bits 0 (inside); a row still ends at the width.
        {"padding past the width is never inside", {"110"}, {{2, 0, 3, 1}}},
        {"run reaching the right edge", {"1100", "0111"}, {{2, 0, 4, 1}, {0, 1, 1, 2}}},
        {"several runs in a row", {"0101100"}, {{0, 0, 1, 1}, {2, 0, 3, 1}, {5, 0, 7, 1}}},
        {"a row without inside pixels adds nothing", {"00", "11", "00"}, {{0, 0, 2, 1}, {0, 2, 2, 3}}},
        {"equal rows make one band", {"1001", "1001", "1001"}, {{1, 0, 3, 3}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShapeOf(build::MaskCell1(c.rows)), c.expected) << c.what;
}

TEST(MaskRgn, AllOutsideGivesNoRegion) {
    BOOL built = TRUE;
    EXPECT_TRUE(ShapeOf(build::MaskCell1({"111", "111"}), &built).empty());
    EXPECT_FALSE(built);
    EXPECT_TRUE(ShapeOf(build::Cell4({"1234", "fedc"}), &built).empty());
    EXPECT_FALSE(built);
}

TEST(MaskRgn, FourBitPixelsAreHighThenLowNibble) {
    // 16 pixels wide: pixels 0 and 1 are the high and low halves of a row's first byte.
    const build::Cell c = build::Cell4({"0f00000000000000", "f0ffffffffffff00"});
    EXPECT_EQ(c.bits[8], 0x0F); // the top row is stored second
    EXPECT_EQ(ShapeOf(c), (Rects{{0, 0, 1, 1}, {2, 0, 16, 1}, {1, 1, 2, 2}, {14, 1, 16, 2}}));
}

TEST(MaskRgn, FourBitRowsOfOtherWidthsUseThePaddedRowLength) {
    // 6 pixels: 3 bytes of pixels in a 4-byte stored row. The shape follows the picture.
    const build::Cell c = build::Cell4({"000fff", "fff000", "0f0f0f"});
    EXPECT_EQ(ShapeOf(c), (Rects{{0, 0, 3, 1}, {3, 1, 6, 2}, {0, 2, 1, 3}, {2, 2, 3, 3}, {4, 2, 5, 3}}));
}

TEST(MaskRgn, DeeperCellsTakeAllZeroPixelsAsInside) {
    build::Cell c8 = build::SolidCell8(4, 2, 5);
    c8.bits[0] = 0; // bottom row, pixel 0
    c8.bits[1] = 0;
    EXPECT_EQ(ShapeOf(c8), (Rects{{0, 1, 2, 2}}));

    build::Cell c24 = build::SolidCell24(3, 1, 0, 0, 1);
    c24.bits[3] = 0; // pixel 1 becomes black
    c24.bits[4] = 0;
    c24.bits[5] = 0;
    EXPECT_EQ(ShapeOf(c24), (Rects{{1, 0, 2, 1}}));
}

TEST(MaskRgn, RunLengthMasksExpandToThePlainShape) {
    const build::Cell plain =
        build::MaskCell1({"1111000011110000111100001111000011", "0000000000000000000000000000000000",
                          "1111111111111111111111111111111111", "0110011001100110011001100110011001"});
    build::Cell runs = plain;
    runs.compression = 255;
    runs.bits = build::CompressMaskRuns(plain.bits);
    EXPECT_LT(runs.bits.size(), plain.bits.size());
    EXPECT_EQ(ShapeOf(runs), ShapeOf(plain));

    // Runs describing more bytes than the rows hold stop at (stride x height) / 8 bytes.
    build::Cell overlong = runs;
    overlong.bits.insert(overlong.bits.end(), {0xCC, 255, 0xCC, 255});
    EXPECT_EQ(ShapeOf(overlong), ShapeOf(plain));
}

TEST(MaskRgn, BitsPastTheEndOfTheImageAreOutside) {
    // Three rows of an all-inside 8-pixel mask, 4 bytes each; the image ends inside the second
    // stored row, after its first byte: the bottom row and 8 pixels of the middle one remain.
    const build::Cell c = build::MaskCell1({"00000000", "00000000", "00000000"});
    test::DibBlob d = test::MakeDib(c);
    d.bytes.resize(d.bitsOffset + 5);
    EXPECT_EQ(ShapeOf(d, c), (Rects{{0, 1, 8, 3}}));
    d.bytes.resize(d.bitsOffset + 4);
    EXPECT_EQ(ShapeOf(d, c), (Rects{{0, 2, 8, 3}}));
    d.bytes.resize(d.bitsOffset);
    EXPECT_TRUE(ShapeOf(d, c).empty());

    // A run-length mask cut short: the rows its bytes reach are there, the rest is outside.
    build::Cell runs = c;
    runs.compression = 255;
    runs.bits = {0xCC, 6}; // one and a half rows
    EXPECT_EQ(ShapeOf(runs), (Rects{{0, 1, 8, 3}}));
}

TEST(MaskRgn, HugeHeightsReadOnlyTheRowsTheImageHolds) {
    // 2^31 - 1 rows claimed, two stored: only the bottom two picture rows exist ("10" is stored
    // first and becomes the bottom row).
    build::Cell c = build::MaskCell1({"01", "10"});
    c.height = 0x7FFFFFFF;
    EXPECT_EQ(ShapeOf(c), (Rects{{0, 0x7FFFFFFD, 1, 0x7FFFFFFE}, {1, 0x7FFFFFFE, 2, 0x7FFFFFFF}}));
    c.compression = 255;
    c.bits = build::CompressMaskRuns(c.bits);
    EXPECT_EQ(ShapeOf(c), (Rects{{0, 0x7FFFFFFD, 1, 0x7FFFFFFE}, {1, 0x7FFFFFFE, 2, 0x7FFFFFFF}}));
}

TEST(MaskRgn, UnreadableMasksGiveNoRegion) {
    const build::Cell base = build::MaskCell1({"00", "00"});
    struct Case {
        const char* what;
        std::int32_t width;
        std::int32_t height;
        WORD bitCount;
        DWORD compression;
    };
    const Case cases[] = {
        {"zero width", 0, 2, 1, 0},
        {"negative height", 2, -2, 1, 0},
        {"zero height", 2, 0, 1, 0},
        {"width whose 16-bit stride wraps", kMaxMaskWidth1 + 1, 2, 1, 0},
        {"two bits per pixel", 2, 2, 2, 0},
        {"run-length 8-bit picture", 2, 2, 8, 1},
        {"run-length 4-bit picture", 2, 2, 4, 2},
        {"24 bits with bit fields", 2, 2, 24, 3},
    };
    for (const Case& k : cases) {
        build::Cell c = base;
        c.width = k.width;
        c.height = k.height;
        c.bitCount = k.bitCount;
        c.compression = k.compression;
        BOOL built = TRUE;
        EXPECT_TRUE(ShapeOf(c, &built).empty()) << k.what;
        EXPECT_FALSE(built) << k.what;
    }
}

} // namespace
} // namespace kp
