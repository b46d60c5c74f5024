// BMP files for `kptool build` and `kptool dump --source`: a cell is read from an uncompressed
// Windows bitmap file (1, 4, 8, 16, 24 or 32 bits per pixel, any row order) and written as one
// (bottom-up, with a BITMAPINFOHEADER and the full colour table). Every read of the file is
// bounds-checked; a file that does not hold what its header says is refused with the reason.
#pragma once

#include "Builder.h"

#include <string>

namespace kp::tool {

// The cell's picture from a BMP file image: width, height, depth, the full colour table and the
// bottom-up rows. False, with `why`, for anything that is no such bitmap.
bool ReadBmp(const build::Bytes& file, build::Cell& cell, std::string& why);

// A BMP file of a cell's picture. The cell's bits must be plain rows (not the mask runs).
build::Bytes WriteBmp(const build::Cell& cell);

// Bytes per stored row for a width and depth: rows are padded to whole 32-bit words.
std::size_t DibRowBytes(std::int32_t width, WORD bitCount);

} // namespace kp::tool
