#include "DumpCommand.h"

#include "Cp932Text.h"
#include "Disassembler.h"
#include "ExitStatus.h"
#include "ToolSystem.h"
#include "Verdict.h"

#include "chardata/Crc.h"
#include "chardata/DataFile.h"
#include "chardata/Loader.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace kp::tool {

using namespace kpfile;

namespace {

constexpr const char* kOutside = "outside the file";
// Colour-table entries shown for cell 0.
constexpr std::size_t kShownColors = 4;

std::string Hex16(WORD v) {
    char s[8];
    std::snprintf(s, sizeof s, "0x%04X", v);
    return s;
}

std::string HexBytes(const ImageView& image, std::size_t off, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%s%02X", i ? " " : "", image.U8(off + i));
        s += b;
    }
    return s;
}

// Numbers read from the image: the value, or "outside the file" when a read failed.
template <typename T> std::string Num(T value, bool ok) {
    return ok ? std::to_string(value) : kOutside;
}
std::string U16Field(const ImageView& image, std::size_t off) {
    bool ok = true;
    const WORD v = image.U16(off, &ok);
    return Num(v, ok);
}
std::string U32Field(const ImageView& image, std::size_t off) {
    bool ok = true;
    const DWORD v = image.U32(off, &ok);
    return Num(v, ok);
}
std::string I32Field(const ImageView& image, std::size_t off) {
    bool ok = true;
    const auto v = static_cast<std::int32_t>(image.U32(off, &ok));
    return Num(v, ok);
}

// A zero-terminated text in a fixed field, as UTF-8 in quotes; "outside the file" when the
// field ends outside the image before its terminator.
std::string FixedText(const ImageView& image, std::size_t off, std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bool ok = true;
        const BYTE b = image.U8(off + i, &ok);
        if (!ok)
            return kOutside;
        if (b == 0)
            break;
        bytes.push_back(static_cast<char>(b));
    }
    return "\"" + Cp932ToUtf8(bytes) + "\"";
}

void Line(std::ostream& out, int indent, const std::string& label, const std::string& value) {
    out << std::string(static_cast<std::size_t>(indent) * 2, ' ') << label << ": " << value << '\n';
}

void DumpFileHeader(const ImageView& image, std::ostream& out) {
    out << "file header:\n";
    Line(out, 1, "magic",
         image.Contains(0, 2)
             ? HexBytes(image, 0, 2) + " \"" +
                   Cp932ToUtf8(std::string(reinterpret_cast<const char*>(image.At(0)), 2)) + "\""
             : kOutside);
    bool ok = true;
    const WORD version = image.U16(kVersion, &ok);
    std::string checks;
    if (ok)
        checks = version > kLastKnownVersion       ? " (refused: newer than 303)"
                 : version >= kFirstCheckedVersion ? " (size and both check values verified at load)"
                                                   : " (no checks at load)";
    Line(out, 1, "version", Num(version, ok) + checks);
    Line(out, 1, "cells offset", U32Field(image, kCellsOffset));
    Line(out, 1, "character header offset", U32Field(image, kHeaderOffset));
    Line(out, 1, "sounds offset", U32Field(image, kSoundsOffset));
    Line(out, 1, "file size field",
         U32Field(image, kFileSize) + " (actual size " + std::to_string(image.Size()) + ")");
    WORD crc = 0;
    const std::string computed = CalcCrcInImage(image, 0, kFileHeaderCrcBits, crc) ? Hex16(crc) : kOutside;
    ok = true;
    const WORD stored = image.U16(kFileHeaderCrc, &ok);
    Line(out, 1, "header check",
         "stored " + (ok ? Hex16(stored) : std::string(kOutside)) + ", computed " + computed +
             " (first 34 bits)");
}

