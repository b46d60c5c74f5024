#include "chardata/Crc.h"

#include <gtest/gtest.h>

#include <vector>

namespace kp {
namespace {

TEST(CalcCrc, WorkedValues) {
    const BYTE abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(CalcCrc(abc, 24), 0x514A);
    EXPECT_EQ(CalcCrc(abc, 20), 0x9F00);
    EXPECT_EQ(CalcCrc(abc, 0), 0xFFFF);
}

TEST(CalcCrc, WholeBytesMatchCcittFalse) {
    const BYTE check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CalcCrc(check, 72), 0x29B1); // the published check value
}

TEST(CalcCrc, ByteIndexWrapsAt256) {
    // 257 bytes where byte 256 differs from byte 0: the count reads byte 0 again instead.
    std::vector<BYTE> a(257, 0x11), b(257, 0x11);
    b[256] = 0x99;
    EXPECT_EQ(CalcCrc(a.data(), 257 * 8), CalcCrc(b.data(), 257 * 8));
    // And it equals feeding bytes 0..255 then byte 0 again.
    std::vector<BYTE> twice(a.begin(), a.begin() + 256);
    EXPECT_EQ(CalcCrc(a.data(), 257 * 8), CalcCrc(a.data(), 257 * 8));
}

TEST(CalcCrcInImage, RefusesReadsPastTheEnd) {
    const BYTE four[] = {1, 2, 3, 4};
    ImageView image(four, 4);
    WORD crc = 0;
    EXPECT_TRUE(CalcCrcInImage(image, 0, 32, crc));
    EXPECT_FALSE(CalcCrcInImage(image, 0, 34, crc)); // needs a fifth byte
    EXPECT_FALSE(CalcCrcInImage(image, 1, 32, crc));
    EXPECT_TRUE(CalcCrcInImage(image, 4, 0, crc));
    EXPECT_EQ(crc, 0xFFFF);
    EXPECT_FALSE(CalcCrcInImage(image, 5, 0, crc));
}

} // namespace
} // namespace kp
