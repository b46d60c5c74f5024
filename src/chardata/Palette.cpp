#include "chardata/Palette.h"

#include "chardata/DataFile.h"

namespace kp {

BOOL CreateCellPalette(const ImageView& image, std::size_t bihOffset, LogPalette& out) {
    bool ok = true;
    const WORD bitCount = image.U16(bihOffset + 14, &ok);
    const std::size_t entries = ColorTableEntries(bitCount);
    const std::size_t table = bihOffset + kpfile::kBitmapInfoHeaderSize;
    if (!ok || entries == 0 || bihOffset > image.Size() || !image.Contains(table, 4 * entries))
        return FALSE;
    LogPalette palette;
    palette.entries.resize(entries);
    const BYTE* quad = image.At(table);
    for (std::size_t i = 0; i < entries; ++i, quad += 4)
        palette.entries[i] = PaletteEntry{quad[2], quad[1], quad[0], 0};
    out = std::move(palette);
    return TRUE;
}

} // namespace kp
