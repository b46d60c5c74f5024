#include "BmpFile.h"

#include "chardata/DataFile.h"
#include "chardata/ImageView.h"

#include <algorithm>

namespace kp::tool {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr DWORD kBiRgb = 0;
// Pictures wider or taller than this are refused: a cell's size is a 16-bit pixel count.
constexpr std::int32_t kMaxSide = 0xFFFF;

} // namespace

std::size_t DibRowBytes(std::int32_t width, WORD bitCount) {
    return ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
}

bool ReadBmp(const build::Bytes& file, build::Cell& cell, std::string& why) {
    const ImageView image(file.data(), file.size());
    if (!image.Contains(0, kFileHeaderSize + 40) || file[0] != 'B' || file[1] != 'M') {
        why = "not a BMP file (no \"BM\" header)";
        return false;
    }
    const DWORD bitsAt = image.U32(10);
    const DWORD biSize = image.U32(kFileHeaderSize);
    if (biSize < 40 || !image.Contains(kFileHeaderSize, biSize)) {
        why = "unsupported bitmap header (size " + std::to_string(biSize) + "; 40 or more is needed)";
        return false;
    }
    const auto width = static_cast<std::int32_t>(image.U32(kFileHeaderSize + 4));
    const auto height = static_cast<std::int32_t>(image.U32(kFileHeaderSize + 8));
    const WORD planes = image.U16(kFileHeaderSize + 12);
    const WORD bitCount = image.U16(kFileHeaderSize + 14);
    const DWORD compression = image.U32(kFileHeaderSize + 16);
    const DWORD clrUsed = image.U32(kFileHeaderSize + 32);
    if (width <= 0 || width > kMaxSide || height == 0 || height < -kMaxSide || height > kMaxSide) {
        why = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " out of range";
        return false;
    }
    if (planes != 1) {
        why = "bitmap with " + std::to_string(planes) + " planes";
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        why = std::to_string(bitCount) + " bits per pixel is not supported (1, 4, 8, 16, 24 or 32)";
        return false;
    }
    if (compression != kBiRgb) {
        why = "compressed bitmap (compression " + std::to_string(compression) + "); save it uncompressed";
        return false;
    }
    const std::size_t full = ColorTableEntries(bitCount);
    const std::size_t entries = clrUsed ? clrUsed : full;
    if (entries > full && full != 0) {
        why = "colour table of " + std::to_string(entries) + " entries for " + std::to_string(bitCount) +
              " bits";
        return false;
    }
    const std::size_t tableAt = kFileHeaderSize + biSize;
    if (full && !image.Contains(tableAt, 4 * entries)) {
        why = "colour table cut short";
        return false;
    }
    const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
    const std::size_t row = DibRowBytes(width, bitCount);
    if (!image.Contains(bitsAt, row * rows)) {
        why = "pixel rows cut short (" + std::to_string(row * rows) + " bytes needed at offset " +
              std::to_string(bitsAt) + ")";
        return false;
    }
    cell.width = width;
    cell.height = static_cast<std::int32_t>(rows);
    cell.bitCount = bitCount;
    cell.compression = 0;
    cell.biSize = 40;
    cell.colors.assign(4 * full, 0);
    if (full)
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(tableAt), 4 * entries, cell.colors.begin());
    cell.bits.resize(row * rows);
    for (std::size_t y = 0; y < rows; ++y) {
        // Stored bottom-up in the character file; a top-down file (negative height) is turned over.
        const std::size_t from = height < 0 ? rows - 1 - y : y;
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(bitsAt + from * row), row,
                    cell.bits.begin() + static_cast<std::ptrdiff_t>(y * row));
    }
    return true;
}

build::Bytes WriteBmp(const build::Cell& cell) {
    const std::size_t table = 4 * ColorTableEntries(cell.bitCount);
    const std::size_t bitsAt = kFileHeaderSize + 40 + table;
    build::Bytes b{'B', 'M'};
    build::AppendU32(b, static_cast<DWORD>(bitsAt + cell.bits.size()));
    build::AppendU32(b, 0);
    build::AppendU32(b, static_cast<DWORD>(bitsAt));
    build::AppendU32(b, 40);
    build::AppendU32(b, static_cast<DWORD>(cell.width));
    build::AppendU32(b, static_cast<DWORD>(cell.height));
    build::AppendU16(b, 1);
    build::AppendU16(b, cell.bitCount);
    build::AppendU32(b, kBiRgb);
    build::AppendU32(b, static_cast<DWORD>(cell.bits.size()));
    for (int i = 0; i < 4; ++i)
        build::AppendU32(b, 0);
    build::Bytes colors = cell.colors;
    colors.resize(table, 0);
    b.insert(b.end(), colors.begin(), colors.end());
    b.insert(b.end(), cell.bits.begin(), cell.bits.end());
    return b;
}

} // namespace kp::tool
