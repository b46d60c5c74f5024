// The character data file (".kp") as views over the loaded image. Nothing is copied or
// indexed ahead of use: every accessor is offset arithmetic on the one image block, and every
// read is bounds-checked through ImageView.
//
// Layout (all integers little-endian; offsets relative to the structure holding them):
//   file header at 0: 'K' 'P', u16 version, u32 cells/header/sounds offsets, u32 file size at
//     28, u16 header check at 34;
//   character header: 32-byte name, 64-byte about text, u16 pattern count at 96, u16 default
//     pattern at 98, u16 default position at 100, u32 pattern offsets from 104; the words at
//     -6 (menu columns), -4 (prefix size) and -2 (header check) stand in front of it;
//   cell section: u16 width at 2, u16 height at 4, u32 cell offsets from 8;
//   cell record: u16 x, u16 y, 14 bytes, BITMAPINFOHEADER at 18, colour table, pixel bits;
//   sound section: u16 count, 2 bytes, u32 sound offsets from 4 (RIFF WAVE images).
// docs/FILE-FORMAT.md tells the whole story for character authors.
#pragma once

#include "chardata/ImageView.h"

#include <cstddef>
#include <string>

namespace kp {

namespace kpfile {

// File header.
constexpr std::size_t kFileHeaderSize = 36;
constexpr std::size_t kVersion = 2;
constexpr std::size_t kCellsOffset = 4;
constexpr std::size_t kHeaderOffset = 8;
constexpr std::size_t kSoundsOffset = 12;
constexpr std::size_t kFileSize = 28;
constexpr std::size_t kFileHeaderCrc = 34;
constexpr WORD kFileHeaderCrcBits = 34;

// Versions.
constexpr WORD kFirstCheckedVersion = 301; // from here: check fields and stored text forms
constexpr WORD kLastKnownVersion = 303;
// The largest window (canvas) and cell sides the program accepts, in pixels. A canvas of
// 4096 x 4096 is 64 MB at 32 bits per pixel: more than any screen needs, and a frame every
// system can still make. Larger files are refused at load (message 6), larger cells ignored.
constexpr WORD kMaxWindowSide = 4096;
constexpr std::int32_t kMaxCellSide = 4096;

// Character header and the words in front of it (negative offsets).
constexpr std::size_t kNameSize = 32;
constexpr std::size_t kAboutOffset = 32;
constexpr std::size_t kAboutSize = 64;
constexpr std::size_t kPatternCount = 96;
constexpr std::size_t kDefaultPattern = 98;
constexpr std::size_t kDefaultPosition = 100;
constexpr std::size_t kPatternTable = 104;
constexpr std::size_t kMenuColumnBack = 6;
constexpr std::size_t kPrefixSizeBack = 4;
constexpr std::size_t kCharHeaderCrcBack = 2;

// Cell section and cell records.
constexpr std::size_t kCanvasWidth = 2;
constexpr std::size_t kCanvasHeight = 4;
constexpr std::size_t kCellTable = 8;
constexpr std::size_t kCellX = 0;
constexpr std::size_t kCellY = 2;
constexpr std::size_t kCellBitmapInfo = 18;
constexpr std::size_t kBitmapInfoHeaderSize = 40;
constexpr DWORD kMaskRunLength = 255; // biCompression of a run-length 1-bit mask

// Sound section.
constexpr std::size_t kSoundCount = 0;
constexpr std::size_t kSoundTable = 4;

// Pattern record: the name instruction.
constexpr std::size_t kPatternNameLength = 1;
constexpr std::size_t kPatternName = 3;
constexpr std::size_t kMaxPatternName = 255;

} // namespace kpfile

// The fields of a BITMAPINFOHEADER that the program reads.
struct BitmapInfo {
    DWORD biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    DWORD biClrUsed = 0;
};

// Number of colour-table entries stored for a depth: always the full table for 1, 4 and 8
// bits, none for any other depth.
inline std::size_t ColorTableEntries(WORD bitCount) {
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

// A view of one installed image with the section offsets taken from its file header.
// Accessors return 0 (or empty) for anything outside the image; callers that must tell a
// failure apart pass an `ok` flag.
class CharacterFile {
public:
    CharacterFile() = default;
    explicit CharacterFile(ImageView image);

    const ImageView& Image() const { return m_image; }

    WORD Version() const { return m_image.U16(kpfile::kVersion); }
    DWORD FileSizeField() const { return m_image.U32(kpfile::kFileSize); }
    FileOffset CellsOffset() const { return m_cells; }
    FileOffset HeaderOffset() const { return m_header; }
    FileOffset SoundsOffset() const { return m_sounds; }

    // Character header.
    AnsiString Name() const { return FixedText(m_header, kpfile::kNameSize); }
    AnsiString About() const { return FixedText(m_header + kpfile::kAboutOffset, kpfile::kAboutSize); }
    WORD PatternCount() const { return m_image.U16(m_header + kpfile::kPatternCount); }
    WORD DefaultPattern() const { return m_image.U16(m_header + kpfile::kDefaultPattern); }
    WORD DefaultPosition() const { return m_image.U16(m_header + kpfile::kDefaultPosition); }
    // Image offset of pattern record g (0-based).
    FileOffset PatternOffset(std::size_t g, bool* ok = nullptr) const;
    WORD PrefixSize() const { return Back(kpfile::kPrefixSizeBack); }
    WORD CharHeaderCrc() const { return Back(kpfile::kCharHeaderCrcBack); }
    // Patterns per menu column; 0 (one column) unless the prefix says the word is present.
    WORD MenuColumns() const { return PrefixSize() > 4 ? Back(kpfile::kMenuColumnBack) : 0; }
    // The pattern's name as the menu shows it: the name instruction's bytes, read back from
    // text form A from the first checked version on, cut at 255 bytes and at the image's end.
    AnsiString PatternName(std::size_t g) const;

    // Cell section.
    WORD CanvasWidth() const { return m_image.U16(m_cells + kpfile::kCanvasWidth); }
    WORD CanvasHeight() const { return m_image.U16(m_cells + kpfile::kCanvasHeight); }
    // Image offset of cell record c.
    FileOffset CellOffset(WORD c, bool* ok = nullptr) const;
    // Image offset of cell c's BITMAPINFOHEADER.
    FileOffset CellBitmapInfoOffset(WORD c, bool* ok = nullptr) const {
        return CellOffset(c, ok) + kpfile::kCellBitmapInfo;
    }
    WORD CellX(WORD c, bool* ok = nullptr) const {
        return m_image.U16(CellOffset(c, ok) + kpfile::kCellX, ok);
    }
    WORD CellY(WORD c, bool* ok = nullptr) const {
        return m_image.U16(CellOffset(c, ok) + kpfile::kCellY, ok);
    }
    // The header fields at an image offset; clears *ok when the 40 bytes are not all there.
    BitmapInfo ReadBitmapInfo(FileOffset bihOffset, bool* ok = nullptr) const;
    // Where the pixel bits of the bitmap whose header is at `bihOffset` start: after the header
    // (its size word taken mod 65536) and the full colour table.
    FileOffset PixelBitsOffset(FileOffset bihOffset, const BitmapInfo& bi) const {
        return bihOffset + (bi.biSize & 0xFFFF) + 4 * ColorTableEntries(bi.biBitCount);
    }

    // Sound section.
    WORD SoundCount() const { return m_image.U16(m_sounds + kpfile::kSoundCount); }
    // Image offset of sound i (the caller checks i against SoundCount()).
    FileOffset SoundOffset(WORD i, bool* ok = nullptr) const;

private:
    AnsiString FixedText(FileOffset off, std::size_t size) const;
    WORD Back(std::size_t back) const { return m_header >= back ? m_image.U16(m_header - back) : 0; }

    ImageView m_image;
    FileOffset m_cells = 0;
    FileOffset m_header = 0;
    FileOffset m_sounds = 0;
};

// The two stored text forms of the checked versions. k is the stored length mod 256.
// Form A (pattern names): t[0] = s[0] ^ k, t[i] = s[i] ^ s[i-1].
// Form B (script strings): t[0] = s[0] ^ k, t[i] = s[i] ^ t[i-1].
void DecodeTextFormA(const BYTE* stored, std::size_t n, BYTE k, BYTE* out);
void DecodeTextFormB(const BYTE* stored, std::size_t n, BYTE k, BYTE* out);
void EncodeTextFormA(const BYTE* text, std::size_t n, BYTE k, BYTE* out);
void EncodeTextFormB(const BYTE* text, std::size_t n, BYTE k, BYTE* out);

} // namespace kp
