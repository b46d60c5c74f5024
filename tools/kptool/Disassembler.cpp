#include "Disassembler.h"

#include "Assembler.h"
#include "BmpFile.h"
#include "Cp932Text.h"
#include "ScriptDecode.h"
#include "Verdict.h"

#include "chardata/Crc.h"
#include "chardata/MaskRgn.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace kp::tool {

using build::Bytes;
using namespace kpfile;

namespace {

std::string Hex(DWORD v, int digits) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%0*X", digits, static_cast<unsigned>(v));
    return s;
}

bool IsLeadByte(BYTE b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(BYTE b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// One code page 932 character as UTF-8, when it converts back to the same bytes.
bool CharacterText(const std::string& bytes, std::string& utf8) {
    utf8 = Cp932ToUtf8(bytes);
    std::string back;
    return utf8.find('\\') == std::string::npos && Utf8ToCp932(utf8, back) && back == bytes;
}

} // namespace

std::string QuoteString(const std::string& bytes) {
    std::string s = "\"";
    char esc[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<BYTE>(bytes[i]);
        if (b == '"' || b == '\\') {
            s += '\\';
            s += static_cast<char>(b);
        } else if (b == '\n') {
            s += "\\n";
        } else if (b == '\t') {
            s += "\\t";
        } else if (b == '\r') {
            s += "\\r";
        } else if (b == 0) {
            s += "\\0";
        } else if (b >= 0x20 && b < 0x7F) {
            s += static_cast<char>(b);
        } else {
            std::string utf8;
            const std::size_t n =
                IsLeadByte(b) && i + 1 < bytes.size() && IsTrailByte(static_cast<BYTE>(bytes[i + 1])) ? 2 : 1;
            if (b >= 0x80 && CharacterText(bytes.substr(i, n), utf8)) {
                s += utf8;
                i += n - 1;
                continue;
            }
            std::snprintf(esc, sizeof esc, "\\x%02X", b);
            s += esc;
        }
    }
    return s + "\"";
}

PatternExtents::PatternExtents(const CharacterFile& file) : m_size(file.Image().Size()) {
    m_starts.push_back(file.CellsOffset());
    m_starts.push_back(file.SoundsOffset());
    // The words in front of the character header belong to it.
    m_starts.push_back(file.HeaderOffset() >= kMenuColumnBack ? file.HeaderOffset() - kMenuColumnBack : 0);
    const WORD count = file.PatternCount();
    for (std::size_t k = 0; k < count; ++k) {
        bool ok = true;
        const FileOffset at = file.PatternOffset(k, &ok);
        if (!ok)
            break;
        m_starts.push_back(at);
    }
    std::sort(m_starts.begin(), m_starts.end());
}

std::size_t PatternExtents::End(std::size_t start) const {
    const auto next = std::upper_bound(m_starts.begin(), m_starts.end(), start);
    return next == m_starts.end() ? m_size : std::min(*next, m_size);
}

std::size_t PatternEnd(const CharacterFile& file, std::size_t g) {
    return PatternExtents(file).End(file.PatternOffset(g));
}

namespace {

// The name of a pattern record written by `pattern "Name"`: OP_NOTE, its length, the name with
// its zero byte (form A from the first checked version on). Empty when the record is not so.
std::optional<std::string> CanonicalName(const CharacterFile& file, std::size_t g, std::size_t rec,
                                         std::size_t end) {
    const ImageView& image = file.Image();
    bool ok = true;
    const BYTE op = image.U8(rec, &ok);
    const auto n = static_cast<std::int16_t>(image.U16(rec + kPatternNameLength, &ok));
    if (!ok || op != OP_NOTE || n < 1 || static_cast<std::size_t>(n) > kMaxPatternName ||
        rec + kPatternName + static_cast<std::size_t>(n) > end || !image.Contains(rec + kPatternName, n))
        return std::nullopt;
    // All n bytes fit the menu's limit, so the menu's name is the whole stored name.
    const AnsiString text = file.PatternName(g);
    if (text.empty() || text.back() != 0)
        return std::nullopt;
    return text.substr(0, text.size() - 1);
}

std::string ValueText(DWORD w) {
    if (w <= 0x7FFF)
        return std::to_string(w);
    if (const char* name = ValueCodeName(static_cast<WORD>(w)))
        return name;
    if (w >= 0x8000 && w <= 0x8063)
        return "v" + std::to_string(w - 0x8000);
    return "@" + Hex(w, 4);
}

std::string ByteText(const OpcodeInfo& op, std::size_t k, DWORD b) {
    if (op.code == OP_IF && k == 1 && (b == CMP_NE || b == CMP_LT || b == CMP_EQ || b == CMP_GT))
        return std::string(1, static_cast<char>(b));
    if ((op.code == OP_NEWSHAPE || op.code == OP_PALETTE) && k == 0 && b >= 'a' && b <= 'z')
        return std::string("'") + static_cast<char>(b) + "'";
    return std::to_string(b);
}

std::string BytesLine(const ImageView& image, std::size_t at, std::size_t n) {
    std::string s = "bytes";
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, " %02X", image.U8(at + i));
        s += b;
    }
    return s;
}

