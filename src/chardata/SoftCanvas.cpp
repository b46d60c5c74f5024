#include "chardata/SoftCanvas.h"

#include "chardata/ImageView.h"

#include <algorithm>

namespace kp {

namespace {

constexpr std::size_t kInfoHeaderSize = 40;

// One channel from a BI_BITFIELDS mask, widened to 8 bits by repeating its top bits.
struct Field {
    int shift = 0;
    int len = 0;
    explicit Field(DWORD mask) {
        if (!mask)
            return;
        while (!(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        while (mask) {
            mask >>= 1;
            ++len;
        }
        if (len > 8) { // only the top 8 bits count
            shift += len - 8;
            len = 8;
        }
    }
    BYTE Get(DWORD v) const {
        if (!len)
            return 0;
        DWORD c = ((v >> shift) & ((1u << len) - 1)) << (8 - len);
        c |= c >> len;
        return static_cast<BYTE>(c);
    }
};

} // namespace

bool ReadDibHeader(const DibRef& d, DibHeader& h) {
    const ImageView image(d.base, d.size);
    const FileOffset o = d.infoOffset;
    if (!image.Contains(o, kInfoHeaderSize))
        return false;
    const DWORD biSize = image.U32(o);
    const auto biWidth = static_cast<std::int32_t>(image.U32(o + 4));
    const auto biHeight = static_cast<std::int32_t>(image.U32(o + 8));
    h.bitCount = image.U16(o + 14);
    h.compression = image.U32(o + 16);
    h.sizeImage = image.U32(o + 20);
    const DWORD clrUsed = image.U32(o + 32);
    if (biSize < kInfoHeaderSize || biWidth <= 0 || biHeight == 0)
        return false;
    h.width = biWidth;
    h.topDown = biHeight < 0;
    h.height = h.topDown ? -static_cast<std::int64_t>(biHeight) : biHeight;

    bool depthOk = false;
    switch (h.compression) {
    case dib::kRgb:
        depthOk = h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 ||
                  h.bitCount == 24 || h.bitCount == 32;
        break;
    case dib::kRle8:
        depthOk = h.bitCount == 8 && !h.topDown;
        break;
    case dib::kRle4:
        depthOk = h.bitCount == 4 && !h.topDown;
        break;
    case dib::kBitfields:
        depthOk = (h.bitCount == 16 || h.bitCount == 32) && image.Contains(o + kInfoHeaderSize, 12);
        break;
    default:
        break;
    }
    if (!depthOk)
        return false;

    if (h.compression == dib::kBitfields) {
        for (int i = 0; i < 3; ++i)
            h.masks[i] = image.U32(o + kInfoHeaderSize + 4 * static_cast<std::size_t>(i));
    } else if (h.bitCount == 16) {
        h.masks[0] = 0x7C00; // 5-5-5
        h.masks[1] = 0x03E0;
        h.masks[2] = 0x001F;
    } else if (h.bitCount == 32) {
        h.masks[0] = 0xFF0000;
        h.masks[1] = 0x00FF00;
        h.masks[2] = 0x0000FF;
    }
    h.colorCount = 0;
    if (h.bitCount <= 8) {
        const std::size_t full = std::size_t{1} << h.bitCount;
        h.colorCount = clrUsed ? std::min<std::size_t>(clrUsed, full) : full;
    }
    // The colour table follows the header as the header's own size says (BITMAPINFO).
    h.colorTable = o + biSize;
    return true;
}

SoftCanvas::SoftCanvas(int width, int height, Color fill)
    : m_width(std::max(0, width)), m_height(std::max(0, height)),
      m_pixels(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height), fill) {}

void SoftCanvas::DrawDib(int x, int y, const DibRef& d) {
    DibHeader h;
    if (!ReadDibHeader(d, h))
        return;
    // Colours by index; entries past the ones in use, or lying outside the image, are black.
    Color table[256] = {};
    const ImageView image(d.base, d.size);
    for (std::size_t i = 0; i < h.colorCount; ++i) {
        const FileOffset e = h.colorTable + 4 * i;
        if (h.colorTable >= d.infoOffset && image.Contains(e, 4))
            table[i] = MakeColor(d.base[e + 2], d.base[e + 1], d.base[e]);
    }
    if (h.compression == dib::kRle8 || h.compression == dib::kRle4)
        DrawRle(x, y, d, h, table);
    else
        DrawUncompressed(x, y, d, h, table);
}

void SoftCanvas::DrawUncompressed(int x, int y, const DibRef& d, const DibHeader& h, const Color* table) {
    // The destination rectangle clipped to the canvas; x and y are never negative for cells, but
    // a caller may pass any position.
    const std::int64_t x0 = std::max<std::int64_t>(0, x);
    const std::int64_t x1 = std::min<std::int64_t>(m_width, std::int64_t{x} + h.width);
    const std::int64_t y0 = std::max<std::int64_t>(0, y);
    const std::int64_t y1 = std::min<std::int64_t>(m_height, std::int64_t{y} + h.height);
    if (x0 >= x1 || y0 >= y1 || d.bitsOffset >= d.size)
        return;
    const std::uint64_t rowBytes = DibRowBytes(h.width, h.bitCount);
    const std::uint64_t avail = d.size - d.bitsOffset;
    const std::uint64_t wholeRows = avail / rowBytes;
    const BYTE* bits = d.base + d.bitsOffset;
    const Field fr(h.masks[0]), fg(h.masks[1]), fb(h.masks[2]);
    const auto bpp = static_cast<unsigned>(h.bitCount);

    for (std::int64_t dy = y0; dy < y1; ++dy) {
        const auto py = static_cast<std::uint64_t>(dy - y);
        const std::uint64_t stored = h.topDown ? py : static_cast<std::uint64_t>(h.height) - 1 - py;
        if (stored > wholeRows)
            continue; // the row lies past the end of the image
        const std::uint64_t start = stored * rowBytes;
        const std::uint64_t rowAvail = std::min(rowBytes, avail - start);
        // Pixels whose bytes are all present; the rest of the row is left as it was.
        const std::uint64_t pixels = rowAvail * 8 / bpp;
        const BYTE* row = bits + start;
        Color* out = &m_pixels[static_cast<std::size_t>(dy) * m_width];
        for (std::int64_t dx = x0; dx < x1; ++dx) {
            const auto px = static_cast<std::uint64_t>(dx - x);
            if (px >= pixels)
                break;
            Color c = 0;
            switch (bpp) {
            case 1:
                c = table[(row[px >> 3] >> (7 - (px & 7))) & 1];
                break;
            case 4:
                c = table[(px & 1) ? (row[px >> 1] & 0x0F) : (row[px >> 1] >> 4)];
                break;
            case 8:
                c = table[row[px]];
                break;
            case 24:
                c = MakeColor(row[3 * px + 2], row[3 * px + 1], row[3 * px]);
                break;
            case 16: {
                const DWORD v = row[2 * px] | (row[2 * px + 1] << 8);
                c = MakeColor(fr.Get(v), fg.Get(v), fb.Get(v));
                break;
            }
            default: {
                const BYTE* p = row + 4 * px;
                const DWORD v = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
                c = MakeColor(fr.Get(v), fg.Get(v), fb.Get(v));
                break;
            }
            }
            out[dx] = c;
        }
    }
}

// BI_RLE8 and BI_RLE4: rows from the bottom; pixels the stream skips (end of line, delta, end
// of bitmap) keep what the canvas had. Decoding stops at the end of the image (or of
// biSizeImage when it is set), at the end-of-bitmap code, or past the top row.
void SoftCanvas::DrawRle(int x, int y, const DibRef& d, const DibHeader& h, const Color* table) {
    if (d.bitsOffset >= d.size)
        return;
    // Inside the block after the test above, so the offset fits a size_t.
    auto pos = static_cast<std::size_t>(d.bitsOffset);
    std::size_t end = d.size;
    if (h.sizeImage && h.sizeImage < end - pos)
        end = pos + h.sizeImage;
    const bool four = h.compression == dib::kRle4;
    std::int64_t px = 0;
    std::int64_t row = 0; // stored row, 0 = the bottom one
    // Plots pixels [px, px + n) of the current row, clipped to the bitmap's width.
    const auto plotRun = [&](std::int64_t n, auto colorAt) {
        const std::int64_t last = std::min<std::int64_t>(px + n, h.width);
        const std::int64_t dy = std::int64_t{y} + (h.height - 1 - row);
        for (std::int64_t i = px; i < last; ++i)
            Plot(std::int64_t{x} + i, dy, colorAt(i - px));
        px += n;
    };
    while (row < h.height && end - pos >= 2) {
        const BYTE count = d.base[pos];
        const BYTE value = d.base[pos + 1];
        pos += 2;
        if (count) {
            if (four) {
                const Color hi = table[value >> 4], lo = table[value & 0x0F];
                plotRun(count, [&](std::int64_t i) { return (i & 1) ? lo : hi; });
            } else {
                const Color c = table[value];
                plotRun(count, [&](std::int64_t) { return c; });
            }
            continue;
        }
        if (value == 0) { // end of line
            px = 0;
            ++row;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta: right and up
            if (end - pos < 2)
                break;
            px += d.base[pos];
            row += d.base[pos + 1];
            pos += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1u) / 2u : value;
            const std::size_t padded = (bytes + 1u) & ~std::size_t{1};
            if (end - pos < bytes)
                break;
            const BYTE* run = d.base + pos;
            if (four)
                plotRun(value, [&](std::int64_t i) {
                    return table[(i & 1) ? (run[i >> 1] & 0x0F) : (run[i >> 1] >> 4)];
                });
            else
                plotRun(value, [&](std::int64_t i) { return table[run[i]]; });
            pos += std::min(padded, end - pos);
        }
    }
}

void SoftCanvas::SelectPalette(const LogPalette& palette) {
    // True-colour pixels: the palette changes nothing drawn here; it is kept for inspection.
    m_palette = palette;
    ++m_paletteSelections;
}

void SoftCanvas::FillRect(const Rect& r, Color color) {
    const int x0 = std::max(0, r.left), x1 = std::min(m_width, r.right);
    const int y0 = std::max(0, r.top), y1 = std::min(m_height, r.bottom);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx)
            m_pixels[static_cast<std::size_t>(yy) * m_width + xx] = color;
}

