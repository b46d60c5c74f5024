// Stand-alone bitmaps for the picture and shape tests: a BITMAPINFOHEADER, its full colour
// table and its bits in one block, laid out as a cell record holds them from offset 18 on.
#pragma once

#include "Builder.h"
#include "chardata/DataFile.h"
#include "platform/Canvas.h"

namespace kp::test {

struct DibBlob {
    build::Bytes bytes;
    std::size_t bitsOffset = 0;
    DibRef Ref() const { return DibRef{bytes.data(), bytes.size(), 0, bitsOffset}; }
    ImageView View() const { return ImageView(bytes.data(), bytes.size()); }
};

// `extra` bytes (BI_BITFIELDS masks) go between the header and the colour table.
inline DibBlob MakeDib(const build::Cell& c, const build::Bytes& extra = {}, DWORD clrUsed = 0) {
    DibBlob d;
    build::Bytes& b = d.bytes;
    build::AppendU32(b, c.biSize);
    build::AppendU32(b, static_cast<DWORD>(c.width));
    build::AppendU32(b, static_cast<DWORD>(c.height));
    build::AppendU16(b, 1);
    build::AppendU16(b, c.bitCount);
    build::AppendU32(b, c.compression);
    build::AppendU32(b, static_cast<DWORD>(c.bits.size()));
    build::AppendU32(b, 0);
    build::AppendU32(b, 0);
    build::AppendU32(b, clrUsed);
    build::AppendU32(b, 0);
    b.insert(b.end(), extra.begin(), extra.end());
    build::Bytes colors = c.colors;
    colors.resize(4 * ColorTableEntries(c.bitCount), 0);
    b.insert(b.end(), colors.begin(), colors.end());
    d.bitsOffset = b.size();
    b.insert(b.end(), c.bits.begin(), c.bits.end());
    return d;
}

} // namespace kp::test
