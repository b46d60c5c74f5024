// The character's logical palette, built from a cell's colour table.
#pragma once

#include "chardata/ImageView.h"
#include "platform/Canvas.h"

#include <cstddef>

namespace kp {

// Builds the palette of the bitmap whose BITMAPINFOHEADER is at `bihOffset`: 2, 16 or 256
// entries for 1, 4 or 8 bits per pixel, entry i taking red, green and blue from the colour-table
// entry at bihOffset + 40 + 4i (stored blue, green, red, reserved) with flags 0. Any other depth,
// or a colour table that does not lie wholly inside the image, gives FALSE and leaves `out`
// untouched.
BOOL CreateCellPalette(const ImageView& image, std::size_t bihOffset, LogPalette& out);

} // namespace kp
