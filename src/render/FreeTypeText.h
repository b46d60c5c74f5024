// Text for the software canvas with FreeType and the IPA Gothic fonts of Debian
// (fonts-ipafont-gothic), drawn as GDI draws a non-antialiased TextOut: one-bit glyphs in black on
// an opaque white box of the text's advance width and the font's cell height. Native builds only
// (kptool and the tests); the Win32 product draws text with GDI.
#pragma once

#include "chardata/TextRenderer.h"

#include <cstdint>
#include <memory>
#include <string>

namespace kp {

// The font files text is drawn with: IPA Gothic (fixed pitch) and IPA PGothic (proportional).
// An empty path is a font that is not there; when only one is there it serves both.
struct JapaneseFonts {
    std::string fixedPitch;
    std::string proportional;
};

// The installed IPA Gothic files, looked for where Debian puts them.
JapaneseFonts FindJapaneseFonts();

// Whether a face name (code page 932) asks for a proportional face: "ＭＳ Ｐゴシック",
// "MS PGothic", "MS UI Gothic" and the like. Every other face, known or not, is drawn in the
// fixed-pitch Gothic, as the font mapper falls back to the Japanese default.
bool IsProportionalFaceName(const AnsiString& faceName);

// What GDI's font mapper makes of a FontSpec, in pixels.
struct FontMetrics {
    int pixelsPerEm = 0; // the character height
    int ascent = 0;      // from the top of the cell to the baseline
    int descent = 0;     // from the baseline to the bottom of the cell
    int CellHeight() const { return ascent + descent; }
};

// The extent of a TextOut: the box it fills.
struct TextExtent {
    std::int64_t width = 0;
    int height = 0;
};

class FreeTypeTextRenderer final : public ITextRenderer {
public:
    // The default font: what a device context holds before a font is selected, a cell 16 pixels
    // high in normal weight. Height 0 in a FontSpec means the same size.
    static constexpr int kDefaultCellHeight = 16;
    // Character heights are capped here: a script may ask for 65535, and a glyph that size
    // would take gigabytes to rasterize for a canvas that shows a corner of it.
    static constexpr int kMaxPixelsPerEm = 1024;

    explicit FreeTypeTextRenderer(const JapaneseFonts& fonts = FindJapaneseFonts());
    ~FreeTypeTextRenderer() override;
    FreeTypeTextRenderer(const FreeTypeTextRenderer&) = delete;
    FreeTypeTextRenderer& operator=(const FreeTypeTextRenderer&) = delete;

    // Whether some font file could be opened; without one DrawText draws nothing and says so.
    bool HasFont() const;
    FontMetrics Metrics(const FontSpec* font) const;
    TextExtent Measure(const AnsiString& text, const FontSpec* font) const;
    bool DrawText(const PixelView& target, std::int64_t x, std::int64_t y, const AnsiString& text,
                  const FontSpec* font) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kp
