// Glyphs for the software canvas. Turning code page 932 bytes into glyphs needs a font engine and
// font files, which the portable core does not have: a native build hands SoftCanvas a renderer
// through this interface (src/render/FreeTypeText), and without one SoftCanvas draws a
// placeholder box.
#pragma once

#include "platform/Canvas.h"

#include <cstdint>

namespace kp {

// A canvas's pixels as a renderer draws into them: 0x00RRGGBB, `width` pixels per row, row 0 at
// the top.
struct PixelView {
    Color* pixels = nullptr;
    int width = 0;
    int height = 0;
};

class ITextRenderer {
public:
    virtual ~ITextRenderer() = default;
    // Draws `text` (code page 932, no zero byte) in `font` (nullptr: the default font) as GDI's
    // TextOut does with the default colours and alignment: the box of the text's advance width and
    // the font's cell height, top-left at (x, y), filled in white, and the glyphs in black on it,
    // all clipped to the view. False, with nothing drawn, when the renderer has no glyphs at all.
    virtual bool DrawText(const PixelView& target, std::int64_t x, std::int64_t y, const AnsiString& text,
                          const FontSpec* font) = 0;
};

} // namespace kp
