#include "Builder.h"

#include "chardata/Crc.h"
#include "chardata/DataFile.h"

#include <algorithm>

namespace kp::build {

using namespace kpfile;

void PutU16(Bytes& b, std::size_t off, WORD v) {
    b[off] = static_cast<BYTE>(v);
    b[off + 1] = static_cast<BYTE>(v >> 8);
}

void PutU32(Bytes& b, std::size_t off, DWORD v) {
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<BYTE>(v >> (8 * i));
}

void AppendU16(Bytes& b, WORD v) {
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}

void AppendU32(Bytes& b, DWORD v) {
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<BYTE>(v >> (8 * i)));
}

namespace {

void AppendFixedText(Bytes& b, const AnsiString& text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        b.push_back(i < text.size() && i + 1 < size ? static_cast<BYTE>(text[i]) : 0);
}

void AppendCell(Bytes& b, const Cell& cell) {
    AppendU16(b, cell.x);
    AppendU16(b, cell.y);
    b.insert(b.end(), 14, 0);
    AppendU32(b, cell.biSize);
    AppendU32(b, static_cast<DWORD>(cell.width));
    AppendU32(b, static_cast<DWORD>(cell.height));
    AppendU16(b, 1);
    AppendU16(b, cell.bitCount);
    AppendU32(b, cell.compression);
    AppendU32(b, static_cast<DWORD>(cell.bits.size()));
    AppendU32(b, 0);
    AppendU32(b, 0);
    AppendU32(b, 0);
    AppendU32(b, 0);
    Bytes colors = cell.colors;
    colors.resize(4 * ColorTableEntries(cell.bitCount), 0);
    b.insert(b.end(), colors.begin(), colors.end());
    b.insert(b.end(), cell.bits.begin(), cell.bits.end());
}

Bytes NameRecord(const AnsiString& name, WORD version) {
    Bytes text(name.begin(), name.end());
    text.push_back(0);
    const auto n = static_cast<WORD>(text.size());
    Bytes rec{3};
    AppendU16(rec, n);
    Bytes stored(text.size());
    if (version >= kFirstCheckedVersion)
        EncodeTextFormA(text.data(), text.size(), static_cast<BYTE>(n & 0xFF), stored.data());
    else
        stored = text;
    rec.insert(rec.end(), stored.begin(), stored.end());
    return rec;
}

} // namespace

std::size_t NameRecordLength(const AnsiString& name, WORD version) {
    return NameRecord(name, version).size();
}

Bytes WaitLoopBody(WORD ms, std::size_t nameRecordLength) {
    Bytes body{8};
    AppendU16(body, ms);
    body.push_back(13); // OP_GOTO back to the wait
    AppendU32(body, static_cast<DWORD>(nameRecordLength));
    return body;
}

