#include "win32/Win32Canvas.h"

#include "chardata/ImageView.h"
#include "chardata/SoftCanvas.h"
#include "platform/Cp932.h"
#include "win32/Win32Text.h"

#include <algorithm>
#include <cstring>

namespace kp::win32 {

namespace {

// RLE bitmaps are decoded by GDI at their full header size whatever the stream holds; pictures
// are 16-bit pixel counts, so a larger one is no cell and is not drawn.
constexpr std::int64_t kMaxRleSide = 0xFFFF;
// CreateFontA keeps at most this many bytes of a face name (LF_FACESIZE with its zero).
constexpr std::size_t kFaceBytes = LF_FACESIZE - 1;

COLORREF ToColorRef(Color c) {
    return RGB(RedOf(c), GreenOf(c), BlueOf(c));
}

// A BITMAPINFO of our own: the header GDI is given holds only values ReadDibHeader checked, and
// the masks and colours GDI reads from it are copies of bytes that lie inside the image (colour
// entries outside it are black, as SoftCanvas draws them). The bits stay in the image.
struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

HDC ScreenOr(HDC reference, bool& release) {
    release = reference == nullptr;
    return reference ? reference : GetDC(nullptr);
}

} // namespace

Win32Canvas::Win32Canvas(HDC reference, int width, int height, Color fill)
    : m_width(std::max(0, width)), m_height(std::max(0, height)), m_dc(reference) {
    bool release = false;
    HDC ref = ScreenOr(reference, release);
    // A bitmap of at least one pixel, so that the DC never holds its 1x1 monochrome default.
    m_bitmap = GdiBitmap(CreateCompatibleBitmap(ref, std::max(1, m_width), std::max(1, m_height)));
    if (release)
        ReleaseDC(nullptr, ref);
    if (!IsReady())
        return;
    m_defaultBitmap = SelectObject(m_dc.Get(), m_bitmap.Get());
    m_defaultFont = GetCurrentObject(m_dc.Get(), OBJ_FONT);
    m_defaultPalette = static_cast<HPALETTE>(GetCurrentObject(m_dc.Get(), OBJ_PAL));
    FillRect(Rect{0, 0, m_width, m_height}, fill);
}

Win32Canvas::~Win32Canvas() {
    // Nothing of ours may stay selected, or its DeleteObject would fail and leak it.
    if (!m_dc.Get())
        return;
    if (m_defaultBitmap)
        SelectObject(m_dc.Get(), m_defaultBitmap);
    if (m_defaultFont)
        SelectObject(m_dc.Get(), m_defaultFont);
    if (m_defaultPalette)
        ::SelectPalette(m_dc.Get(), m_defaultPalette, TRUE);
}

void Win32Canvas::DrawDib(int x, int y, const DibRef& d) {
    DibHeader h;
    if (!IsReady() || !ReadDibHeader(d, h) || d.bitsOffset >= d.size || x >= m_width || y >= m_height)
        return;
    const bool rle = h.compression == dib::kRle8 || h.compression == dib::kRle4;
    if (rle && (h.width > kMaxRleSide || h.height > kMaxRleSide))
        return;

    DibInfo info{};
    BITMAPINFOHEADER& bih = info.header;
    bih.biSize = sizeof(BITMAPINFOHEADER);
    bih.biWidth = static_cast<LONG>(h.width);
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(h.bitCount);
    bih.biCompression = h.compression;
    const ImageView image(d.base, d.size);
    if (h.compression == dib::kBitfields) {
        std::memcpy(info.colors, h.masks, sizeof h.masks);
    } else if (h.colorCount) {
        // Always the full table: indices past the entries in use find black, on every GDI.
        bih.biClrUsed = 1u << h.bitCount;
        for (std::size_t i = 0; i < h.colorCount; ++i) {
            const std::uint64_t e = h.colorTable + 4 * i;
            if (image.Contains(e, 4))
                info.colors[i] = RGBQUAD{d.base[e], d.base[e + 1], d.base[e + 2], 0};
        }
    }
    const auto* bmi = reinterpret_cast<const BITMAPINFO*>(&info);
    const BYTE* bits = d.base + d.bitsOffset;
    const std::uint64_t avail = d.size - d.bitsOffset;

    if (rle) {
        // GDI reads the stream no further than biSizeImage: the stored size when it is set and
        // inside the image, else the rest of the image.
        bih.biSizeImage = static_cast<::DWORD>(h.sizeImage && h.sizeImage < avail ? h.sizeImage : avail);
        bih.biHeight = static_cast<LONG>(h.height);
        const int w = static_cast<int>(h.width), ht = static_cast<int>(h.height);
        StretchDIBits(m_dc.Get(), x, y, w, ht, 0, 0, w, ht, bits, bmi, DIB_RGB_COLORS, SRCCOPY);
        return;
    }

    // Uncompressed rows are handed to GDI only as far as the image holds them whole; a last,
    // partial row is drawn as far as its pixels' bytes are there, the rest stays as it was.
    const std::uint64_t rowBytes = DibRowBytes(h.width, h.bitCount);
    const auto height = static_cast<std::uint64_t>(h.height);
    const std::uint64_t whole = std::min(avail / rowBytes, height);
    // Only the columns the frame can show; every row given to GDI lies in the image either way.
    const LONG visible = static_cast<LONG>(std::min<std::int64_t>(h.width, std::int64_t{m_width} - x));
    // Bottom-up, the rows stored first are the picture's lowest ones.
    const std::int64_t top = h.topDown ? y : std::int64_t{y} + static_cast<std::int64_t>(height - whole);
    if (whole && top < m_height) {
        // Only the rows down to the frame's bottom edge: the topmost of those handed over, which
        // bottom-up are the ones stored last.
        const auto rows =
            static_cast<LONG>(std::min<std::uint64_t>(whole, static_cast<std::uint64_t>(m_height - top)));
        bih.biHeight = h.topDown ? -rows : rows;
        const BYTE* first = h.topDown ? bits : bits + (whole - static_cast<std::uint64_t>(rows)) * rowBytes;
        DrawRows(x, static_cast<int>(top), bmi, visible, rows, first);
    }
    if (whole == height)
        return;
    const std::uint64_t rest = avail - whole * rowBytes;
    const auto pixels = static_cast<LONG>(std::min<std::uint64_t>(rest * 8 / h.bitCount, visible));
    if (pixels <= 0)
        return;
    const std::int64_t rowTop = h.topDown ? std::int64_t{y} + static_cast<std::int64_t>(whole)
                                          : std::int64_t{y} + static_cast<std::int64_t>(height - 1 - whole);
    if (rowTop >= m_height)
        return;
    // One row of `pixels` pixels, copied so that GDI finds its padding bytes in our buffer.
    std::vector<BYTE> row(DibRowBytes(pixels, h.bitCount), 0);
    std::memcpy(row.data(), bits + whole * rowBytes, std::min<std::size_t>(row.size(), rest));
    bih.biWidth = pixels;
    bih.biHeight = 1;
    DrawRows(x, static_cast<int>(rowTop), bmi, pixels, 1, row.data());
}

// Draws `width` columns of a DIB of `rows` rows whose header `info` describes, unscaled, with its
// top-left pixel at (x, y).
void Win32Canvas::DrawRows(int x, int y, const BITMAPINFO* info, LONG width, LONG rows, const BYTE* bits) {
    StretchDIBits(m_dc.Get(), x, y, width, rows, 0, 0, width, rows, bits, info, DIB_RGB_COLORS, SRCCOPY);
}

void Win32Canvas::SelectPalette(const LogPalette& palette) {
    if (!IsReady() || palette.entries.empty() || palette.entries.size() > 0xFFFF)
        return;
    if (!m_palette || !(m_logPalette == palette)) {
        std::vector<BYTE> buffer(sizeof(LOGPALETTE) + palette.entries.size() * sizeof(PALETTEENTRY));
        auto* lp = reinterpret_cast<LOGPALETTE*>(buffer.data());
        lp->palVersion = palette.version;
        lp->palNumEntries = static_cast<WORD>(palette.entries.size());
        for (std::size_t i = 0; i < palette.entries.size(); ++i) {
            const PaletteEntry& e = palette.entries[i];
            lp->palPalEntry[i] = PALETTEENTRY{e.red, e.green, e.blue, e.flags};
        }
        GdiPalette made(CreatePalette(lp));
        if (!made)
            return;
        // The new palette goes in first; the old one, no longer selected, can then be deleted.
        ::SelectPalette(m_dc.Get(), made.Get(), TRUE);
        m_palette = std::move(made);
        m_logPalette = palette;
    } else {
        ::SelectPalette(m_dc.Get(), m_palette.Get(), TRUE);
    }
    RealizePalette(m_dc.Get());
}

void Win32Canvas::FillRect(const Rect& r, Color color) {
    if (!IsReady() || r.IsEmpty())
        return;
    const GdiBrush brush(CreateSolidBrush(ToColorRef(color)));
    if (!brush)
        return;
    const RECT rc{r.left, r.top, r.right, r.bottom};
    ::FillRect(m_dc.Get(), &rc, brush.Get());
}

void Win32Canvas::FillRegion(const RectRegion& region, Color color) {
    if (!IsReady() || region.IsEmpty())
        return;
    const GdiRegion rgn = CreateGdiRegion(region);
    const GdiBrush brush(CreateSolidBrush(ToColorRef(color)));
    if (rgn && brush)
        FillRgn(m_dc.Get(), rgn.Get(), brush.Get());
}

void Win32Canvas::TextOut(int x, int y, const AnsiString& text) {
    if (!IsReady())
        return;
    const std::wstring w = AnsiToWide(text.substr(0, text.find('\0')));
    if (!w.empty())
        ::TextOutW(m_dc.Get(), x, y, w.c_str(), static_cast<int>(w.size()));
}

void Win32Canvas::SelectFont(const FontSpec* font) {
    if (!IsReady())
        return;
    if (!font) {
        SelectObject(m_dc.Get(), m_defaultFont);
        return;
    }
    if (!m_font || !(m_fontSpec == *font)) {
        AnsiString face = font->faceName.substr(0, font->faceName.find('\0'));
        face.resize(Cp932CutLength(face, kFaceBytes));
        GdiFont made(CreateFontW(font->height, 0, 0, 0, font->weight, FALSE, FALSE, FALSE, font->charSet, 0,
                                 0, 0, 0, AnsiToWide(face).c_str()));
        // A font that cannot be made is ignored: the DC keeps the font it has.
        if (!made)
            return;
        SelectObject(m_dc.Get(), made.Get());
        m_font = std::move(made);
        m_fontSpec = *font;
        return;
    }
    SelectObject(m_dc.Get(), m_font.Get());
}

std::vector<Color> Win32Canvas::ReadPixels() const {
    std::vector<Color> pixels;
    if (!IsReady() || !m_width || !m_height)
        return pixels;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = m_width;
    bi.bmiHeader.biHeight = -m_height; // row 0 at the top
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<::DWORD> raw(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height));
    // GetDIBits wants the bitmap out of every DC while it reads.
    SelectObject(m_dc.Get(), m_defaultBitmap);
    const int got = GetDIBits(m_dc.Get(), m_bitmap.Get(), 0, static_cast<UINT>(m_height), raw.data(), &bi,
                              DIB_RGB_COLORS);
    SelectObject(m_dc.Get(), m_bitmap.Get());
    if (got != m_height)
        return pixels;
    pixels.reserve(raw.size());
    for (const ::DWORD v : raw)
        pixels.push_back(v & 0x00FFFFFF);
    return pixels;
}

} // namespace kp::win32
