// Window shapes from mask cells: pixel value 0 is inside the shape, every other value outside.
// A shape is computed as rectangle runs per row (RectRegion); the platform only turns the final
// rectangles into its own region.
//
// Pixel addressing. Rows are stored bottom-up, so row y of the picture (y = 0 at the top) is
// stored row height - 1 - y.
//   1 bit:  rows of stride bits, stride = biWidth rounded up to 32 (a 16-bit value); pixel x is
//           bit 7 - x % 8 of byte x / 8: the leftmost pixel is the most significant bit. With
//           biCompression 255 the rows are stored in the mask run-length form (ExpandMaskRuns).
//   4 bits: rows of the padded DIB length, (biWidth * 4 + 31) / 32 * 4 bytes; even x is the high
//           nibble of byte x / 2, odd x the low one.
//   8, 16, 24, 32 bits: uncompressed DIB rows; a pixel is inside when all its bits are 0.
// Bytes that lie past the end of the image read as outside pixels: a mask cut short by the end
// of the file shapes the window from the rows it has.
#pragma once

#include "chardata/ImageView.h"
#include "platform/Region.h"

#include <cstddef>

namespace kp {

// Expands the mask run-length form:
//   0xCC n (n = 1..255): n bytes 0x00      0xCC 0x00: one byte 0xCC
//   0x33 n (n = 1..255): n bytes 0xFF      0x33 0x00: one byte 0x33
//   any other byte b:    the byte b
// Writes until the destination is full (a run that would overflow it is cut short) or the
// source is used up; a marker without its count byte at the very end is ignored. Returns the
// number of bytes written.
std::size_t ExpandMaskRuns(BYTE* dest, std::size_t destLen, const BYTE* src, std::size_t srcLen);

// The same expansion a piece at a time, so that a shape can be built row by row without holding
// the whole expansion.
class MaskRunReader {
public:
    MaskRunReader(const BYTE* src, std::size_t srcLen) : m_src(src), m_left(srcLen) {}
    // Writes up to n bytes; fewer only when the source is used up.
    std::size_t Read(BYTE* out, std::size_t n);

private:
    const BYTE* m_src;
    std::size_t m_left;
    BYTE m_runByte = 0;
    std::size_t m_runLeft = 0;
};

// Widest 1-bit mask: above it the 16-bit stride would wrap and rows would overlap.
constexpr int kMaxMaskWidth1 = 65504;

class CMaskRgn {
public:
    // Builds the shape of the bitmap whose BITMAPINFOHEADER is at `bihOffset` and whose pixel
    // bits start at `bitsOffset`. The region is in the cell's own coordinates (0, 0 = its
    // top-left pixel). Returns TRUE when at least one pixel is inside; otherwise the object holds
    // no region. Masks that cannot be read as pixels (sizes out of range, an unsupported depth
    // or compression) hold no region either.
    BOOL BuildFromBits(const ImageView& image, FileOffset bihOffset, FileOffset bitsOffset, int width,
                       int height, int bitCount);

    bool HasRegion() const { return m_bHasRegion; }
    const RectRegion& Region() const { return m_rgn; }

    // As recorded by the last build: the stored row length (in bits for 1 bit per pixel, else
    // the width), the number of rows and the depth.
    int m_nStride = 0;
    int m_nHeight = 0;
    int m_nBitCount = 0;

private:
    RectRegion m_rgn;
    bool m_bHasRegion = false;
};

} // namespace kp