Bytes BuildCharacter(const Character& c) {
    Bytes b(kFileHeaderSize, 0);
    b[0] = 'K';
    b[1] = 'P';
    PutU16(b, kVersion, c.version);

    // Cell section.
    const std::size_t cells = b.size();
    AppendU16(b, 0);
    AppendU16(b, c.width);
    AppendU16(b, c.height);
    AppendU16(b, 0);
    const std::size_t table = b.size();
    b.insert(b.end(), 4 * std::max<std::size_t>(1, c.cells.size()), 0);
    for (std::size_t i = 0; i < c.cells.size(); ++i) {
        PutU32(b, table + 4 * i, static_cast<DWORD>(b.size() - cells));
        AppendCell(b, c.cells[i]);
    }

    // The words in front of the character header, then the header itself.
    if (c.menuColumns)
        AppendU16(b, *c.menuColumns);
    AppendU16(b, c.prefixSize.value_or(c.menuColumns ? 6 : 4));
    const std::size_t crcWord = b.size();
    AppendU16(b, 0);
    const std::size_t header = b.size();
    AppendFixedText(b, c.name, kNameSize);
    AppendFixedText(b, c.about, kAboutSize);
    const WORD count = c.patternCount.value_or(static_cast<WORD>(c.patterns.size()));
    AppendU16(b, count);
    AppendU16(b, c.defaultPattern);
    AppendU16(b, c.defaultPosition);
    AppendU16(b, 0);
    const std::size_t patternTable = b.size();
    b.insert(b.end(), 4 * c.patterns.size(), 0);
    for (std::size_t g = 0; g < c.patterns.size(); ++g) {
        PutU32(b, patternTable + 4 * g, static_cast<DWORD>(b.size() - header));
        const Pattern& p = c.patterns[g];
        const Bytes rec = p.raw ? *p.raw : NameRecord(p.name, c.version);
        b.insert(b.end(), rec.begin(), rec.end());
        if (!p.raw)
            b.insert(b.end(), p.body.begin(), p.body.end());
    }

    // Sound section.
    const std::size_t sounds = b.size();
    AppendU16(b, static_cast<WORD>(c.sounds.size()));
    AppendU16(b, 0);
    const std::size_t soundTable = b.size();
    b.insert(b.end(), 4 * c.sounds.size(), 0);
    for (std::size_t i = 0; i < c.sounds.size(); ++i) {
        PutU32(b, soundTable + 4 * i, static_cast<DWORD>(b.size() - sounds));
        b.insert(b.end(), c.sounds[i].begin(), c.sounds[i].end());
    }

    PutU32(b, kCellsOffset, static_cast<DWORD>(cells));
    PutU32(b, kHeaderOffset, static_cast<DWORD>(header));
    PutU32(b, kSoundsOffset, static_cast<DWORD>(sounds));
    PutU32(
        b, kFileSize,
        c.fileSizeField.value_or(static_cast<DWORD>(static_cast<std::int64_t>(b.size()) + c.fileSizeDelta)));

    // Check fields: the header check covers only the first 34 bits, so it can be written last.
    const auto charBits = static_cast<WORD>(((std::size_t{count} + 26) * 4) & 0xFFFF);
    WORD charCrc = 0;
    if (!CalcCrcInImage(ImageView(b.data(), b.size()), header, charBits, charCrc))
        charCrc = 0;
    PutU16(b, crcWord,
           c.charHeaderCrc.value_or(static_cast<WORD>(charCrc ^ (c.breakCharHeaderCrc ? 0x0101 : 0))));
    PutU16(b, kFileHeaderCrc,
           c.fileHeaderCrc.value_or(static_cast<WORD>(CalcCrc(b.data(), kFileHeaderCrcBits) ^
                                                      (c.breakFileHeaderCrc ? 0x0101 : 0))));
    return b;
}

void Reseal(Bytes& b) {
    if (b.size() < kFileHeaderSize)
        return;
    PutU32(b, kFileSize, static_cast<DWORD>(b.size()));
    const ImageView image(b.data(), b.size());
    bool ok = true;
    const std::size_t header = image.U32(kHeaderOffset);
    const WORD count = image.U16(header + kPatternCount, &ok);
    const auto charBits = static_cast<WORD>(((std::size_t{count} + 26) * 4) & 0xFFFF);
    WORD charCrc = 0;
    if (ok && header >= kCharHeaderCrcBack && CalcCrcInImage(image, header, charBits, charCrc))
        PutU16(b, header - kCharHeaderCrcBack, charCrc);
    PutU16(b, kFileHeaderCrc, CalcCrc(b.data(), kFileHeaderCrcBits));
}

