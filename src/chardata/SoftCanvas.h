// A canvas in memory, drawn in software the way GDI draws device-independent bitmaps with
// StretchDIBits (unscaled, SRCCOPY, DIB_RGB_COLORS). Used by the tests, headless runs and
// previews; pixels are 32-bit 0x00RRGGBB, row 0 at the top.
#pragma once

#include "chardata/TextRenderer.h"
#include "platform/Canvas.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kp {

// The header values of a DIB as a drawer uses them, checked against the image block.
struct DibHeader {
    std::int64_t width = 0;
    std::int64_t height = 0; // always positive; topDown tells the row order
    bool topDown = false;    // biHeight was negative
    int bitCount = 0;
    DWORD compression = 0;
    std::size_t colorCount = 0;   // colour-table entries in use (biClrUsed, else 1 << bitCount)
    std::uint64_t colorTable = 0; // image offset of the colour table: header + biSize
    DWORD masks[3] = {};          // red, green, blue for BI_BITFIELDS
    DWORD sizeImage = 0;
};

namespace dib {
constexpr DWORD kRgb = 0;
constexpr DWORD kRle8 = 1;
constexpr DWORD kRle4 = 2;
constexpr DWORD kBitfields = 3;
} // namespace dib

// Reads and checks a DIB's header. False when it cannot be drawn: the 40-byte header is not in
// the image, biSize is under 40, the width is not positive, the height is 0, the depth and the
// compression do not go together (BI_RGB: 1, 4, 8, 16, 24, 32; BI_RLE8: 8 bottom-up; BI_RLE4: 4
// bottom-up; BI_BITFIELDS: 16, 32 with its three masks in the image), or any other compression.
bool ReadDibHeader(const DibRef& dib, DibHeader& out);

// Bytes of one uncompressed row: the width in bits rounded up to 32, in bytes.
inline std::uint64_t DibRowBytes(std::int64_t width, int bitCount) {
    return (static_cast<std::uint64_t>(width) * static_cast<unsigned>(bitCount) + 31) / 32 * 4;
}

class SoftCanvas : public ICanvas {
public:
    SoftCanvas(int width, int height, Color fill = 0);

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    void DrawDib(int x, int y, const DibRef& dib) override;
    void SelectPalette(const LogPalette& palette) override;
    void FillRect(const Rect& r, Color color) override;
    void FillRegion(const RectRegion& region, Color color) override;
    // Text through the text renderer when one was given and it has glyphs; otherwise the text's
    // place is shown as an opaque white box framed in black, as tall as the font's height (16 for
    // the default font) and half as wide per byte.
    void TextOut(int x, int y, const AnsiString& text) override;
    void SelectFont(const FontSpec* font) override;

    // The renderer TextOut draws glyphs with (not owned; nullptr: placeholder boxes only).
    void SetTextRenderer(ITextRenderer* renderer) { m_pTextRenderer = renderer; }
    // The font selected last, or nullptr for the default font.
    const FontSpec* SelectedFont() const { return m_font ? &*m_font : nullptr; }

    Color Pixel(int x, int y) const { return m_pixels[static_cast<std::size_t>(y) * m_width + x]; }
    const std::vector<Color>& Pixels() const { return m_pixels; }
    // The palette selected last, and how many selections were made.
    const LogPalette& SelectedPalette() const { return m_palette; }
    int PaletteSelections() const { return m_paletteSelections; }

private:
    void DrawUncompressed(int x, int y, const DibRef& dib, const DibHeader& h, const Color* table);
    void DrawRle(int x, int y, const DibRef& dib, const DibHeader& h, const Color* table);
    void Plot(std::int64_t x, std::int64_t y, Color c) {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height)
            m_pixels[static_cast<std::size_t>(y) * m_width + static_cast<std::size_t>(x)] = c;
    }

    int m_width;
    int m_height;
    std::vector<Color> m_pixels;
    LogPalette m_palette;
    int m_paletteSelections = 0;
    std::optional<FontSpec> m_font;
    ITextRenderer* m_pTextRenderer = nullptr;
};

} // namespace kp
