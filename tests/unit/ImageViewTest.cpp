#include "chardata/ImageView.h"
#include "engine/ScriptReader.h"

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

// The script reader's range test is a subtraction: neither a negative position (a jump to
// 0xFFFFFFFF) nor a huge count can wrap a sum back into the script, in any build.
TEST(ScriptReader, HasCannotWrap) {
    const BYTE bytes[16] = {};
    const ScriptReader r(bytes, sizeof bytes);
    const std::size_t huge = std::numeric_limits<std::size_t>::max();
    struct Case {
        int pos;
        std::size_t n;
        bool has;
    };
    const Case cases[] = {
        {0, 16, true},  {15, 1, true},    {16, 0, true},    {16, 1, false},      {-1, 1, false},
        {-1, 0, false}, {1, huge, false}, {0, huge, false}, {INT_MAX, 1, false}, {INT_MIN, 16, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(r.Has(c.pos, c.n), c.has) << c.pos << " " << c.n;
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
