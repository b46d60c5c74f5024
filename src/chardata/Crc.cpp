#include "chardata/Crc.h"

#include <algorithm>

namespace kp {

WORD CalcCrc(const BYTE* d, WORD bits) {
    unsigned r = 0xFFFF;
    for (unsigned j = 0; j < bits; ++j) {
        const unsigned bit = (d[(j / 8) % 256] >> (7 - j % 8)) & 1u;
        const unsigned f = bit ^ ((r >> 15) & 1u);
        r = (r << 1) & 0xFFFFu;
        if (f)
            r ^= 0x1021u;
    }
    return static_cast<WORD>(r);
}

std::size_t CrcBytesRead(WORD bits) { return std::min<std::size_t>(256, (std::size_t{bits} + 7) / 8); }

bool CalcCrcInImage(const ImageView& image, std::size_t off, WORD bits, WORD& crc) {
    if (!image.Contains(off, CrcBytesRead(bits)))
        return false;
    crc = CalcCrc(image.At(off), bits);
    return true;
}

} // namespace kp
