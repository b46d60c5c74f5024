// The off-screen frame on Win32: a memory DC holding a bitmap compatible with the window's DC,
// drawn with GDI itself (StretchDIBits straight from the loaded image, real palettes, fonts made
// with CreateFont, TextOut). Every GDI object it makes is owned by one member and counted.
#pragma once

#include "win32/Win32Gdi.h"

#include <windows.h>
// The canvas's own TextOut, not the API's TextOutW: include this header before any other that
// declares an ICanvas.
#undef TextOut

#include "platform/Canvas.h"

#include <vector>

namespace kp::win32 {

class Win32Canvas : public ICanvas {
public:
    // A frame of width x height pixels compatible with `reference` (null: the screen), filled
    // with `fill`. The DC keeps its default colours: black text on an opaque white background.
    Win32Canvas(HDC reference, int width, int height, Color fill = 0);
    ~Win32Canvas() override;
    Win32Canvas(const Win32Canvas&) = delete;
    Win32Canvas& operator=(const Win32Canvas&) = delete;

    // False when GDI refused the DC or the bitmap; such a canvas draws nothing.
    bool IsReady() const { return m_dc.Get() && m_bitmap; }

    int Width() const override { return m_width; }
    int Height() const override { return m_height; }
    void DrawDib(int x, int y, const DibRef& dib) override;
    void SelectPalette(const LogPalette& palette) override;
    void FillRect(const Rect& r, Color color) override;
    void FillRegion(const RectRegion& region, Color color) override;
    void TextOut(int x, int y, const AnsiString& text) override;
    void SelectFont(const FontSpec* font) override;

    // For painting the frame into a window.
    HDC Dc() const { return m_dc.Get(); }
    HPALETTE Palette() const { return m_palette.Get(); }
    // The frame's pixels as 0x00RRGGBB, row 0 at the top; empty when GDI cannot read them.
    std::vector<Color> ReadPixels() const;

private:
    void DrawRows(int x, int y, const BITMAPINFO* info, LONG width, LONG rows, const BYTE* bits);

    int m_width;
    int m_height;
    MemoryDc m_dc;
    GdiBitmap m_bitmap;
    // The palette selected last, and what it was made from (a repeat selection makes nothing).
    GdiPalette m_palette;
    LogPalette m_logPalette;
    // The font made for the last font asked for; kept while the default font is selected, so that
    // steps that select and deselect the same font make nothing.
    GdiFont m_font;
    FontSpec m_fontSpec;
    // What the DC held when it was made, selected back before anything of ours is deleted.
    HGDIOBJ m_defaultBitmap = nullptr;
    HGDIOBJ m_defaultFont = nullptr;
    HPALETTE m_defaultPalette = nullptr;
};

} // namespace kp::win32