void SoftCanvas::FillRegion(const RectRegion& region, Color color) {
    for (const Rect& r : region.Rects())
        FillRect(r, color);
}

void SoftCanvas::SelectFont(const FontSpec* font) {
    if (font)
        m_font = *font;
    else
        m_font.reset();
}

void SoftCanvas::TextOut(int x, int y, const AnsiString& text) {
    const std::size_t n = std::min(text.find('\0'), text.size());
    if (n == 0)
        return;
    if (m_pTextRenderer && m_pTextRenderer->DrawText(PixelView{m_pixels.data(), m_width, m_height}, x, y,
                                                     text.substr(0, n), SelectedFont()))
        return;
    if (x >= m_width || y >= m_height) // the box grows right and down: nothing would show
        return;
    // The placeholder: the font's height (a character height taken as the cell height), 16 for
    // the default font, half of it per byte; far past the canvas either way is the same.
    static constexpr std::int64_t kFar = 1 << 30;
    std::int64_t cell = m_font && m_font->height != 0 ? m_font->height : 16;
    cell = std::min(cell < 0 ? -cell : cell, kFar);
    const std::int64_t w = static_cast<std::int64_t>(n) * std::max<std::int64_t>(1, cell / 2);
    const auto clampFar = [](std::int64_t v) { return static_cast<int>(std::min(v, kFar)); };
    const Rect box{x, y, clampFar(std::int64_t{x} + w), clampFar(std::int64_t{y} + cell)};
    FillRect(box, MakeColor(255, 255, 255));
    FillRect(Rect{box.left, box.top, box.right, box.top + 1}, 0);
    FillRect(Rect{box.left, box.bottom - 1, box.right, box.bottom}, 0);
    FillRect(Rect{box.left, box.top, box.left + 1, box.bottom}, 0);
    FillRect(Rect{box.right - 1, box.top, box.right, box.bottom}, 0);
}

} // namespace kp
