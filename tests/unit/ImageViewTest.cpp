#include "chardata/ImageView.h"

#include <gtest/gtest.h>

#include <limits>

namespace kp {
namespace {

TEST(ImageView, ContainsCannotOverflow) {
    const BYTE bytes[8] = {};
    ImageView v(bytes, 8);
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    EXPECT_TRUE(v.Contains(0, 8));
    EXPECT_TRUE(v.Contains(8, 0));
    EXPECT_FALSE(v.Contains(9, 0));
    EXPECT_FALSE(v.Contains(4, huge));
    EXPECT_FALSE(v.Contains(huge, 2));
    EXPECT_FALSE(v.Contains(7, 2));
}

TEST(ImageView, ReadsPastTheEndGiveZeroAndClearOk) {
    const BYTE bytes[] = {0x34, 0x12, 0x78, 0x56};
    ImageView v(bytes, 4);
    bool ok = true;
    EXPECT_EQ(v.U16(0, &ok), 0x1234);
    EXPECT_EQ(v.U32(0, &ok), 0x56781234u);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.U16(3, &ok), 0);
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_EQ(v.U32(1, &ok), 0u);
    EXPECT_FALSE(ok);
}

TEST(ByteReader, StickyFailure) {
    const BYTE bytes[] = {1, 2, 3};
    ByteReader r(ImageView(bytes, 3), 0);
    EXPECT_EQ(r.U16(), 0x0201);
    EXPECT_EQ(r.U16(), 0);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U8(), 0); // stays failed even though a byte is left
    EXPECT_EQ(r.Pos(), 2u);
}

} // namespace
} // namespace kp