void DumpCharacterHeader(const CharacterFile& file, std::ostream& out) {
    const ImageView& image = file.Image();
    const FileOffset h = file.HeaderOffset();
    out << "character header at " << h << ":\n";
    Line(out, 1, "name", FixedText(image, h, kNameSize));
    Line(out, 1, "about", FixedText(image, h + kAboutOffset, kAboutSize));
    bool countOk = true;
    const WORD count = image.U16(h + kPatternCount, &countOk);
    Line(out, 1, "pattern count", Num(count, countOk));
    Line(out, 1, "default pattern", U16Field(image, h + kDefaultPattern));
    Line(out, 1, "default position", U16Field(image, h + kDefaultPosition));

    bool ok = h >= kPrefixSizeBack;
    const WORD prefix = ok ? image.U16(h - kPrefixSizeBack, &ok) : 0;
    Line(out, 1, "prefix size", Num(prefix, ok));
    if (!ok)
        Line(out, 1, "menu columns", kOutside);
    else if (prefix <= 4)
        Line(out, 1, "menu columns", "0 (prefix size " + std::to_string(prefix) + ": no menu-column word)");
    else {
        bool colOk = h >= kMenuColumnBack;
        const WORD columns = colOk ? image.U16(h - kMenuColumnBack, &colOk) : 0;
        Line(out, 1, "menu columns", Num(columns, colOk));
    }

    ok = h >= kCharHeaderCrcBack;
    const WORD stored = ok ? image.U16(h - kCharHeaderCrcBack, &ok) : 0;
    std::string computed = kOutside;
    std::string bits;
    if (countOk) {
        const auto n = static_cast<WORD>(((std::size_t{count} + 26) * 4) & 0xFFFF);
        WORD crc = 0;
        if (CalcCrcInImage(image, h, n, crc))
            computed = Hex16(crc);
        bits = " (" + std::to_string(n) + " bits)";
    }
    Line(out, 1, "header check",
         "stored " + (ok ? Hex16(stored) : std::string(kOutside)) + ", computed " + computed + bits);
}

void DumpPatterns(const CharacterFile& file, std::ostream& out) {
    const ImageView& image = file.Image();
    bool ok = true;
    const WORD count = image.U16(file.HeaderOffset() + kPatternCount, &ok);
    if (!ok) {
        out << "patterns: " << kOutside << '\n';
        return;
    }
    out << "patterns: " << count << " (numbered from 1, as the menu and the command line number them)\n";
    for (std::size_t g = 0; g < count; ++g) {
        const std::string number = "pattern " + std::to_string(g + 1);
        bool entryOk = true;
        const DWORD entry = image.U32(file.HeaderOffset() + kPatternTable + 4 * g, &entryOk);
        if (!entryOk) {
            // The rest of the table lies outside too: say so once.
            if (g + 1 == count)
                Line(out, 1, number, "table entry " + std::string(kOutside));
            else
                Line(out, 1, "patterns " + std::to_string(g + 1) + ".." + std::to_string(count),
                     "table entries " + std::string(kOutside));
            return;
        }
        const FileOffset rec = file.PatternOffset(g);
        std::string name;
        bool lenOk = true;
        const auto n = static_cast<std::int16_t>(image.U16(rec + kPatternNameLength, &lenOk));
        if (!lenOk)
            name = "name " + std::string(kOutside);
        else if (n <= 0)
            name = "name \"\" (length " + std::to_string(n) + ")";
        else if (!image.Contains(rec + kPatternName,
                                 std::min<std::size_t>(static_cast<std::size_t>(n), kMaxPatternName)))
            name = "name " + std::string(kOutside) + " (length " + std::to_string(n) + ")";
        else {
            // The menu shows the decoded bytes up to the first zero (the stored name counts its
            // terminator).
            AnsiString text = file.PatternName(g);
            text.resize(std::min(text.size(), text.find('\0')));
            name = "name \"" + Cp932ToUtf8(text) + "\"";
            if (static_cast<std::size_t>(n) > kMaxPatternName)
                name += " (length " + std::to_string(n) + ", the menu reads " +
                        std::to_string(kMaxPatternName) + ")";
        }
        Line(out, 1, number,
             "offset " + std::to_string(entry) + " (file offset " + std::to_string(rec) + "), " + name);
    }
}

void DumpSounds(const CharacterFile& file, std::ostream& out) {
    const ImageView& image = file.Image();
    const FileOffset s = file.SoundsOffset();
    out << "sound section at " << s << " (sounds numbered from 0, as scripts number them):\n";
    bool ok = true;
    const WORD count = image.U16(s + kSoundCount, &ok);
    Line(out, 1, "count", Num(count, ok));
    for (std::size_t i = 0; ok && i < count; ++i) {
        const std::string number = "sound " + std::to_string(i);
        bool entryOk = true;
        const DWORD entry = image.U32(s + kSoundTable + 4 * i, &entryOk);
        if (!entryOk) {
            if (i + 1 == count)
                Line(out, 1, number, "table entry " + std::string(kOutside));
            else
                Line(out, 1, "sounds " + std::to_string(i) + ".." + std::to_string(count - 1),
                     "table entries " + std::string(kOutside));
            return;
        }
        const FileOffset at = file.SoundOffset(static_cast<WORD>(i));
        std::string riff;
        if (!image.Contains(at, 8))
            riff = "RIFF length " + std::string(kOutside);
        else if (image.U32(at) != 0x46464952u) // "RIFF"
            riff = "no RIFF header (" + HexBytes(image, at, 4) + ")";
        else {
            const DWORD length = image.U32(at + 4);
            riff = "RIFF length " + std::to_string(length);
            if (!image.Contains(at + 8, length))
                riff += " (runs past the end of the file)";
        }
        Line(out, 1, number,
             "offset " + std::to_string(entry) + " (file offset " + std::to_string(at) + "), " + riff);
    }
}

