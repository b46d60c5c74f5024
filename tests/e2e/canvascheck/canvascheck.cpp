// canvascheck.exe: the Win32 canvas against the software canvas, under Wine.
//
//   canvascheck draw          every picture case drawn by GDI (Win32Canvas) and by SoftCanvas on
//                             the same background; one line per case, exit 1 on any difference
//   canvascheck cycles N      N rounds of palettes, fonts, text, fills and cells on canvases made
//                             and destroyed along the way; exit 1 unless every GDI object the
//                             wrappers made was deleted again, and repeats made nothing new
//   canvascheck counter       an object deleted while selected is counted as still held
//   canvascheck balance       the GDI object balance of the running Kelpo32.exe, asked through its
//                             registered message; exit 2 when no character window answers
//
// Cells are made with the character builder's cell type and laid out as a cell record holds them.
#include "win32/Win32Canvas.h"

#include "app/Commands.h"

#include "Builder.h"
#include "PictureFixtures.h"
#include "chardata/SoftCanvas.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using kp::Color;
using kp::DibRef;
using kp::build::Bytes;
using kp::build::Cell;
using kp::test::DibBlob;
using kp::test::MakeDib;
using kp::win32::GdiObjectBalance;
using kp::win32::GdiObjectCounts;
using kp::win32::Win32Canvas;

