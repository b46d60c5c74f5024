#include "render/FreeTypeText.h"

#include "platform/Cp932.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <vector>

namespace kp {

namespace {

// What Windows shows for a code page 932 byte sequence with no character: the default
// character of the code page, the katakana middle dot.
constexpr char32_t kDefaultChar = 0x30FB;

constexpr const char* kFixedPitchFiles[] = {
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf",
};
constexpr const char* kProportionalFiles[] = {
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
};

template <std::size_t N> std::string FirstReadable(const char* const (&paths)[N]) {
    for (const char* p : paths)
        if (std::ifstream(p, std::ios::binary))
            return p;
    return {};
}

// a / b rounded to nearest, for a >= 0 and b > 0.
std::int64_t RoundDiv(std::int64_t a, std::int64_t b) {
    return (2 * a + b) / (2 * b);
}

// Code page 932 to Unicode, one character at a time, so that a bad sequence costs only itself.
class Cp932Decoder {
public:
    Cp932Decoder() : m_cd(iconv_open("UTF-32LE", "CP932")) {}
    ~Cp932Decoder() {
        if (Ok())
            iconv_close(m_cd);
    }
    Cp932Decoder(const Cp932Decoder&) = delete;
    Cp932Decoder& operator=(const Cp932Decoder&) = delete;

    std::vector<char32_t> Decode(const AnsiString& text) {
        std::vector<char32_t> out;
        out.reserve(text.size());
        for (std::size_t i = 0; i < text.size();) {
            const bool lead = IsCp932LeadByte(static_cast<BYTE>(text[i]));
            if (lead && i + 1 >= text.size()) { // half a character at the end
                out.push_back(kDefaultChar);
                break;
            }
            const std::size_t n = lead ? 2 : 1;
            out.push_back(One(text.data() + i, n));
            i += n;
        }
        return out;
    }

private:
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    char32_t One(const char* bytes, std::size_t n) {
        if (n == 1 && static_cast<BYTE>(bytes[0]) < 0x80 && !Ok())
            return static_cast<BYTE>(bytes[0]);
        if (!Ok())
            return kDefaultChar;
        unsigned char buf[8];
        char* in = const_cast<char*>(bytes); // iconv declares char**; nothing is written
        std::size_t inLeft = n;
        char* outp = reinterpret_cast<char*>(buf);
        std::size_t outLeft = sizeof buf;
        const std::size_t r = iconv(m_cd, &in, &inLeft, &outp, &outLeft);
        if (r == static_cast<std::size_t>(-1) || inLeft != 0 || sizeof buf - outLeft != 4) {
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
            return kDefaultChar;
        }
        return static_cast<char32_t>(buf[0] | buf[1] << 8 | buf[2] << 16 |
                                     static_cast<char32_t>(buf[3]) << 24);
    }

    iconv_t m_cd;
};

// One glyph of a laid-out text: its index in the face and its pen position from the box's left.
struct PlacedGlyph {
    FT_UInt index = 0;
    std::int64_t pen = 0;
};

} // namespace

JapaneseFonts FindJapaneseFonts() {
    return JapaneseFonts{FirstReadable(kFixedPitchFiles), FirstReadable(kProportionalFiles)};
}

bool IsProportionalFaceName(const AnsiString& faceName) {
    std::string ascii; // the single-byte characters, in lower case
    for (std::size_t i = 0; i < faceName.size();) {
        const auto b = static_cast<BYTE>(faceName[i]);
        if (IsCp932LeadByte(b) && i + 1 < faceName.size()) {
            if (b == 0x82 && static_cast<BYTE>(faceName[i + 1]) == 0x6F) // full-width P
                return true;
            ascii += ' ';
            i += 2;
            continue;
        }
        ascii += static_cast<char>(std::tolower(b));
        ++i;
    }
    for (const char* word : {"pgothic", "pmincho", "ui gothic"})
        if (ascii.find(word) != std::string::npos)
            return true;
    return false;
}

struct FreeTypeTextRenderer::Impl {
    FT_Library library = nullptr;
    FT_Face fixedPitch = nullptr;
    FT_Face proportional = nullptr;
    Cp932Decoder decoder;

