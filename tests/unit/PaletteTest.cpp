#include "chardata/Palette.h"

#include "PictureFixtures.h"

#include <gtest/gtest.h>

namespace kp {
namespace {

using build::Bytes;

TEST(CreateCellPalette, TakesEveryEntryOfTheFullTableAsRgb) {
    for (WORD bits : {1, 4, 8}) {
        build::Cell c;
        c.width = 1;
        c.height = 1;
        c.bitCount = bits;
        const std::size_t n = ColorTableEntries(bits);
        for (std::size_t i = 0; i < n; ++i) // blue, green, red, reserved
            c.colors.insert(c.colors.end(), {static_cast<BYTE>(i), static_cast<BYTE>(i ^ 0x55),
                                             static_cast<BYTE>(255 - i), 0xAB});
        c.bits = {0, 0, 0, 0};
        const test::DibBlob d = test::MakeDib(c, {}, 1); // biClrUsed plays no part
        LogPalette p;
        ASSERT_TRUE(CreateCellPalette(d.View(), 0, p)) << bits;
        EXPECT_EQ(p.version, 0x300);
        ASSERT_EQ(p.entries.size(), n) << bits;
        for (std::size_t i = 0; i < n; ++i) {
            const PaletteEntry expected{static_cast<BYTE>(255 - i), static_cast<BYTE>(i ^ 0x55),
                                        static_cast<BYTE>(i), 0};
            EXPECT_EQ(p.entries[i], expected) << bits << " entry " << i;
        }
    }
}

TEST(CreateCellPalette, OtherDepthsAndCutTablesGiveNone) {
    LogPalette p;
    p.entries = {{9, 9, 9, 0}};
    const LogPalette before = p;
    for (WORD bits : {0, 2, 16, 24, 32}) {
        build::Cell c = build::SolidCell24(1, 1, 1, 2, 3);
        c.bitCount = bits;
        EXPECT_FALSE(CreateCellPalette(test::MakeDib(c).View(), 0, p)) << bits;
    }
    test::DibBlob cut = test::MakeDib(build::SolidCell8(1, 1, 0));
    cut.bytes.resize(40 + 4 * 255); // the last entry is missing
    EXPECT_FALSE(CreateCellPalette(cut.View(), 0, p));
    EXPECT_FALSE(CreateCellPalette(cut.View(), cut.bytes.size() + 8, p));
    EXPECT_EQ(p, before);
}

} // namespace
} // namespace kp
