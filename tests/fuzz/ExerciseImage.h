// Everything the program may do with an untrusted file image before and after it installs it:
// the load verdict (CheckImage, then CheckStructure), and every view accessor of CharacterFile
// over every pattern, cell 0 and every sound. The fuzz target and the crashers test both run it;
// any read outside the image is then a sanitizer report (or a fault on a guard page).
#pragma once

#include "chardata/Crc.h"
#include "chardata/DataFile.h"
#include "chardata/Loader.h"

#include <cstddef>
#include <cstdint>

namespace kp::fuzz {

struct Exercised {
    LoadMessage verdict = LoadMessage::None; // CheckImage's
    bool structureOk = false;                // CheckStructure's (run when the verdict lets the program go on)
    std::uint32_t checksum = 0;              // folds every value read, so that nothing is optimised away
};

inline Exercised ExerciseImage(const BYTE* data, std::size_t size) {
    Exercised r;
    const ImageView image(data, size);
    r.verdict = CheckImage(image);
    if (r.verdict != LoadMessage::None && r.verdict != LoadMessage::MayBeCorrupted)
        return r;
    r.structureOk = CheckStructure(image);
    if (!r.structureOk)
        return r;

    // The file would be installed: run every accessor the program has.
    std::uint32_t sum = 0;
    const auto fold = [&sum](std::uint32_t v) { sum = sum * 31u + v; };
    const CharacterFile file(image);
    fold(file.Version());
    fold(file.FileSizeField());
    fold(static_cast<std::uint32_t>(file.CellsOffset() ^ file.HeaderOffset() ^ file.SoundsOffset()));
    for (const AnsiString& text : {file.Name(), file.About()})
        for (const char ch : text)
            fold(static_cast<BYTE>(ch));
    fold(file.PatternCount());
    fold(file.DefaultPattern());
    fold(file.DefaultPosition());
    fold(file.PrefixSize());
    fold(file.CharHeaderCrc());
    fold(file.MenuColumns());
    for (std::size_t g = 0; g < file.PatternCount(); ++g) {
        bool ok = true;
        fold(static_cast<std::uint32_t>(file.PatternOffset(g, &ok)));
        fold(ok);
        for (const char ch : file.PatternName(g))
            fold(static_cast<BYTE>(ch));
    }
    fold(file.CanvasWidth());
    fold(file.CanvasHeight());
    // Cell 0 is checked at load; a few more cells are read the way drawing would reach them.
    for (WORD c = 0; c < 4; ++c) {
        bool ok = true;
        fold(static_cast<std::uint32_t>(file.CellOffset(c, &ok)));
        fold(file.CellX(c, &ok));
        fold(file.CellY(c, &ok));
        const std::size_t bih = file.CellBitmapInfoOffset(c, &ok);
        const BitmapInfo bi = file.ReadBitmapInfo(bih, &ok);
        fold(bi.biSize ^ static_cast<std::uint32_t>(bi.biWidth) ^ static_cast<std::uint32_t>(bi.biHeight));
        fold(bi.biPlanes ^ bi.biBitCount ^ bi.biCompression ^ bi.biSizeImage ^ bi.biClrUsed);
        fold(static_cast<std::uint32_t>(file.PixelBitsOffset(bih, bi)));
        fold(ok);
    }
    for (WORD i = 0; i < file.SoundCount(); ++i) {
        bool ok = true;
        const std::size_t at = file.SoundOffset(i, &ok);
        fold(image.U32(at + 4, &ok)); // the RIFF length, as sound playing reads it
        fold(ok);
    }
    WORD crc = 0;
    if (CalcCrcInImage(image, file.HeaderOffset(), 0xFFFF, crc))
        fold(crc);
    r.checksum = sum;
    return r;
}

} // namespace kp::fuzz