struct Line {
    std::size_t offset; // in the pattern
    std::string text;
    std::string comment;
};

// An instruction as one source line. Only what assembles to its very bytes is written as an
// instruction; anything else is a `bytes` line, with what it decodes to in `comment`.
std::string InstructionText(const ImageView& image, const DecodedInstruction& d, WORD version,
                            const std::set<std::size_t>& labelled, const std::map<std::string, DWORD>& labels,
                            std::string& comment) {
    if (d.status != DecodeStatus::Ok) {
        if (d.status == DecodeStatus::NotAnOpcode)
            comment = "no instruction: skipped";
        else if (d.status == DecodeStatus::PastLimit)
            comment =
                (d.info ? std::string(d.info->name) + " " : std::string()) + "cut by the end of the pattern";
        else
            comment = std::string(d.info->name) + " with a string length from a run-time value";
        return BytesLine(image, d.start, d.length);
    }
    std::string text = d.info->name;
    for (std::size_t k = 0; k < d.info->operandCount; ++k) {
        const DecodedOperand& o = d.operands[k];
        text += ' ';
        switch (o.kind) {
        case OperandKind::Byte:
            text += ByteText(*d.info, k, o.number);
            break;
        case OperandKind::Word:
            text += std::to_string(o.number);
            break;
        case OperandKind::Offset:
            text += labelled.count(o.number) ? "L" + std::to_string(o.number) : std::to_string(o.number);
            break;
        case OperandKind::Value:
            text += ValueText(o.number);
            break;
        case OperandKind::Variable:
            text += o.number < 100 ? "v" + std::to_string(o.number) : "@" + Hex(o.number, 4);
            break;
        case OperandKind::String:
            if (o.number == 0)
                text += "exact \"\"";
            else if (!o.text.empty() && o.text.back() == '\0')
                text += QuoteString(o.text.substr(0, o.text.size() - 1));
            else
                text += "exact " + QuoteString(o.text);
            break;
        }
    }
    Bytes again;
    std::string error;
    if (EncodeInstructionLine(text, version, labels, again, error) && again.size() == d.length &&
        std::equal(again.begin(), again.end(), image.At(d.start)))
        return text;
    comment = text;
    return BytesLine(image, d.start, d.length);
}

} // namespace

std::string DisassembleInstruction(const CharacterFile& file, std::size_t g, std::size_t offset,
                                   const PatternExtents& extents) {
    bool ok = true;
    const std::size_t rec = file.PatternOffset(g, &ok);
    const std::size_t end = extents.End(rec);
    if (!ok || offset >= end - std::min(end, rec))
        return "";
    // The name instruction is shown as the line that writes it.
    const std::optional<std::string> name = CanonicalName(file, g, rec, end);
    if (name && offset < build::NameRecordLength(*name, file.Version()))
        return "pattern " + QuoteString(*name);
    const DecodedInstruction d = DecodeInstruction(file.Image(), rec + offset, end, file.Version());
    std::string comment;
    const std::string text = InstructionText(file.Image(), d, file.Version(), {}, {}, comment);
    return comment.empty() ? text : text + "  # " + comment;
}