namespace {

constexpr int kCanvasW = 64;
constexpr int kCanvasH = 48;
constexpr Color kBackground = kp::MakeColor(0x12, 0x34, 0x56);

// A fixed pseudo-random byte source, so that every run draws the same cells.
struct Bytesource {
    std::uint32_t state;
    BYTE Next() {
        state = state * 1103515245u + 12345u;
        return static_cast<BYTE>(state >> 16);
    }
    Bytes Take(std::size_t n) {
        Bytes b(n);
        for (BYTE& v : b)
            v = Next();
        return b;
    }
};

Bytes ColorTable(int entries, std::uint32_t seed) {
    Bytesource src{seed};
    Bytes t;
    for (int i = 0; i < entries; ++i) {
        t.push_back(src.Next());
        t.push_back(src.Next());
        t.push_back(src.Next());
        t.push_back(0);
    }
    return t;
}

std::size_t RowBytes(std::int32_t w, int bits) {
    return static_cast<std::size_t>(kp::DibRowBytes(w, bits));
}

// An uncompressed cell of random pixels; height below 0 is top-down.
Cell RandomCell(std::int32_t w, std::int32_t h, WORD bits, DWORD compression, std::uint32_t seed) {
    Cell c;
    c.width = w;
    c.height = h;
    c.bitCount = bits;
    c.compression = compression;
    if (bits <= 8)
        c.colors = ColorTable(1 << bits, seed ^ 0x5A5A);
    Bytesource src{seed};
    c.bits = src.Take(RowBytes(w, bits) * static_cast<std::size_t>(h < 0 ? -h : h));
    return c;
}

Bytes U32s(std::initializer_list<DWORD> values) {
    Bytes b;
    for (DWORD v : values)
        kp::build::AppendU32(b, v);
    return b;
}

// A run-length stream of `rows` rows of `w` pixels: encoded runs, absolute runs (odd lengths
// with their padding), a delta that skips pixels, a row cut short by an end of line, and an
// end of bitmap two rows before the top, so that skipped pixels must keep the background.
Bytes RleStream(bool four, int w, int rows, std::uint32_t seed) {
    Bytesource src{seed};
    Bytes s;
    const int maxIndex = four ? 16 : 256;
    for (int row = 0; row < rows - 2; ++row) {
        int x = 0;
        if (row == 3) { // delta: 5 right, 1 up, then the rest of that row
            s.insert(s.end(), {0, 2, 5, 1});
            ++row;
            x = 5;
        }
        if (row == 6) { // a row left after 7 pixels
            s.insert(s.end(), {7, static_cast<BYTE>(src.Next() % maxIndex)});
            s.insert(s.end(), {0, 0});
            continue;
        }
        while (x < w) {
            const int left = w - x;
            if (src.Next() & 1) {
                const int n = std::min(left, 1 + src.Next() % 9);
                s.push_back(static_cast<BYTE>(n));
                s.push_back(src.Next());
                x += n;
            } else if (left >= 3) {
                const int n = std::min(left, 3 + src.Next() % 7);
                s.push_back(0);
                s.push_back(static_cast<BYTE>(n));
                const int bytes = four ? (n + 1) / 2 : n;
                for (int i = 0; i < bytes; ++i)
                    s.push_back(src.Next());
                if (bytes & 1)
                    s.push_back(0);
                x += n;
            } else {
                s.push_back(static_cast<BYTE>(left));
                s.push_back(src.Next());
                x += left;
            }
        }
        s.insert(s.end(), {0, 0});
    }
    s.insert(s.end(), {0, 1});
    return s;
}

Cell RleCell(bool four, int w, int h, std::uint32_t seed) {
    Cell c;
    c.width = w;
    c.height = h;
    c.bitCount = four ? 4 : 8;
    c.compression = four ? kp::dib::kRle4 : kp::dib::kRle8;
    c.colors = ColorTable(1 << c.bitCount, seed);
    c.bits = RleStream(four, w, h, seed * 7 + 1);
    return c;
}

// The part of a run-length stream (no further than `limit` bytes) that GDI draws: up to the last
// escape that ends a row's runs (end of line, delta, end of bitmap), then an end of bitmap. GDI
// keeps the pixels of a last row whose runs no escape closed, when the stream runs out first.
Bytes DrawnRlePart(const Bytes& stream, std::size_t limit, bool four) {
    limit = std::min(limit, stream.size());
    std::size_t pos = 0, closed = 0;
    while (limit - pos >= 2) {
        const BYTE count = stream[pos], value = stream[pos + 1];
        pos += 2;
        if (count)
            continue;
        if (value == 0 || value == 1) {
            closed = pos;
            if (value == 1)
                break;
        } else if (value == 2) {
            if (limit - pos < 2)
                break;
            pos += 2;
            closed = pos;
        } else {
            const std::size_t bytes = four ? (value + 1u) / 2u : value;
            if (limit - pos < bytes)
                break;
            pos += std::min<std::size_t>((bytes + 1) & ~std::size_t{1}, limit - pos);
        }
    }
    Bytes out(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(closed));
    out.insert(out.end(), {0, 1});
    return out;
}

struct PictureCase {
    std::string name;
    Bytes image;
    std::size_t infoOffset = 0;
    std::size_t bitsOffset = 0;
    int x = 5;
    int y = 3;
    // When set, what the software canvas draws for the comparison instead of `image`.
    std::optional<DibBlob> softImage;
    // False for cells that must leave the frame as it was (refused, or outside the frame).
    bool drawn = true;
};

PictureCase FromBlob(std::string name, const DibBlob& blob, int x = 5, int y = 3) {
    PictureCase c;
    c.name = std::move(name);
    c.image = blob.bytes;
    c.bitsOffset = blob.bitsOffset;
    c.x = x;
    c.y = y;
    return c;
}

std::vector<PictureCase> PictureCases() {
    std::vector<PictureCase> cases;
    std::uint32_t seed = 1;
    // Every depth of BI_RGB, both row orders, an odd width so that rows carry padding.
    for (WORD bits : {1, 4, 8, 16, 24, 32}) {
        for (bool topDown : {false, true}) {
            const std::string name = "rgb" + std::to_string(bits) + (topDown ? "-topdown" : "-bottomup");
            cases.push_back(FromBlob(name, MakeDib(RandomCell(37, topDown ? -13 : 13, bits, 0, ++seed))));
        }
    }
    // BI_BITFIELDS: 5-6-5 and 5-5-5 at 16 bits, swapped and 10-bit channels at 32 bits.
    const struct {
        const char* name;
        WORD bits;
        Bytes masks;
    } fields[] = {
        {"bitfields16-565", 16, U32s({0xF800, 0x07E0, 0x001F})},
        {"bitfields16-555", 16, U32s({0x7C00, 0x03E0, 0x001F})},
        {"bitfields32-bgr", 32, U32s({0x000000FF, 0x0000FF00, 0x00FF0000})},
        {"bitfields32-888", 32, U32s({0x00FF0000, 0x0000FF00, 0x000000FF})},
        {"bitfields32-10bit", 32, U32s({0x3FF00000, 0x000FFC00, 0x000003FF})},
    };
    for (const auto& f : fields)
        for (bool topDown : {false, true})
            cases.push_back(FromBlob(std::string(f.name) + (topDown ? "-topdown" : "-bottomup"),
                                     MakeDib(RandomCell(21, topDown ? -9 : 9, f.bits, 3, ++seed), f.masks)));
    // Run-length forms with every escape; the skipped pixels keep the background.
    cases.push_back(FromBlob("rle8", MakeDib(RleCell(false, 29, 12, ++seed))));
    cases.push_back(FromBlob("rle4", MakeDib(RleCell(true, 29, 12, ++seed))));
    {
        // biSizeImage shorter than the stream: decoding stops there, and the row it stops in is
        // not drawn.
        Cell c = RleCell(false, 29, 12, ++seed);
        DibBlob d = MakeDib(c);
        kp::build::PutU32(d.bytes, 20, 40);
        PictureCase pc = FromBlob("rle8-short-sizeimage", d);
        c.bits = DrawnRlePart(c.bits, 40, false);
        pc.softImage = MakeDib(c);
        cases.push_back(pc);
    }
    {
        // A stream with no end-of-bitmap that runs out with the image.
        Cell c = RleCell(true, 29, 12, ++seed);
        c.bits.resize(c.bits.size() / 2);
        PictureCase pc = FromBlob("rle4-cut-by-image-end", MakeDib(c));
        c.bits = DrawnRlePart(c.bits, c.bits.size(), true);
        pc.softImage = MakeDib(c);
        cases.push_back(pc);
    }
    // Fewer colours in use than the depth allows: the rest are black.
    cases.push_back(FromBlob("rgb8-clrused-20", MakeDib(RandomCell(19, 7, 8, 0, ++seed), {}, 20)));
    // Clipped by the frame's right and bottom edges, and far outside it.
    cases.push_back(FromBlob("rgb8-clipped", MakeDib(RandomCell(37, 13, 8, 0, ++seed)), 50, 40));
    cases.push_back(FromBlob("rgb24-clipped-topdown", MakeDib(RandomCell(37, -13, 24, 0, ++seed)), 40, 41));
    cases.push_back(FromBlob("rgb8-at-fff0", MakeDib(RandomCell(8, 4, 8, 0, ++seed)), 0xFFF0, 0xFFF0));
    cases.back().drawn = false;
    cases.push_back(FromBlob("rle8-clipped", MakeDib(RleCell(false, 29, 12, ++seed)), 45, 40));
    // Images cut inside the bits: whole rows, then a partial row as far as its bytes go.
    for (bool topDown : {false, true}) {
        for (WORD bits : {4, 24}) {
            DibBlob d = MakeDib(RandomCell(23, topDown ? -11 : 11, bits, 0, ++seed));
            d.bytes.resize(d.bitsOffset + RowBytes(23, bits) * 4 + 5);
            cases.push_back(
                FromBlob("rgb" + std::to_string(bits) + "-cut" + (topDown ? "-topdown" : "-bottomup"), d));
        }
    }
    {
        // A header claiming 2^31 - 1 rows over 60 stored ones: top-down the stored rows show from
        // the top; bottom-up they are the picture's lowest rows, far below the frame.
        Cell tall = RandomCell(9, 60, 1, 0, ++seed);
        tall.height = -0x7FFFFFFF;
        cases.push_back(FromBlob("rgb1-huge-height-topdown", MakeDib(tall)));
        tall.height = 0x7FFFFFFF;
        cases.push_back(FromBlob("rgb1-huge-height-bottomup", MakeDib(tall)));
        cases.back().drawn = false;
    }
    {
        // The colour table cut by the end of the image, the bits in front of the header.
        const DibBlob d = MakeDib(RandomCell(10, 6, 8, 0, ++seed));
        const Bytes bits(d.bytes.begin() + static_cast<std::ptrdiff_t>(d.bitsOffset), d.bytes.end());
        PictureCase c;
        c.name = "rgb8-colour-table-cut";
        c.image = bits;
        c.infoOffset = bits.size();
        c.image.insert(c.image.end(), d.bytes.begin(), d.bytes.begin() + 40 + 4 * 100);
        c.bitsOffset = 0;
        cases.push_back(c);
    }
    {
        // Headers no one can draw: both canvases are left alone.
        Cell c = RandomCell(6, 4, 8, 0, ++seed);
        c.compression = 7;
        cases.push_back(FromBlob("refused-compression", MakeDib(c)));
        cases.back().drawn = false;
        Cell topRle = RleCell(false, 6, 4, ++seed);
        topRle.height = -4;
        cases.push_back(FromBlob("refused-topdown-rle", MakeDib(topRle)));
        cases.back().drawn = false;
        Cell core = RandomCell(6, 4, 8, 0, ++seed);
        core.biSize = 12;
        cases.push_back(FromBlob("refused-small-bisize", MakeDib(core)));
        cases.back().drawn = false;
    }
    return cases;
}

// A palette of `n` entries.
kp::LogPalette Palette(int n, std::uint32_t seed) {
    Bytesource src{seed};
    kp::LogPalette p;
    for (int i = 0; i < n; ++i)
        p.entries.push_back(kp::PaletteEntry{src.Next(), src.Next(), src.Next(), 0});
    return p;
}

kp::RectRegion SomeRegion(int k) {
    kp::RectRegion r(kp::Rect{2 + k % 5, 2, 20, 9});
    r = kp::RectRegion::Union(r, kp::RectRegion(kp::Rect{10, 6 + k % 3, 30, 30}));
    return kp::RectRegion::Difference(r, kp::RectRegion(kp::Rect{12, 12, 16, 16}));
}

bool Compare(const std::string& name, const std::vector<Color>& gdi, const kp::SoftCanvas& soft) {
    if (gdi.size() != soft.Pixels().size()) {
        std::printf("FAIL %s: cannot read the GDI frame\n", name.c_str());
        return false;
    }
    int differing = 0;
    int firstX = 0, firstY = 0;
    for (int y = 0; y < kCanvasH; ++y)
        for (int x = 0; x < kCanvasW; ++x)
            if (gdi[static_cast<std::size_t>(y) * kCanvasW + x] != soft.Pixel(x, y) && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (differing) {
        std::printf("FAIL %s: %d pixels differ, first at (%d, %d): gdi %06lX, soft %06lX\n", name.c_str(),
                    differing, firstX, firstY,
                    static_cast<unsigned long>(gdi[static_cast<std::size_t>(firstY) * kCanvasW + firstX]),
                    static_cast<unsigned long>(soft.Pixel(firstX, firstY)));
        int shown = 0;
        for (int y = 0; y < kCanvasH && shown < 12; ++y)
            for (int x = 0; x < kCanvasW && shown < 12; ++x)
                if (gdi[static_cast<std::size_t>(y) * kCanvasW + x] != soft.Pixel(x, y) && shown++)
                    std::printf("    also (%d, %d): gdi %06lX, soft %06lX\n", x, y,
                                static_cast<unsigned long>(gdi[static_cast<std::size_t>(y) * kCanvasW + x]),
                                static_cast<unsigned long>(soft.Pixel(x, y)));
        return false;
    }
    std::printf("ok %s\n", name.c_str());
    return true;
}

int Draw() {
    int failed = 0, total = 0;
    for (PictureCase& c : PictureCases()) {
        const DibRef ref{c.image.data(), c.image.size(), c.infoOffset, c.bitsOffset};
        Win32Canvas gdi(nullptr, kCanvasW, kCanvasH, kBackground);
        kp::SoftCanvas soft(kCanvasW, kCanvasH, kBackground);
        if (!gdi.IsReady()) {
            std::printf("FAIL %s: no GDI canvas\n", c.name.c_str());
            return 1;
        }
        // A realized palette changes nothing on a true-colour frame with RGB colour tables.
        gdi.SelectPalette(Palette(256, 3));
        soft.SelectPalette(Palette(256, 3));
        gdi.DrawDib(c.x, c.y, ref);
        soft.DrawDib(c.x, c.y, c.softImage ? c.softImage->Ref() : ref);
        ++total;
        const auto changed = std::count_if(soft.Pixels().begin(), soft.Pixels().end(),
                                           [](Color v) { return v != kBackground; });
        if ((changed > 0) != c.drawn) {
            std::printf("FAIL %s: %d pixels drawn\n", c.name.c_str(), static_cast<int>(changed));
            ++failed;
            continue;
        }
        failed += !Compare(c.name, gdi.ReadPixels(), soft);
    }
    {
        // Filled rectangles and regions, the colour-key painting of the shaped window.
        Win32Canvas gdi(nullptr, kCanvasW, kCanvasH, kBackground);
        kp::SoftCanvas soft(kCanvasW, kCanvasH, kBackground);
        const Color key = kp::MakeColor(0, 250, 250);
        for (kp::ICanvas* cv : {static_cast<kp::ICanvas*>(&gdi), static_cast<kp::ICanvas*>(&soft)}) {
            cv->FillRect(kp::Rect{-5, 30, 70, 35}, kp::MakeColor(200, 10, 30));
            cv->FillRegion(SomeRegion(3), key);
            cv->FillRegion(kp::RectRegion(), 0);
        }
        ++total;
        failed += !Compare("fills", gdi.ReadPixels(), soft);
    }
    {
        // Text is not compared; but GDI must write black on white at its place and nowhere
        // above or left of it.
        Win32Canvas gdi(nullptr, kCanvasW, kCanvasH, kBackground);
        const kp::FontSpec font{-16, 700, 128, "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e"};
        gdi.SelectFont(&font);
        gdi.TextOut(10, 20, std::string("A\x82\xa0", 3) + std::string(1, '\0') + "ignored");
        const std::vector<Color> px = gdi.ReadPixels();
        int black = 0, white = 0, outside = 0;
        for (int y = 0; y < kCanvasH; ++y)
            for (int x = 0; x < kCanvasW; ++x) {
                const Color v = px.empty() ? kBackground : px[static_cast<std::size_t>(y) * kCanvasW + x];
                if ((x < 10 || y < 20) && v != kBackground)
                    ++outside;
                black += v == 0;
                white += v == 0xFFFFFF;
            }
        ++total;
        if (!black || !white || outside) {
            std::printf("FAIL text: %d black, %d white pixels, %d changed outside\n", black, white, outside);
            ++failed;
        } else {
            std::printf("ok text\n");
        }
    }
    std::printf("%d cases, %d failed\n", total, failed);
    return failed ? 1 : 0;
}

int Cycles(int rounds) {
    const DibBlob cell = MakeDib(RandomCell(16, 16, 8, 0, 99));
    const DibBlob rle = MakeDib(RleCell(false, 16, 16, 7));
    const long before = GdiObjectBalance();
    long held = -1;
    bool repeatsQuiet = true;
    {
        auto canvas = std::make_unique<Win32Canvas>(nullptr, kCanvasW, kCanvasH);
        for (int i = 0; i < rounds; ++i) {
            if (i % 50 == 49) // a new window, a new frame
                canvas = std::make_unique<Win32Canvas>(nullptr, kCanvasW, kCanvasH);
            // One step of a pattern: its font in, a palette, text, cells, the colour key, its
            // font out again; each round brings a new font and a new palette.
            const kp::FontSpec font{-(8 + i % 9), 700, 128, i % 2 ? "MS Gothic" : "\x82\x6c\x82\x72"};
            canvas->SelectFont(&font);
            canvas->SelectPalette(Palette(i % 3 == 0   ? 2
                                          : i % 3 == 1 ? 16
                                                       : 256,
                                          static_cast<std::uint32_t>(i)));
            canvas->TextOut(1, 1, "Kelpo");
            canvas->DrawDib(i % 40, 2, cell.Ref());
            canvas->DrawDib(3, i % 30, rle.Ref());
            canvas->FillRegion(SomeRegion(i), kp::MakeColor(0, 250, 250));
            canvas->FillRect(kp::Rect{0, 40, 64, 48}, kp::MakeColor(1, 2, 3));
            canvas->SelectFont(nullptr);
            // The same font and palette again make nothing new.
            const long created = GdiObjectCounts().created;
            const kp::LogPalette same = Palette(i % 3 == 0   ? 2
                                                : i % 3 == 1 ? 16
                                                             : 256,
                                                static_cast<std::uint32_t>(i));
            canvas->SelectFont(&font);
            canvas->SelectPalette(same);
            canvas->SelectFont(nullptr);
            if (GdiObjectCounts().created != created)
                repeatsQuiet = false;
        }
        held = GdiObjectBalance() - before;
    }
    const kp::win32::GdiCounts counts = GdiObjectCounts();
    const long after = GdiObjectBalance() - before;
    std::printf("rounds %d created %ld deleted %ld handed-over %ld held-while-open %ld balance-after %ld "
                "repeats-made-nothing %s\n",
                rounds, counts.created, counts.deleted, counts.handedOver, held, after,
                repeatsQuiet ? "yes" : "no");
    // An open canvas holds its DC, its frame bitmap, one palette and one font.
    return after == 0 && held == 4 && repeatsQuiet && counts.created > 5L * rounds ? 0 : 1;
}

// The count itself: an object deleted while still selected into a DC is not deleted (Windows
// refuses, Wine defers it), and the balance must show it.
int Counter() {
    const long before = GdiObjectBalance();
    kp::win32::MemoryDc dc(nullptr);
    {
        kp::win32::GdiBrush brush(CreateSolidBrush(RGB(1, 2, 3)));
        kp::win32::GdiFont font(CreateFontW(-12, 0, 0, 0, 700, 0, 0, 0, 128, 0, 0, 0, 0, L"MS Gothic"));
        SelectObject(dc.Get(), font.Get());
    } // the brush goes; the font stays selected: a leak
    const long leaked = GdiObjectBalance() - before;
    std::printf("counted-while-selected %ld\n", leaked);
    // The DC itself and the font still in it.
    return leaked == 2 ? 0 : 1;
}

int Balance() {
    HWND hwnd = FindWindowW(L"" KP_WINDOW_CLASS, L"" KP_APP_TITLE);
    const UINT msg = RegisterWindowMessageW(kp::win32::kGdiBalanceMessageName);
    DWORD_PTR result = 0;
    if (!hwnd || !msg || !SendMessageTimeoutW(hwnd, msg, 0, 0, SMTO_ABORTIFHUNG, 5000, &result)) {
        std::printf("no answer\n");
        return 2;
    }
    std::printf("balance %ld\n", static_cast<long>(static_cast<LONG_PTR>(result)));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 2 && !std::wcscmp(argv[1], L"draw"))
        return Draw();
    if (argc >= 3 && !std::wcscmp(argv[1], L"cycles"))
        return Cycles(static_cast<int>(std::wcstol(argv[2], nullptr, 10)));
    if (argc >= 2 && !std::wcscmp(argv[1], L"counter"))
        return Counter();
    if (argc >= 2 && !std::wcscmp(argv[1], L"balance"))
        return Balance();
    std::fprintf(stderr, "usage: canvascheck draw | cycles N | balance\n");
    return 2;
}
