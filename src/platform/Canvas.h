// Drawing into the character's off-screen canvas: what the core asks of the platform's
// graphics, in its own terms. Win32 implements it with GDI (StretchDIBits into a memory DC, real
// palettes); chardata/SoftCanvas implements it in software for tests, headless runs and previews.
#pragma once

#include "platform/Region.h"
#include "platform/Types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kp {

// A colour as 0x00RRGGBB.
using Color = std::uint32_t;

constexpr Color MakeColor(BYTE r, BYTE g, BYTE b) {
    return (static_cast<Color>(r) << 16) | (static_cast<Color>(g) << 8) | b;
}
constexpr BYTE RedOf(Color c) {
    return static_cast<BYTE>(c >> 16);
}
constexpr BYTE GreenOf(Color c) {
    return static_cast<BYTE>(c >> 8);
}
constexpr BYTE BlueOf(Color c) {
    return static_cast<BYTE>(c);
}

// One logical palette entry, as PALETTEENTRY holds it.
struct PaletteEntry {
    BYTE red = 0;
    BYTE green = 0;
    BYTE blue = 0;
    BYTE flags = 0;
    friend bool operator==(const PaletteEntry& a, const PaletteEntry& b) {
        return a.red == b.red && a.green == b.green && a.blue == b.blue && a.flags == b.flags;
    }
};

// A logical palette as a value (LOGPALETTE): built once, replaced as a whole, never edited.
struct LogPalette {
    WORD version = 0x300;
    std::vector<PaletteEntry> entries;
    friend bool operator==(const LogPalette& a, const LogPalette& b) {
        return a.version == b.version && a.entries == b.entries;
    }
};

// A device-independent bitmap lying inside a loaded image block: the offsets of its
// BITMAPINFO (header and colour table) and of its pixel bits. The header's values are untrusted:
// an implementation reads nothing outside [base, base + size), whatever they say.
struct DibRef {
    const BYTE* base = nullptr;
    std::size_t size = 0;
    // Offsets computed from the file's fields: 64-bit in every build, so that they never wrap
    // into the block.
    std::uint64_t infoOffset = 0;
    std::uint64_t bitsOffset = 0;
};

// A font as CreateFont is asked for it: the fields a character chooses; width, escapement,
// orientation, italic, underline, strike-out, precisions, quality and pitch are 0 (defaults).
struct FontSpec {
    int height = 0;   // below 0: a character height of -height pixels; above 0: a cell height; 0: default
    int weight = 0;   // FW_ value: 0 default, 400 normal, 700 bold
    BYTE charSet = 0; // 128 is SHIFTJIS_CHARSET
    AnsiString faceName;
    friend bool operator==(const FontSpec& a, const FontSpec& b) {
        return a.height == b.height && a.weight == b.weight && a.charSet == b.charSet &&
               a.faceName == b.faceName;
    }
};

class ICanvas {
public:
    virtual ~ICanvas() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Draws the bitmap unscaled with its top-left pixel at (x, y), replacing the pixels it covers
    // (SRCCOPY) and clipped to the canvas; colour tables hold RGB values (DIB_RGB_COLORS). A
    // bitmap the platform cannot draw leaves the canvas as it was.
    virtual void DrawDib(int x, int y, const DibRef& dib) = 0;
    // Selects the palette into the canvas as a background palette and realizes it.
    virtual void SelectPalette(const LogPalette& palette) = 0;
    virtual void FillRect(const Rect& r, Color color) = 0;
    virtual void FillRegion(const RectRegion& region, Color color) = 0;
    // The bytes (code page 932) before the first zero, at (x, y) in the current font, black on an
    // opaque white background: the box of the text's advance width and the font's cell height,
    // top-left at (x, y), as TextOut with the default alignment. A canvas without glyphs draws a
    // placeholder box of that extent.
    virtual void TextOut(int x, int y, const AnsiString& text) = 0;
    // Makes `font` the current font for later TextOut calls; nullptr selects the canvas's default
    // font again. A canvas that has only its default font ignores the call.
    virtual void SelectFont(const FontSpec* font) { (void)font; }
};

} // namespace kp