namespace {

Bytes GreyRamp(std::size_t entries) {
    Bytes colors;
    for (std::size_t i = 0; i < entries; ++i) {
        const auto v = static_cast<BYTE>(entries > 1 ? i * 255 / (entries - 1) : 0);
        colors.insert(colors.end(), {v, v, v, 0});
    }
    return colors;
}

std::size_t RowBytes(std::int32_t width, WORD bits) {
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

} // namespace

Cell SolidCell8(std::int32_t w, std::int32_t h, BYTE index) {
    Cell cell;
    cell.width = w;
    cell.height = h;
    cell.bitCount = 8;
    cell.colors = GreyRamp(256);
    const std::size_t row = RowBytes(w, 8);
    cell.bits.assign(row * static_cast<std::size_t>(h), 0);
    for (std::int32_t y = 0; y < h; ++y)
        std::fill_n(cell.bits.begin() + static_cast<std::ptrdiff_t>(row * y), w, index);
    return cell;
}

Cell MaskCell1(const std::vector<std::string>& rows) {
    Cell cell;
    cell.height = static_cast<std::int32_t>(rows.size());
    cell.width = rows.empty() ? 0 : static_cast<std::int32_t>(rows[0].size());
    cell.bitCount = 1;
    cell.colors = {0, 0, 0, 0, 255, 255, 255, 0};
    const std::size_t row = RowBytes(cell.width, 1);
    cell.bits.assign(row * rows.size(), 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const std::size_t stored = rows.size() - 1 - y; // bottom-up
        for (std::size_t x = 0; x < rows[y].size(); ++x)
            if (rows[y][x] == '1')
                cell.bits[stored * row + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    }
    return cell;
}

Cell Cell4(const std::vector<std::string>& rows) {
    Cell cell;
    cell.height = static_cast<std::int32_t>(rows.size());
    cell.width = rows.empty() ? 0 : static_cast<std::int32_t>(rows[0].size());
    cell.bitCount = 4;
    cell.colors = GreyRamp(16);
    const std::size_t row = RowBytes(cell.width, 4);
    cell.bits.assign(row * rows.size(), 0);
    for (std::size_t y = 0; y < rows.size(); ++y) {
        const std::size_t stored = rows.size() - 1 - y;
        for (std::size_t x = 0; x < rows[y].size(); ++x) {
            const char ch = rows[y][x];
            const int v = (ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'a' && ch <= 'f') ? ch - 'a' + 10 : 0;
            cell.bits[stored * row + x / 2] |= static_cast<BYTE>(x % 2 == 0 ? v << 4 : v);
        }
    }
    return cell;
}

Cell SolidCell24(std::int32_t w, std::int32_t h, BYTE r, BYTE g, BYTE b) {
    Cell cell;
    cell.width = w;
    cell.height = h;
    cell.bitCount = 24;
    const std::size_t row = RowBytes(w, 24);
    cell.bits.assign(row * static_cast<std::size_t>(h), 0);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x) {
            const std::size_t o = row * y + 3 * x;
            cell.bits[o] = b;
            cell.bits[o + 1] = g;
            cell.bits[o + 2] = r;
        }
    return cell;
}

Bytes CompressMaskRuns(const Bytes& plain) {
    Bytes out;
    std::size_t i = 0;
    while (i < plain.size()) {
        const BYTE v = plain[i];
        if (v == 0x00 || v == 0xFF) {
            std::size_t n = 1;
            while (i + n < plain.size() && plain[i + n] == v && n < 255)
                ++n;
            out.push_back(v == 0x00 ? 0xCC : 0x33);
            out.push_back(static_cast<BYTE>(n));
            i += n;
            continue;
        }
        out.push_back(v);
        if (v == 0xCC || v == 0x33)
            out.push_back(0);
        ++i;
    }
    return out;
}

Bytes MakeWave(const Bytes& samples, DWORD rate) {
    Bytes w{'R', 'I', 'F', 'F'};
    AppendU32(w, static_cast<DWORD>(36 + samples.size()));
    w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    AppendU32(w, 16);
    AppendU16(w, 1); // PCM
    AppendU16(w, 1); // mono
    AppendU32(w, rate);
    AppendU32(w, rate); // bytes per second
    AppendU16(w, 1);    // block align
    AppendU16(w, 8);    // bits per sample
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    AppendU32(w, static_cast<DWORD>(samples.size()));
    w.insert(w.end(), samples.begin(), samples.end());
    if (samples.size() % 2)
        w.push_back(0);
    return w;
}

} // namespace kp::build