    ~Impl() {
        if (fixedPitch)
            FT_Done_Face(fixedPitch);
        if (proportional)
            FT_Done_Face(proportional);
        if (library)
            FT_Done_FreeType(library);
    }

    FT_Face Open(const std::string& path) const {
        FT_Face face = nullptr;
        if (path.empty() || FT_New_Face(library, path.c_str(), 0, &face) != 0)
            return nullptr;
        if (!FT_IS_SCALABLE(face)) {
            FT_Done_Face(face);
            return nullptr;
        }
        return face;
    }

    FT_Face FaceFor(const FontSpec* font) const {
        const bool wantProportional = font && IsProportionalFaceName(font->faceName);
        FT_Face first = wantProportional ? proportional : fixedPitch;
        return first ? first : (wantProportional ? fixedPitch : proportional);
    }

    // GDI's mapping of a font height: a character height is the em, a cell height is the font's
    // Windows ascent plus descent; the cell is rounded from the OS/2 table's win metrics.
    static FontMetrics MetricsOf(FT_Face face, const FontSpec* font) {
        std::int64_t winAscent = face->ascender;
        std::int64_t winDescent = -static_cast<std::int64_t>(face->descender);
        if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            os2 && os2->usWinAscent + os2->usWinDescent > 0) {
            winAscent = os2->usWinAscent;
            winDescent = os2->usWinDescent;
        }
        winAscent = std::max<std::int64_t>(winAscent, 0);
        winDescent = std::max<std::int64_t>(winDescent, 0);
        std::int64_t span = winAscent + winDescent;
        if (span <= 0) { // no usable metrics: the em is the cell
            winAscent = face->units_per_EM;
            winDescent = 0;
            span = winAscent;
        }
        const std::int64_t upem = std::max<std::int64_t>(face->units_per_EM, 1);
        const std::int64_t height = font && font->height != 0 ? font->height : kDefaultCellHeight;
        FontMetrics m;
        if (height < 0) {
            m.pixelsPerEm = static_cast<int>(std::min<std::int64_t>(-height, kMaxPixelsPerEm));
            m.ascent = static_cast<int>(RoundDiv(winAscent * m.pixelsPerEm, upem));
            m.descent = static_cast<int>(RoundDiv(winDescent * m.pixelsPerEm, upem));
        } else {
            std::int64_t cell = height;
            std::int64_t ppem = RoundDiv(cell * upem, span);
            if (ppem > kMaxPixelsPerEm) {
                ppem = kMaxPixelsPerEm;
                cell = RoundDiv(span * ppem, upem);
            }
            m.pixelsPerEm = static_cast<int>(std::max<std::int64_t>(ppem, 1));
            m.ascent = static_cast<int>(RoundDiv(winAscent * cell, span));
            m.descent = static_cast<int>(cell - m.ascent);
        }
        if (m.CellHeight() < 1)
            m.ascent = 1;
        return m;
    }

    static bool Bold(const FontSpec* font) { return font && font->weight >= 600; }

    // Lays the text out on one line as TextOut does: no kerning, each glyph's hinted advance,
    // one pixel more per glyph in bold (GDI's simulated bold overstrikes one pixel to the right).
    std::vector<PlacedGlyph> Layout(FT_Face face, const FontMetrics& m, const AnsiString& text, bool bold,
                                    std::int64_t& width) {
        std::vector<PlacedGlyph> glyphs;
        width = 0;
        if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(m.pixelsPerEm)) != 0)
            return glyphs;
        for (const char32_t c : decoder.Decode(text)) {
            const FT_UInt index = FT_Get_Char_Index(face, c);
            if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO) != 0)
                continue;
            glyphs.push_back(PlacedGlyph{index, width});
            width += (face->glyph->advance.x + 32) >> 6;
            if (bold)
                ++width;
        }
        return glyphs;
    }
};

FreeTypeTextRenderer::FreeTypeTextRenderer(const JapaneseFonts& fonts) : m_impl(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&m_impl->library) != 0) {
        m_impl->library = nullptr;
        return;
    }
    m_impl->fixedPitch = m_impl->Open(fonts.fixedPitch);
    m_impl->proportional = m_impl->Open(fonts.proportional);
}