std::string DisassemblePattern(const CharacterFile& file, std::size_t g, bool offsets,
                               const PatternExtents* extents) {
    const ImageView& image = file.Image();
    const WORD version = file.Version();
    bool ok = true;
    const FileOffset rec = file.PatternOffset(g, &ok);
    std::ostringstream out;
    if (!ok || !image.Contains(rec, 1)) {
        out << "pattern   # outside the file\n";
        return out.str();
    }
    const std::size_t end = extents ? extents->End(rec) : PatternExtents(file).End(rec);
    const std::optional<std::string> name = CanonicalName(file, g, rec, end);
    std::size_t pos = rec + (name ? build::NameRecordLength(*name, version) : 0);

    // First the instructions as decoded, then the labels they need.
    std::vector<DecodedInstruction> decoded;
    while (pos < end) {
        DecodedInstruction d = DecodeInstruction(image, pos, end, version);
        if (d.status == DecodeStatus::NotAnOpcode) {
            // A run of bytes that are no instruction: the interpreter skips them one by one.
            std::size_t n = 1;
            while (pos + n < end && !FindOpcode(image.U8(pos + n)))
                ++n;
            d.length = n;
        } else if (d.status == DecodeStatus::PastLimit) {
            d.length = end - pos;
        }
        decoded.push_back(d);
        pos += d.length;
    }
    std::set<std::size_t> starts;
    for (const auto& d : decoded)
        starts.insert(d.start - rec);
    std::map<std::string, DWORD> labels;
    std::set<std::size_t> labelled;
    for (const auto& d : decoded)
        if (d.status == DecodeStatus::Ok)
            for (std::size_t k = 0; k < d.info->operandCount; ++k)
                if (d.info->operands[k] == OperandKind::Offset && starts.count(d.operands[k].number)) {
                    labelled.insert(d.operands[k].number);
                    labels["L" + std::to_string(d.operands[k].number)] = d.operands[k].number;
                }

    std::vector<Line> lines;
    for (const auto& d : decoded) {
        const std::size_t at = d.start - rec;
        if (labelled.count(at))
            lines.push_back({at, "L" + std::to_string(at) + ":", ""});
        Line line{at, "", ""};
        line.text = InstructionText(image, d, version, labelled, labels, line.comment);
        lines.push_back(line);
    }

    out << "pattern" << (name ? " " + QuoteString(*name) : std::string()) << '\n';
    for (const Line& l : lines) {
        const bool label = !l.text.empty() && l.text.back() == ':';
        std::string s = label ? l.text : "        " + l.text;
        std::string c = l.comment;
        if (offsets && !label)
            c = std::to_string(l.offset) + (c.empty() ? "" : ": " + c);
        if (!c.empty()) {
            if (s.size() < 40)
                s.resize(40, ' ');
            s += " # " + c;
        }
        out << s << '\n';
    }
    return out.str();
}