void DumpCell0(const CharacterFile& file, std::ostream& out) {
    const ImageView& image = file.Image();
    const FileOffset c = file.CellsOffset();
    out << "cell section at " << c << ":\n";
    Line(out, 1, "canvas width", U16Field(image, c + kCanvasWidth));
    Line(out, 1, "canvas height", U16Field(image, c + kCanvasHeight));
    bool ok = true;
    const DWORD entry = image.U32(c + kCellTable, &ok);
    if (!ok) {
        out << "cell 0: table entry " << kOutside << '\n';
        return;
    }
    const FileOffset rec = file.CellOffset(0);
    out << "cell 0: offset " << entry << " (file offset " << rec << ")\n";
    Line(out, 1, "x", U16Field(image, rec + kCellX));
    Line(out, 1, "y", U16Field(image, rec + kCellY));
    const FileOffset bih = file.CellBitmapInfoOffset(0);
    out << "  BITMAPINFOHEADER at " << bih << ":\n";
    Line(out, 2, "biSize", U32Field(image, bih));
    Line(out, 2, "biWidth", I32Field(image, bih + 4));
    Line(out, 2, "biHeight", I32Field(image, bih + 8));
    Line(out, 2, "biPlanes", U16Field(image, bih + 12));
    Line(out, 2, "biBitCount", U16Field(image, bih + 14));
    Line(out, 2, "biCompression",
         U32Field(image, bih + 16) + (image.U32(bih + 16) == kMaskRunLength ? " (mask runs)" : ""));
    Line(out, 2, "biSizeImage", U32Field(image, bih + 20));
    Line(out, 2, "biXPelsPerMeter", I32Field(image, bih + 24));
    Line(out, 2, "biYPelsPerMeter", I32Field(image, bih + 28));
    Line(out, 2, "biClrUsed", U32Field(image, bih + 32));
    Line(out, 2, "biClrImportant", U32Field(image, bih + 36));

    ok = true;
    const WORD bits = image.U16(bih + 14, &ok);
    if (!ok)
        return;
    const std::size_t entries = ColorTableEntries(bits);
    const std::size_t table = bih + kBitmapInfoHeaderSize;
    if (entries == 0) {
        out << "  colour table: none for " << bits << " bits per pixel\n";
        return;
    }
    out << "  colour table at " << table << ": " << entries << " entries"
        << (image.Contains(table, 4 * entries) ? "" : " (cut: part of it is outside the file)")
        << (entries > kShownColors ? " (the first " + std::to_string(kShownColors) + " shown)" : "") << '\n';
    for (std::size_t i = 0; i < std::min(entries, kShownColors); ++i) {
        const std::size_t e = table + 4 * i;
        if (!image.Contains(e, 4)) {
            Line(out, 2, std::to_string(i), kOutside);
            continue;
        }
        char rgb[48];
        std::snprintf(rgb, sizeof rgb, "red %u, green %u, blue %u", image.U8(e + 2), image.U8(e + 1),
                      image.U8(e));
        Line(out, 2, std::to_string(i), rgb);
    }
}

// Every cell of the table, one line each. The table has no stored length: it is taken to end
// where the first cell record begins.
void DumpCells(const CharacterFile& file, std::ostream& out) {
    const ImageView& image = file.Image();
    bool ok = true;
    const DWORD first = image.U32(file.CellsOffset() + kCellTable, &ok);
    if (!ok || first < kCellTable)
        return;
    const std::size_t entries = (first - kCellTable) / 4;
    // Scripts name cells by 16-bit numbers: entries past those are never used.
    const std::size_t count = std::min<std::size_t>(entries, 0x10000);
    out << "cells: " << entries << " (the table ends where cell 0's record begins)"
        << (count < entries ? "; shortened to the first 65536, the numbers a script can name" : "") << '\n';
    for (std::size_t c = 0; c < count; ++c) {
        const std::string number = "cell " + std::to_string(c);
        bool entryOk = true;
        image.U32(file.CellsOffset() + kCellTable + 4 * c, &entryOk);
        if (!entryOk) {
            Line(out, 1, "cells " + std::to_string(c) + ".." + std::to_string(count - 1),
                 "table entries " + std::string(kOutside));
            return;
        }
        const auto cell = static_cast<WORD>(c);
        bool recOk = true;
        const WORD x = file.CellX(cell, &recOk);
        const WORD y = file.CellY(cell, &recOk);
        const BitmapInfo bi = file.ReadBitmapInfo(file.CellBitmapInfoOffset(cell, &recOk), &recOk);
        if (!recOk) {
            Line(out, 1, number, "record " + std::string(kOutside));
            continue;
        }
        const std::string form = bi.biCompression == kMaskRunLength && bi.biBitCount == 1 ? "mask runs"
                                 : bi.biCompression == 0                                  ? "plain"
                                                         : "compression " + std::to_string(bi.biCompression);
        Line(out, 1, number,
             "at " + std::to_string(x) + "," + std::to_string(y) + ", " + std::to_string(bi.biWidth) + " x " +
                 std::to_string(bi.biHeight) + ", " + std::to_string(bi.biBitCount) + " bits, " + form);
    }
}

