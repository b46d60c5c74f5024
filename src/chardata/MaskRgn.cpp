#include "chardata/MaskRgn.h"

#include "chardata/DataFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kp {

namespace {

constexpr BYTE kInsideRun = 0xCC;
constexpr BYTE kOutsideRun = 0x33;
constexpr DWORD kBiRgb = 0;
constexpr DWORD kBiRle4 = 2;
constexpr DWORD kBiBitfields = 3;

// Whether pixel x of a stored row is inside the shape (all its bits 0). The caller keeps x
// within the pixels whose bytes are present.
bool Inside(const BYTE* row, std::size_t x, int bitCount) {
    switch (bitCount) {
    case 1:
        return ((row[x >> 3] >> (7 - (x & 7))) & 1) == 0;
    case 4:
        return ((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)) == 0;
    case 8:
        return row[x] == 0;
    case 16:
        return (row[2 * x] | row[2 * x + 1]) == 0;
    case 24:
        return (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) == 0;
    default:
        return (row[4 * x] | row[4 * x + 1] | row[4 * x + 2] | row[4 * x + 3]) == 0;
    }
}

// Appends the runs of inside pixels among the first `pixels` pixels of a row.
void ScanRow(const BYTE* row, std::size_t pixels, int bitCount, std::vector<Span>& out) {
    std::size_t x = 0;
    while (x < pixels) {
        if (bitCount == 1 && (x & 7) == 0 && row[x >> 3] == 0xFF) {
            x += 8; // eight outside pixels at once
            continue;
        }
        if (!Inside(row, x, bitCount)) {
            ++x;
            continue;
        }
        const std::size_t e = x;
        while (x < pixels && Inside(row, x, bitCount))
            ++x;
        out.push_back(Span{static_cast<int>(e), static_cast<int>(x)});
    }
}

} // namespace

std::size_t MaskRunReader::Read(BYTE* out, std::size_t n) {
    std::size_t written = 0;
    while (written < n) {
        if (m_runLeft) {
            const std::size_t k = std::min(m_runLeft, n - written);
            std::memset(out + written, m_runByte, k);
            written += k;
            m_runLeft -= k;
            continue;
        }
        if (!m_left)
            break;
        const BYTE b = *m_src++;
        --m_left;
        if (b != kInsideRun && b != kOutsideRun) {
            out[written++] = b;
            continue;
        }
        if (!m_left) // a marker whose count byte is missing ends the data
            break;
        const BYTE count = *m_src++;
        --m_left;
        if (count == 0) {
            out[written++] = b;
        } else {
            m_runByte = b == kInsideRun ? 0x00 : 0xFF;
            m_runLeft = count;
        }
    }
    return written;
}

std::size_t ExpandMaskRuns(BYTE* dest, std::size_t destLen, const BYTE* src, std::size_t srcLen) {
    MaskRunReader reader(src, srcLen);
    return reader.Read(dest, destLen);
}

BOOL CMaskRgn::BuildFromBits(const ImageView& image, FileOffset bihOffset, FileOffset bitsOffset, int width,
                             int height, int bitCount) {
    m_rgn = RectRegion();
    m_bHasRegion = false;
    m_nBitCount = bitCount;
    m_nHeight = height;
    // The 1-bit stride in bits is a 16-bit value, as stored rows of such masks are measured.
    m_nStride = bitCount == 1 ? static_cast<WORD>((static_cast<unsigned>(width) + 31u) & 0xFFE0u) : width;

    bool ok = true;
    const DWORD compression = image.U32(bihOffset + 16, &ok);
    if (!ok || width <= 0 || height <= 0)
        return FALSE;
    bool runs = false;
    switch (bitCount) {
    case 1:
        if (width > kMaxMaskWidth1)
            return FALSE;
        runs = compression == kpfile::kMaskRunLength;
        break;
    case 4:
        if (compression == kBiRle4)
            return FALSE;
        break;
    case 8:
    case 24:
        if (compression != kBiRgb)
            return FALSE;
        break;
    case 16:
    case 32:
        if (compression != kBiRgb && compression != kBiBitfields)
            return FALSE;
        break;
    default:
        return FALSE;
    }

    // Stored row length in bytes; for 1 bit this equals stride / 8.
    const std::uint64_t rowBytes =
        (static_cast<std::uint64_t>(width) * static_cast<unsigned>(bitCount) + 31) / 32 * 4;
    const std::size_t imageSize = image.Size();
    if (bitsOffset > imageSize)
        return FALSE;

    std::vector<BYTE> rowBuffer;
    MaskRunReader reader(image.At(bitsOffset), imageSize - bitsOffset);
    if (runs)
        rowBuffer.resize(static_cast<std::size_t>(rowBytes)); // at most 8188 bytes

    // Stored rows come bottom row first; collect each row's runs, then add the bands from the top.
    std::vector<Span> spans;
    std::vector<std::size_t> rowStart;
    for (std::uint64_t r = 0; r < static_cast<std::uint64_t>(height); ++r) {
        const BYTE* row = nullptr;
        std::uint64_t avail = 0;
        if (runs) {
            avail = reader.Read(rowBuffer.data(), rowBuffer.size());
            row = rowBuffer.data();
        } else {
            const std::uint64_t start = bitsOffset + r * rowBytes;
            if (start < imageSize) {
                avail = std::min<std::uint64_t>(rowBytes, imageSize - start);
                row = image.At(static_cast<std::size_t>(start));
            }
        }
        if (avail == 0)
            break; // this row and every row above it lie past the end: all outside
        const std::uint64_t pixels = std::min<std::uint64_t>(static_cast<std::uint64_t>(width),
                                                             avail * 8 / static_cast<unsigned>(bitCount));
        rowStart.push_back(spans.size());
        ScanRow(row, static_cast<std::size_t>(pixels), bitCount, spans);
    }
    rowStart.push_back(spans.size());

    std::vector<Span> band;
    for (std::size_t r = rowStart.size() - 1; r-- > 0;) {
        const int y = height - 1 - static_cast<int>(r);
        band.assign(spans.begin() + static_cast<std::ptrdiff_t>(rowStart[r]),
                    spans.begin() + static_cast<std::ptrdiff_t>(rowStart[r + 1]));
        m_rgn.AppendBand(y, y + 1, band);
    }
    m_bHasRegion = !m_rgn.IsEmpty();
    return m_bHasRegion ? TRUE : FALSE;
}

} // namespace kp