namespace {

std::string FixedField(const ImageView& image, std::size_t off, std::size_t size) {
    std::string s;
    for (std::size_t i = 0; i < size && image.U8(off + i) != 0; ++i)
        s.push_back(static_cast<char>(image.U8(off + i)));
    return s;
}

// The structured source; false when the layout cannot be described (then a raw image is used).
bool StructuredSource(const CharacterFile& file, SourceFiles& out) {
    const ImageView& image = file.Image();
    std::ostringstream s;
    const FileOffset h = file.HeaderOffset();
    const FileOffset c = file.CellsOffset();
    s << "# Made by kptool dump --source; kptool build gives the file back byte for byte.\n";
    s << "version " << file.Version() << '\n';
    s << "name " << QuoteString(FixedField(image, h, kNameSize)) << '\n';
    s << "about " << QuoteString(FixedField(image, h + kAboutOffset, kAboutSize)) << '\n';
    s << "window " << file.CanvasWidth() << ' ' << file.CanvasHeight() << '\n';
    s << "default-pattern " << file.DefaultPattern() << '\n';
    s << "default-position " << file.DefaultPosition() << '\n';
    const WORD prefix = file.PrefixSize();
    if (prefix > 4) {
        s << "menu-columns " << file.MenuColumns() << '\n';
        if (prefix != 6)
            s << "prefix-size " << prefix << '\n';
    } else if (prefix != 4) {
        s << "prefix-size " << prefix << '\n';
    }
    if (file.DefaultPattern() > file.PatternCount() || file.DefaultPosition() > 100)
        return false;

    // Cells: the table runs up to the first record.
    bool ok = true;
    const DWORD first = image.U32(c + kCellTable, &ok);
    if (!ok || first < kCellTable + 4 || (first - kCellTable) % 4 != 0)
        return false;
    const std::size_t cells = (first - kCellTable) / 4;
    const std::size_t prefixStart = h - (prefix > 4 ? kMenuColumnBack : kPrefixSizeBack);
    s << '\n';
    for (std::size_t i = 0; i < cells; ++i) {
        const auto n = static_cast<WORD>(i);
        file.CellOffset(n, &ok);
        const FileOffset next = i + 1 < cells ? file.CellOffset(static_cast<WORD>(i + 1), &ok) : prefixStart;
        const FileOffset bih = file.CellBitmapInfoOffset(n, &ok);
        const BitmapInfo bi = file.ReadBitmapInfo(bih, &ok);
        // A header of another size than 40 bytes (0 puts the pixel bits before the colour table),
        // or a size the program would not draw, cannot be written as a BMP file: the raw image
        // keeps such a file.
        if (!ok || i > 0xFFFF || (bi.biSize & 0xFFFF) != kBitmapInfoHeaderSize ||
            !CellSizeInRange(bi.biWidth, bi.biHeight))
            return false;
        const FileOffset bits = file.PixelBitsOffset(bih, bi);
        if (bits > next || !image.Contains(bits, next - bits) || !image.Contains(bih, bits - bih) ||
            bi.biWidth <= 0 || bi.biHeight <= 0)
            return false;
        build::Cell cell;
        cell.width = bi.biWidth;
        cell.height = bi.biHeight;
        cell.bitCount = bi.biBitCount;
        cell.colors.assign(image.At(bih + kBitmapInfoHeaderSize), image.At(bits));
        const bool runs = bi.biCompression == kMaskRunLength && bi.biBitCount == 1;
        if (runs) {
            const std::size_t plain = DibRowBytes(bi.biWidth, 1) * static_cast<std::size_t>(bi.biHeight);
            cell.bits.assign(plain, 0);
            ExpandMaskRuns(cell.bits.data(), plain, image.At(bits), static_cast<std::size_t>(next - bits));
        } else {
            cell.bits.assign(image.At(bits), image.At(next));
        }
        const std::string name = "cell" + std::to_string(i) + ".bmp";
        out.files.push_back({name, WriteBmp(cell)});
        s << "cell " << i << ' ' << QuoteString(name) << " at " << file.CellX(n) << ' ' << file.CellY(n)
          << (runs ? " mask-runs" : "") << '\n';
    }

    // Sounds: each runs to the next one or to the end of the file.
    const WORD sounds = file.SoundCount();
    for (WORD i = 0; i < sounds; ++i) {
        const FileOffset at = file.SoundOffset(i, &ok);
        const FileOffset next =
            i + 1 < sounds ? file.SoundOffset(static_cast<WORD>(i + 1), &ok) : image.Size();
        if (!ok || at > next || !image.Contains(at, next - at))
            return false;
        const std::string name = "sound" + std::to_string(i) + ".wav";
        out.files.push_back({name, Bytes(image.At(at), image.At(next))});
        s << "sound " << i << ' ' << QuoteString(name) << '\n';
    }

    // Check fields that differ from the computed ones are written as stored.
    if (file.FileSizeField() != image.Size())
        s << "file-size " << file.FileSizeField() << '\n';
    WORD crc = 0;
    if (CalcCrcInImage(image, 0, kFileHeaderCrcBits, crc) && crc != image.U16(kFileHeaderCrc))
        s << "file-header-check " << Hex(image.U16(kFileHeaderCrc), 4) << '\n';
    const auto charBits = static_cast<WORD>(((std::size_t{file.PatternCount()} + 26) * 4) & 0xFFFF);
    if (CalcCrcInImage(image, h, charBits, crc) && crc != file.CharHeaderCrc())
        s << "char-header-check " << Hex(file.CharHeaderCrc(), 4) << '\n';

    const PatternExtents extents(file);
    for (std::size_t g = 0; g < file.PatternCount(); ++g)
        s << '\n' << DisassemblePattern(file, g, false, &extents);
    out.source = s.str();
    return true;
}

bool Rebuilds(const SourceFiles& src, const ImageView& image) {
    const ReadFileFn read = [&](const std::string& name, Bytes& bytes) {
        for (const auto& [n, b] : src.files)
            if (n == name) {
                bytes = b;
                return true;
            }
        return false;
    };
    Bytes again;
    std::vector<std::string> errors;
    return AssembleSource("character.kps", src.source, read, again, errors) && again.size() == image.Size() &&
           std::equal(again.begin(), again.end(), image.Base());
}

} // namespace

bool MakeSource(const ImageView& image, SourceFiles& out, std::string& why) {
    const Verdict v = JudgeImage(image);
    if (v.message != LoadMessage::None && !(v.message == LoadMessage::MayBeCorrupted && v.yesLoads)) {
        why = std::string("the program does not load this file: ") + LoadMessageText(v.message);
        return false;
    }
    const CharacterFile file(image);
    out = SourceFiles{};
    if (StructuredSource(file, out) && Rebuilds(out, image))
        return true;

    // A layout that kptool build does not write: keep the image whole, and show the patterns.
    out = SourceFiles{};
    out.structured = false;
    std::ostringstream s;
    s << "# Made by kptool dump --source. This file's layout is not the one kptool build writes,\n"
         "# so the source takes the whole file as it is; its patterns follow as comments.\n"
         "raw-image \"character.bin\"\n";
    const PatternExtents extents(file);
    for (std::size_t g = 0; g < file.PatternCount(); ++g) {
        std::istringstream lines(DisassemblePattern(file, g, true, &extents));
        std::string line;
        s << "#\n# pattern " << g + 1 << ":\n";
        while (std::getline(lines, line))
            s << "# " << line << '\n';
    }
    out.source = s.str();
    out.files.push_back({"character.bin", Bytes(image.Base(), image.Base() + image.Size())});
    return true;
}

} // namespace kp::tool