void DumpScripts(const CharacterFile& file, std::ostream& out) {
    bool ok = true;
    const WORD count = file.Image().U16(file.HeaderOffset() + kPatternCount, &ok);
    if (!ok)
        return;
    out << "scripts (kptool build's language; offsets from the start of each pattern):\n";
    const PatternExtents extents(file);
    for (std::size_t g = 0; g < count; ++g) {
        bool entryOk = true;
        file.PatternOffset(g, &entryOk);
        if (!entryOk)
            return; // the table runs outside: said above
        out << "# pattern " << g + 1 << '\n' << DisassemblePattern(file, g, true, &extents);
    }
}

} // namespace

void DumpImage(const ImageView& image, std::ostream& out) {
    DumpFileHeader(image, out);
    if (!image.Contains(0, kFileHeaderSize)) {
        // Without the three section offsets there is nothing further to find.
        out << "sections: " << kOutside << " (the file header is " << kFileHeaderSize << " bytes)\n";
        return;
    }
    const CharacterFile file(image);
    DumpCharacterHeader(file, out);
    DumpPatterns(file, out);
    DumpSounds(file, out);
    DumpCell0(file, out);
    DumpCells(file, out);
    DumpScripts(file, out);
}

int RunDump(IFileSystem& files, const AnsiString& path, std::ostream& out) {
    ByteBlock block;
    if (!files.ReadWholeFile(path, block)) {
        out << VerdictText(LoadMessage::Unreadable) << '\n';
        return static_cast<int>(LoadMessage::Unreadable);
    }
    out << "file: " << path << " (" << block.size << " bytes)\n";
    const ImageView image(block.data.get(), block.size);
    DumpImage(image, out);
    // What the program would say of it, after all that could be read.
    const Verdict v = JudgeImage(image);
    out << "verdict: " << DescribeVerdict(v) << '\n';
    return static_cast<int>(v.message);
}

} // namespace kp::tool

namespace kp::tool {

int RunDumpSource(IFileSystem& files, const AnsiString& path, const std::string& dir, bool force,
                  std::ostream& out, std::ostream& err) {
    ByteBlock block;
    if (!files.ReadWholeFile(path, block)) {
        err << "kptool: " << path << ": " << VerdictText(LoadMessage::Unreadable) << '\n';
        return static_cast<int>(LoadMessage::Unreadable);
    }
    const ImageView image(block.data.get(), block.size);
    const Verdict v = JudgeImage(image);
    if (v.message != LoadMessage::None && !(v.message == LoadMessage::MayBeCorrupted && v.yesLoads)) {
        err << "kptool: " << path << ": the program does not load this file: " << VerdictText(v.message)
            << '\n';
        return static_cast<int>(v.message);
    }
    SourceFiles src;
    std::string why;
    if (!MakeSource(image, src, why)) {
        err << "kptool: " << path << ": " << why << '\n';
        return static_cast<int>(LoadMessage::Corrupted);
    }
    src.files.push_back({"character.kps", build::Bytes(src.source.begin(), src.source.end())});
    // An author's source is never replaced unasked.
    for (const auto& file : src.files)
        if (!force && PathExists(dir + "/" + file.first)) {
            err << "kptool: " << dir << "/" << file.first
                << " exists; dump --source replaces an existing source only with --force\n";
            return kExitCannotWrite;
        }
    if (!MakeFolder(dir)) {
        err << "kptool: cannot make the folder " << dir << '\n';
        return kExitCannotWrite;
    }
    for (const auto& [name, bytes] : src.files) {
        const std::string target = dir + "/" + name;
        if (!WriteFileBytes(target, bytes.data(), bytes.size())) {
            err << "kptool: cannot write " << target << '\n';
            return kExitCannotWrite;
        }
        out << "wrote " << target << '\n';
    }
    if (!src.structured)
        out << "note: the file's layout is not the one kptool build writes; the source keeps it whole "
               "(raw-image) and shows the patterns as comments\n";
    return 0;
}

} // namespace kp::tool
