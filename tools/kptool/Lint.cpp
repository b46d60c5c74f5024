#include "Lint.h"

#include "BmpFile.h"
#include "Cp932Text.h"
#include "Disassembler.h"
#include "ScriptDecode.h"

#include "chardata/DataFile.h"
#include "chardata/Loader.h"
#include "engine/ScriptHost.h"
#include "engine/ScriptReader.h"

#include <algorithm>
#include <map>
#include <set>

namespace kp::tool {

using namespace kpfile;

namespace {

constexpr DWORD kRegionSlots = 16;
constexpr DWORD kPatternMenuBase = 32780;

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class Linter {
public:
    explicit Linter(const ImageView& image) : m_file(image), m_image(image), m_extents(m_file) {
        bool ok = true;
        const DWORD first = image.U32(m_file.CellsOffset() + kCellTable, &ok);
        m_cellTable = ok && first >= kCellTable ? (first - kCellTable) / 4 : 0;
    }

    LintReport Run() {
        CheckSounds();
        for (std::size_t g = 0; g < m_file.PatternCount(); ++g)
            Pattern(g);
        return m_report;
    }

private:
    void CheckSounds() {
        const WORD count = m_file.SoundCount();
        for (WORD i = 0; i < count; ++i) {
            bool ok = true;
            const FileOffset at = m_file.SoundOffset(i, &ok);
            const DWORD length = m_image.U32(at + 4, &ok);
            if (!ok || m_image.U32(at) != 0x46464952u)
                SoundProblem(i, std::string("no RIFF WAVE image at its offset") +
                                    (ok ? "" : " (it lies outside the file)"));
            else if (!m_image.Contains(at + 8, length))
                SoundProblem(i,
                             "its RIFF length " + std::to_string(length) + " runs past the end of the file");
        }
    }

    // What is wrong with using cell c, or an empty text: to draw it, to make a shape of it, or
    // (`palette`) to take its palette, which does not depend on its size.
    std::string CellProblem(DWORD c, bool draw, bool palette) {
        const std::string cell = "cell " + std::to_string(c);
        if (c >= m_cellTable)
            return cell + " is past the cell table (" + Plural(m_cellTable, "entry", "entries") + ")";
        bool ok = true;
        const FileOffset bih = m_file.CellBitmapInfoOffset(static_cast<WORD>(c), &ok);
        const BitmapInfo bi = m_file.ReadBitmapInfo(bih, &ok);
        if (!ok)
            return cell + "'s record lies outside the file";
        const std::size_t table = 4 * ColorTableEntries(bi.biBitCount);
        if (!m_image.Contains(bih + kBitmapInfoHeaderSize, table))
            return cell + "'s colour table lies outside the file";
        // The program draws no cell, and makes no shape of one, whose sides are 0 or larger
        // than it shows; cell 0 never gets here (the loader refuses the file).
        if (!palette && !CellSizeInRange(bi.biWidth, bi.biHeight))
            return cell + " has a picture size of " + std::to_string(bi.biWidth) + " x " +
                   std::to_string(bi.biHeight) + ": the program skips a cell of 0 or more than " +
                   std::to_string(kMaxCellSide) + " pixels either way";
        const FileOffset bits = m_file.PixelBitsOffset(bih, bi);
        if (bi.biCompression == kMaskRunLength && bi.biBitCount == 1) {
            if (draw)
                return cell + " holds mask runs and cannot be drawn";
            if (!m_image.Contains(bits, 1))
                return cell + "'s pixel bits lie outside the file";
            return "";
        }
        const std::size_t rows =
            static_cast<std::size_t>(bi.biHeight < 0 ? -static_cast<std::int64_t>(bi.biHeight) : bi.biHeight);
        const std::size_t need = DibRowBytes(bi.biWidth, bi.biBitCount) * rows;
        if (bi.biCompression == 0 && !m_image.Contains(bits, need))
            return cell + "'s pixel bits lie outside the file (" + std::to_string(need) +
                   " bytes from offset " + std::to_string(bits) + ")";
        return "";
    }

    void SoundProblem(WORD i, const std::string& what) {
        LintProblem p;
        p.sound = i;
        p.where = "sound " + std::to_string(i);
        p.what = what;
        m_report.problems.push_back(p);
    }

    // A problem at offset `at` of the pattern being linted, in operand `operand` (or -1).
    void Problem(std::size_t at, int operand, const std::string& what) {
        LintProblem p;
        p.pattern = m_pattern;
        p.offset = at;
        p.operand = operand;
        p.where = m_label + " offset " + std::to_string(at);
        p.what = what;
        m_report.problems.push_back(p);
    }
    void Problem(std::size_t at, const std::string& what) { Problem(at, -1, what); }

    void Value(std::size_t at, int k, DWORD w) {
        if (w == VAL_UNUSED)
            Problem(at, k, "the value word 0xFFFB has no meaning");
        else if (w >= 0x8000 && w < VAL_CLOCK && (w & 0x3FFF) >= kScriptVariables)
            Problem(at, k, "reads variable " + std::to_string(w & 0x3FFF) + ", past v99");
    }

    void Instruction(std::size_t at, const DecodedInstruction& d) {
        const OpcodeInfo& op = *d.info;
        for (std::size_t k = 0; k < op.operandCount; ++k) {
            const DecodedOperand& o = d.operands[k];
            const int operand = static_cast<int>(k);
            if (o.kind == OperandKind::Value)
                Value(at, operand, o.number);
            else if (o.kind == OperandKind::Variable && (o.number & 0x7FFF) >= kScriptVariables)
                Problem(at, operand, "writes variable " + std::to_string(o.number & 0x7FFF) + ", past v99");
            else if (o.kind == OperandKind::String) {
                if (o.number > kScriptStringBuffer)
                    Problem(at, operand,
                            "string of " + std::to_string(o.number) + " bytes; at most " +
                                std::to_string(kScriptStringBuffer) + " fit the string buffer");
                const bool text = op.code != OP_NOTE && op.code != OP_NOTE2;
                if (text && o.text.find('\0') == std::string::npos)
                    Problem(at, operand, "string without a zero byte");
            }
        }
        auto literal = [&](std::size_t k) { return IsLiteralValue(d.operands[k].number); };
        const DWORD a = d.operands[0].number;
        const DWORD b = d.operands[1].number;
        switch (op.code) {
        case OP_DRAW:
            if (literal(0))
                Cell(at, 0, a, true, false);
            break;
        case OP_NEWSHAPE:
        case OP_PALETTE:
            if (a == 'b' && literal(1))
                Cell(at, 1, b, false, op.code == OP_PALETTE);
            break;
        case OP_SETSHAPE:
            if (literal(0) && a >= kRegionSlots)
                Problem(at, 0, "region slot " + std::to_string(a) + "; slots are 0..15");
            break;
        case OP_PLAYSOUND:
            if (literal(0) && a >= m_file.SoundCount())
                Problem(at, 0,
                        "sound " + std::to_string(a) + ", but the file has " +
                            Plural(m_file.SoundCount(), "sound", "sounds") + ": nothing plays");
            break;
        case OP_MOD:
            if (literal(1) && b == 0)
                Problem(at, 1, "OP_MOD by 0");
            break;
        case OP_WAITRANDOM:
            if (literal(1) && b == 0)
                Problem(at, 1, "OP_WAITRANDOM with a range of 0");
            break;
        case OP_PATTERN:
            if (literal(0)) {
                const DWORD n = a >= kPatternMenuBase ? a - kPatternMenuBase : a;
                if (n > m_file.PatternCount())
                    Problem(at, 0,
                            "pattern " + std::to_string(n) + ", but the file has " +
                                Plural(m_file.PatternCount(), "pattern", "patterns"));
            }
            break;
        case OP_IF:
            if (b != CMP_NE && b != CMP_LT && b != CMP_EQ && b != CMP_GT)
                Problem(at, 1,
                        "comparison byte " + std::to_string(b) + " is none of ! < = >: it never jumps");
            break;
        case OP_EXEC:
        case OP_PLAYFILE: {
            const std::string& s = d.operands[0].text;
            const std::string text = s.substr(0, s.find('\0'));
            (op.code == OP_EXEC ? m_report.programs : m_report.soundFiles)
                .push_back(m_label + " offset " + std::to_string(at) + ": " + QuoteString(text));
            break;
        }
        default:
            break;
        }
    }

    void Cell(std::size_t at, int k, DWORD c, bool draw, bool palette) {
        const std::string p = CellProblem(c, draw, palette);
        if (!p.empty())
            Problem(at, k, p);
    }

    void Pattern(std::size_t g) {
        bool ok = true;
        const FileOffset rec = m_file.PatternOffset(g, &ok);
        const std::size_t end = m_extents.End(rec);
        const std::size_t size = ok && end > rec ? end - rec : 0;
        AnsiString name = m_file.PatternName(g);
        name.resize(std::min(name.size(), name.find('\0')));
        m_pattern = g;
        m_label = "pattern " + std::to_string(g + 1) + " \"" + Cp932ToUtf8(name) + "\"";

        std::map<std::size_t, DecodedInstruction> seen;
        std::map<std::size_t, std::vector<std::size_t>> next;
        std::set<std::size_t> ends;    // instructions that end a step, or whose way cannot be followed
        std::set<std::size_t> targets; // jump and click targets inside the pattern
        std::vector<std::size_t> work{0};
        while (!work.empty()) {
            const std::size_t at = work.back();
            work.pop_back();
            if (seen.count(at))
                continue;
            DecodedInstruction d = DecodeInstruction(m_image, rec + at, rec + size, m_file.Version());
            seen[at] = d;
            std::vector<std::size_t>& out = next[at];
            auto follow = [&](std::size_t to) {
                if (to >= size) {
                    Problem(at, "execution runs past the end of the pattern (" + std::to_string(size) +
                                    " bytes)");
                    ends.insert(at);
                    return;
                }
                out.push_back(to);
                work.push_back(to);
            };
            auto jump = [&](DWORD to, const char* what) {
                if (to >= size) {
                    Problem(at, static_cast<int>(d.info->operandCount) - 1,
                            std::string(what) + " " + std::to_string(to) + " is outside the pattern (" +
                                std::to_string(size) + " bytes)");
                    return false;
                }
                targets.insert(to);
                return true;
            };
            if (d.status == DecodeStatus::NotAnOpcode) {
                follow(at + 1);
                continue;
            }
            if (d.status == DecodeStatus::PastLimit) {
                Problem(at, std::string(d.info ? d.info->name : "instruction") +
                                " is cut by the end of the pattern");
                ends.insert(at);
                continue;
            }
            if (d.status == DecodeStatus::DynamicLength) {
                Problem(at, std::string(d.info->name) +
                                ": its string length comes from a run-time value, so what it reads "
                                "cannot be known");
                ends.insert(at);
                continue;
            }
            Instruction(at, d);
            const std::size_t after = at + d.length;
            const DWORD target = d.info->operandCount ? d.operands[d.info->operandCount - 1].number : 0;
            switch (d.info->code) {
            case OP_GOTO:
                if (jump(target, "jump target")) {
                    out.push_back(target);
                    work.push_back(target);
                } else {
                    ends.insert(at);
                }
                break;
            case OP_IF:
            case OP_IFNOAUTO:
                if (jump(target, "jump target")) {
                    out.push_back(target);
                    work.push_back(target);
                }
                follow(after);
                break;
            case OP_CLICKON:
                // A click re-enters the script there: one more entry.
                if (jump(target, "click target")) {
                    m_clickEntries.insert(target);
                    work.push_back(target);
                }
                follow(after);
                break;
            case OP_PATTERN:
                ends.insert(at);
                break;
            default:
                if (d.info->endsStep)
                    ends.insert(at);
                if (d.info->code != OP_PATTERN)
                    follow(after);
                break;
            }
        }

        // Targets that land inside another instruction.
        for (std::size_t t : targets)
            for (const auto& [at, d] : seen)
                if (at < t && t < at + d.length && d.status == DecodeStatus::Ok) {
                    Problem(t, "a jump or click target lands inside the " + std::string(d.info->name) +
                                   " at offset " + std::to_string(at));
                    break;
                }

        // Which instructions can still reach the end of a step.
        std::map<std::size_t, std::vector<std::size_t>> prev;
        for (const auto& [from, tos] : next)
            for (std::size_t to : tos)
                prev[to].push_back(from);
        std::set<std::size_t> reach(ends.begin(), ends.end());
        std::vector<std::size_t> back(ends.begin(), ends.end());
        while (!back.empty()) {
            const std::size_t at = back.back();
            back.pop_back();
            for (std::size_t p : prev[at])
                if (reach.insert(p).second)
                    back.push_back(p);
        }
        if (!reach.count(0)) {
            Problem(0, "no wait is reachable from the start: the first step never ends");
        } else {
            for (const auto& [at, d] : seen)
                if (!reach.count(at)) {
                    Problem(at, "no wait is reachable from here: a step that gets here never ends");
                    break;
                }
        }
    }

    CharacterFile m_file;
    ImageView m_image;
    PatternExtents m_extents;
    std::size_t m_cellTable = 0;
    std::set<std::size_t> m_clickEntries;
    std::size_t m_pattern = 0; // the pattern being linted and its label
    std::string m_label;
    LintReport m_report;
};

} // namespace

LintReport LintImage(const ImageView& image) {
    return Linter(image).Run();
}

} // namespace kp::tool