FreeTypeTextRenderer::~FreeTypeTextRenderer() = default;

bool FreeTypeTextRenderer::HasFont() const {
    return m_impl->fixedPitch || m_impl->proportional;
}

FontMetrics FreeTypeTextRenderer::Metrics(const FontSpec* font) const {
    const FT_Face face = m_impl->FaceFor(font);
    return face ? Impl::MetricsOf(face, font) : FontMetrics{};
}

TextExtent FreeTypeTextRenderer::Measure(const AnsiString& text, const FontSpec* font) const {
    const FT_Face face = m_impl->FaceFor(font);
    if (!face)
        return {};
    const FontMetrics m = Impl::MetricsOf(face, font);
    TextExtent e;
    e.height = m.CellHeight();
    m_impl->Layout(face, m, text, Impl::Bold(font), e.width);
    return e;
}

bool FreeTypeTextRenderer::DrawText(const PixelView& target, std::int64_t x, std::int64_t y,
                                    const AnsiString& text, const FontSpec* font) {
    const FT_Face face = m_impl->FaceFor(font);
    if (!face)
        return false;
    const FontMetrics m = Impl::MetricsOf(face, font);
    const bool bold = Impl::Bold(font);
    std::int64_t width = 0;
    const std::vector<PlacedGlyph> glyphs = m_impl->Layout(face, m, text, bold, width);

    // The box, clipped to the canvas; the glyphs' ink is kept inside it too.
    const std::int64_t x0 = std::max<std::int64_t>(x, 0);
    const std::int64_t x1 = std::min<std::int64_t>(x + width, target.width);
    const std::int64_t y0 = std::max<std::int64_t>(y, 0);
    const std::int64_t y1 = std::min<std::int64_t>(y + m.CellHeight(), target.height);
    if (x0 >= x1 || y0 >= y1)
        return true;
    const auto at = [&](std::int64_t px, std::int64_t py) -> Color& {
        return target.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(target.width) +
                             static_cast<std::size_t>(px)];
    };
    for (std::int64_t py = y0; py < y1; ++py)
        std::fill(&at(x0, py), &at(x0, py) + (x1 - x0), MakeColor(255, 255, 255));

    const std::int64_t baseline = y + m.ascent;
    for (const PlacedGlyph& g : glyphs) {
        const std::int64_t penX = x + g.pen;
        if (penX >= x1)
            break;
        if (FT_Load_Glyph(face, g.index, FT_LOAD_TARGET_MONO) != 0)
            continue;
        const FT_GlyphSlot slot = face->glyph;
        // Skip the rasterizing of glyphs wholly left of the visible part.
        const std::int64_t inkRight =
            penX + ((slot->metrics.horiBearingX + slot->metrics.width + 63) >> 6) + 2;
        if (inkRight <= x0)
            continue;
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0)
            continue;
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_MONO && bm.pixel_mode != FT_PIXEL_MODE_GRAY)
            continue;
        const unsigned char* top = bm.buffer;
        if (bm.pitch < 0) // an upward flow: the buffer's first row is the bottom one
            top -= static_cast<std::ptrdiff_t>(bm.pitch) * (static_cast<std::ptrdiff_t>(bm.rows) - 1);
        const std::int64_t left = penX + slot->bitmap_left;
        const std::int64_t rowTop = baseline - slot->bitmap_top;
        for (unsigned r = 0; r < bm.rows; ++r) {
            const std::int64_t py = rowTop + r;
            if (py < y0 || py >= y1)
                continue;
            const unsigned char* row = top + static_cast<std::ptrdiff_t>(r) * bm.pitch;
            for (unsigned c = 0; c < bm.width; ++c) {
                const bool ink =
                    bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[c >> 3] >> (7 - (c & 7))) & 1 : row[c] >= 128;
                if (!ink)
                    continue;
                for (std::int64_t px = left + c; px <= left + c + (bold ? 1 : 0); ++px)
                    if (px >= x0 && px < x1)
                        at(px, py) = 0;
            }
        }
    }
    return true;
}

} // namespace kp
