// The directives of a character source: the character's lines (version, name, window, cells,
// sounds, overrides) applied in a first pass, each pattern's lines collected and then encoded
// (InstructionEncoder.h) with the final version, labels resolved; diagnostics at their lines.
// Reading the text is SourceText.h's.
#include "Assembler.h"

#include "BmpFile.h"
#include "Cp932Text.h"
#include "Diagnostics.h"
#include "InstructionEncoder.h"
#include "Lint.h"
#include "SourceText.h"
#include "Verdict.h"

#include "chardata/DataFile.h"
#include "engine/Opcodes.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <optional>

namespace kp::tool {

using build::Bytes;
using namespace kpfile;
using namespace kps;

namespace {

// A pattern name is stored with its zero byte and the menu reads at most 255 bytes.
constexpr std::size_t kMaxNameText = kMaxPatternName - 1;
constexpr std::size_t kMaxCharName = kNameSize - 1;
constexpr std::size_t kMaxAbout = kAboutSize - 1;

// Directives that set one value, and where each was first given (for "given twice").
struct Seen {
    std::map<std::string, int> lines;
    // False when `what` was given before; `first` is then the line it was first given on.
    bool First(const std::string& what, int line, int& first) {
        auto [it, inserted] = lines.emplace(what, line);
        first = it->second;
        return inserted;
    }
};

struct PatternSource {
    int line = 0;
    std::optional<std::string> name;
    struct BodyLine {
        int line;
        std::string text;          // the whole source line
        std::vector<Token> tokens; // the instruction's, or none for a label
        std::string label;         // a label defined on this line
        std::size_t labelAt = 0;
    };
    std::vector<BodyLine> body;
};

const char* const kDirectives[] = {
    "pattern",
    "cell",
    "sound",
    "version",
    "name",
    "about",
    "window",
    "default-pattern",
    "default-position",
    "menu-columns",
    "prefix-size",
    "file-size",
    "file-header-check",
    "char-header-check",
    "raw-image",
};

bool IsDirective(const std::string& d) {
    for (const char* k : kDirectives)
        if (d == k)
            return true;
    return false;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

class SourceAssembler {
public:
    SourceAssembler(const std::string& sourceName, const ReadFileFn& readFile)
        : m_source(sourceName), m_read(readFile) {}

    bool Run(std::string text, Bytes& image, std::vector<std::string>& errors,
             std::vector<std::string>* warnings) {
        // A byte order mark, as Notepad writes it, is no part of the source.
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
            text.erase(0, 3);
        m_lines = SplitLines(text);
        if (!CheckEncoding(text)) {
            Report(errors, warnings);
            return false;
        }
        for (std::size_t i = 0; i < m_lines.size(); ++i)
            Line(static_cast<int>(i + 1), m_lines[i]);
        Finish(static_cast<int>(m_lines.size()));
        const bool failed = std::any_of(m_diags.begin(), m_diags.end(),
                                        [](const Diagnostic& d) { return d.severity == Severity::Error; });
        Bytes built;
        if (!failed && !m_rawImage) {
            built = build::BuildCharacter(m_c);
            if (warnings)
                LintAtSourceLines(built);
        }
        if (!Report(errors, warnings))
            return false;
        image = m_rawImage ? *m_rawImage : built;
        return true;
    }

private:
    // The source is UTF-8. One that is not is told so once, at its first such byte; a source
    // that reads as Shift-JIS is recognised as such.
    bool CheckEncoding(const std::string& text) {
        if (FirstNonUtf8(text) == std::string::npos)
            return true;
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            const std::size_t bad = FirstNonUtf8(m_lines[i]);
            if (bad == std::string::npos)
                continue;
            const bool sjis = ConvertsFromCp932(text);
            // The line is shown as the author sees it in a Shift-JIS editor.
            const std::string before =
                sjis ? Cp932ToUtf8(m_lines[i].substr(0, bad)) : m_lines[i].substr(0, bad);
            if (sjis)
                m_lines[i] = Cp932ToUtf8(m_lines[i]);
            else
                m_lines[i] = before;
            Error(static_cast<int>(i + 1), before.size(),
                  sjis ? "the source is in Shift-JIS (code page 932); kptool reads UTF-8: save it as UTF-8"
                       : "the source is not UTF-8 (a byte here starts no UTF-8 character): save it as UTF-8");
            return false;
        }
        return false;
    }

    bool Report(std::vector<std::string>& errors, std::vector<std::string>* warnings) {
        std::stable_sort(m_diags.begin(), m_diags.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        bool failed = false;
        for (const Diagnostic& d : m_diags) {
            const std::string text = RenderDiagnostic(m_source, m_lines, d);
            if (d.severity == Severity::Error) {
                errors.push_back(text);
                failed = true;
            } else if (warnings) {
                warnings->push_back(text);
            }
        }
        return !failed;
    }

    Diagnostic& Error(int line, std::size_t at, const std::string& message) {
        m_diags.push_back({Severity::Error, line, at, message, {}});
        return m_diags.back();
    }
    Diagnostic& Warning(int line, std::size_t at, const std::string& message) {
        m_diags.push_back({Severity::Warning, line, at, message, {}});
        return m_diags.back();
    }
    static void Note(Diagnostic& d, int line, std::size_t at, const std::string& message) {
        d.notes.push_back({Severity::Note, line, at, message, {}});
    }

    void Line(int n, const std::string& line) {
        std::vector<Token> tokens;
        std::string error;
        // A label first; it is defined even when the rest of its line fails, so that the jumps
        // to it do not fail too.
        std::size_t first = line.find_first_not_of(" \t");
        std::size_t restAt = 0;
        std::string label;
        if (first != std::string::npos && IsIdentStart(line[first])) {
            std::size_t i = first;
            while (i < line.size() && IsIdentChar(line[i]))
                ++i;
            if (i < line.size() && line[i] == ':') {
                label = line.substr(first, i - first);
                restAt = i + 1;
            }
        }
        if (!label.empty()) {
            if (!m_current) {
                Error(n, first, "label " + label + " outside a pattern");
                return;
            }
            if (!IsLabelName(label)) {
                Error(n, first,
                      label + (label.find('-') != std::string::npos
                                   ? " cannot be a label (labels are written in ASCII letters, digits and _)"
                                   : " cannot be a label (it is an instruction, value or variable name)"));
                return;
            }
            m_current->body.push_back({n, line, {}, label, first});
        }
        // A bytes line is read by itself (its hex pairs are no tokens).
        const std::size_t head = line.find_first_not_of(" \t", restAt);
        const bool bytesLine =
            head != std::string::npos && line.compare(head, 5, "bytes") == 0 &&
            (head + 5 == line.size() || std::isspace(static_cast<unsigned char>(line[head + 5])));
        std::size_t at = 0;
        if (bytesLine) {
            tokens.push_back({Tok::Ident, "bytes", 0, head, {}, {}});
        } else if (!Tokenize(line, restAt, tokens, error, at)) {
            Error(n, at, error);
            Failed(n, line, head);
            return;
        }
        if (tokens.empty())
            return;
        const Token& t0 = tokens[0];
        const bool directive = t0.type == Tok::Ident && IsDirective(t0.text);
        if (t0.type == Tok::Ident && !directive &&
            (m_current || t0.text == "bytes" || t0.text.compare(0, 3, "OP_") == 0)) {
            if (!m_current) {
                Error(n, t0.at, "instruction outside a pattern (start one with: pattern \"Name\")");
                return;
            }
            m_current->body.push_back({n, line, tokens, {}, 0});
            return;
        }
        if (!directive) {
            std::vector<std::string> names(std::begin(kDirectives), std::end(kDirectives));
            Error(n, t0.at,
                  t0.type == Tok::Ident ? "unknown directive " + t0.text + DidYouMean(t0.text, names)
                                        : "expected a directive or an instruction, found " + Describe(t0));
            return;
        }
        m_lineEnd = EndOfCode(line);
        Directive(n, t0.text, tokens);
    }

    // A directive line that failed still counts as given, so that no knock-on error follows: a
    // pattern starts (its instructions are not blamed for standing outside one), a cell or
    // sound takes its number, a version or name line is not missing.
    void Failed(int n, const std::string& line, std::size_t head) {
        std::size_t end = head;
        while (end < line.size() && IsIdentChar(line[end]))
            ++end;
        const std::string word = head < line.size() ? line.substr(head, end - head) : "";
        int first = 0;
        if (word == "pattern") {
            m_patterns.push_back({n, std::string(), {}});
            m_current = &m_patterns.back();
        } else if (word == "cell") {
            build::Cell blank;
            blank.width = blank.height = 1;
            m_c.cells.push_back(blank);
            m_cellLines.push_back(n);
        } else if (word == "sound") {
            m_c.sounds.emplace_back();
            m_soundLines.push_back(n);
        } else if (IsDirective(word) && m_seen.First(word, n, first) && word == "version") {
            m_versionLine = n;
        }
    }

    // Where operand i of a directive stands, or the end of the line when it is missing.
    std::size_t At(const std::vector<Token>& t, std::size_t i) const {
        return i < t.size() ? t[i].at : m_lineEnd;
    }

    // Operand helpers for directives.
    bool Number(int n, const std::vector<Token>& t, std::size_t i, DWORD max, DWORD& v, const char* what) {
        if (i >= t.size() || (t[i].type != Tok::Number)) {
            Error(n, At(t, i), std::string(what) + " needs a number");
            return false;
        }
        if (t[i].number > max) {
            Error(n, t[i].at,
                  std::string(what) + " " + std::to_string(t[i].number) + " is out of range (0.." +
                      std::to_string(max) + ")");
            return false;
        }
        v = t[i].number;
        return true;
    }
    // A string operand; `stored` when it goes into the character as text (code page 932).
    bool String(int n, const std::vector<Token>& t, std::size_t i, std::string& v, const char* what,
                bool stored = true) {
        if (i >= t.size() || t[i].type != Tok::String) {
            Error(n, At(t, i), std::string(what) + " needs a quoted string");
            return false;
        }
        if (stored && !t[i].noCp932.empty()) {
            Error(n, t[i].at, t[i].noCp932);
            return false;
        }
        v = stored ? t[i].text : t[i].utf8;
        return true;
    }
    bool End(int n, const std::vector<Token>& t, std::size_t i, const std::string& what) {
        if (i < t.size()) {
            Error(n, t[i].at, "unexpected " + Describe(t[i]) + " after " + what);
            return false;
        }
        return true;
    }

    void Directive(int n, const std::string& d, const std::vector<Token>& t) {
        std::string error;
        DWORD v = 0, v2 = 0;
        std::string s;
        if (d == "pattern") {
            m_patterns.push_back({n, std::nullopt, {}});
            m_current = &m_patterns.back();
            if (t.size() > 1) {
                if (!String(n, t, 1, s, "pattern") || !End(n, t, 2, "the pattern name"))
                    return;
                if (s.size() > kMaxNameText)
                    Error(n, t[1].at,
                          "pattern name of " + std::to_string(s.size()) + " bytes; the menu shows at most " +
                              std::to_string(kMaxNameText));
                m_current->name = s;
            }
            return;
        }
        if (d == "cell") {
            Cell(n, t);
            return;
        }
        if (d == "sound") {
            if (!Number(n, t, 1, 0xFFFF, v, "sound"))
                return;
            if (v != m_c.sounds.size()) {
                Error(n, t[1].at,
                      "sounds are numbered from 0 in order: this one must be sound " +
                          std::to_string(m_c.sounds.size()));
                return;
            }
            Bytes file;
            m_soundLines.push_back(n);
            const bool named = String(n, t, 2, s, "sound", false) && End(n, t, 3, "the sound");
            if (!named) {
                // counted all the same, so that the next sound's number is not blamed
            } else if (!m_read(s, file))
                Error(n, t[2].at, "cannot read the sound \"" + s + "\"");
            else if (file.size() < 12 || file[0] != 'R' || file[1] != 'I' || file[2] != 'F' ||
                     file[3] != 'F' || file[8] != 'W' || file[9] != 'A' || file[10] != 'V' || file[11] != 'E')
                Error(n, t[2].at, s + ": not a RIFF WAVE file");
            m_c.sounds.push_back(file);
            return;
        }
        int firstLine = 0;
        if (!m_seen.First(d, n, firstLine)) {
            Note(Error(n, t[0].at, d + " given twice"), firstLine, 0, "first given here");
            return;
        }
        if (d == "version") {
            m_versionLine = n;
            if (Number(n, t, 1, kLastKnownVersion, v, "version") && End(n, t, 2, "the version"))
                m_c.version = static_cast<WORD>(v);
        } else if (d == "name") {
            if (String(n, t, 1, s, "name") && End(n, t, 2, "the name")) {
                if (s.size() > kMaxCharName)
                    Error(n, t[1].at,
                          "character name of " + std::to_string(s.size()) + " bytes; at most " +
                              std::to_string(kMaxCharName));
                else if (s.empty())
                    Error(n, t[1].at,
                          "empty character name: the program keeps a character's settings under its name");
                m_c.name = s;
            }
        } else if (d == "about") {
            if (String(n, t, 1, s, "about") && End(n, t, 2, "the about text")) {
                if (s.size() > kMaxAbout)
                    Error(n, t[1].at,
                          "about text of " + std::to_string(s.size()) + " bytes; at most " +
                              std::to_string(kMaxAbout));
                m_c.about = s;
            }
        } else if (d == "window") {
            if (Number(n, t, 1, 0xFFFF, v, "window width") && Number(n, t, 2, 0xFFFF, v2, "window height") &&
                End(n, t, 3, "the window size")) {
                if (v == 0 || v2 == 0)
                    Error(n, t[v == 0 ? 1 : 2].at,
                          "a window of " + std::to_string(v) + " x " + std::to_string(v2) +
                              " pixels: nothing could show the character");
                else if (v > kMaxWindowSide || v2 > kMaxWindowSide)
                    Error(n, t[v > kMaxWindowSide ? 1 : 2].at,
                          "a window of " + std::to_string(v) + " x " + std::to_string(v2) +
                              " pixels: the program shows at most " + std::to_string(kMaxWindowSide) +
                              " pixels each way");
                m_c.width = static_cast<WORD>(v);
                m_c.height = static_cast<WORD>(v2);
            }
        } else if (d == "default-pattern") {
            if (Number(n, t, 1, 0xFFFF, v, "default-pattern") && End(n, t, 2, "the default pattern")) {
                m_c.defaultPattern = static_cast<WORD>(v);
                m_defaultPatternLine = n;
                m_defaultPatternAt = t[1].at;
            }
        } else if (d == "default-position") {
            if (Number(n, t, 1, 100, v, "default-position") && End(n, t, 2, "the default position"))
                m_c.defaultPosition = static_cast<WORD>(v);
        } else if (d == "menu-columns") {
            if (Number(n, t, 1, 0xFFFF, v, "menu-columns") && End(n, t, 2, "the menu columns"))
                m_c.menuColumns = static_cast<WORD>(v);
        } else if (d == "prefix-size") {
            if (Number(n, t, 1, 0xFFFF, v, "prefix-size") && End(n, t, 2, "the prefix size"))
                m_c.prefixSize = static_cast<WORD>(v);
        } else if (d == "file-size") {
            if (Number(n, t, 1, 0xFFFFFFFF, v, "file-size") && End(n, t, 2, "the file size"))
                m_c.fileSizeField = v;
        } else if (d == "file-header-check") {
            if (Number(n, t, 1, 0xFFFF, v, "file-header-check") && End(n, t, 2, "the check value"))
                m_c.fileHeaderCrc = static_cast<WORD>(v);
        } else if (d == "char-header-check") {
            if (Number(n, t, 1, 0xFFFF, v, "char-header-check") && End(n, t, 2, "the check value"))
                m_c.charHeaderCrc = static_cast<WORD>(v);
        } else if (d == "raw-image") {
            if (String(n, t, 1, s, "raw-image", false) && End(n, t, 2, "the file name")) {
                Bytes file;
                if (!m_read(s, file))
                    Error(n, t[1].at, "cannot read \"" + s + "\"");
                m_rawImage = file;
                m_rawImageLine = n;
            }
        }
    }

    // cell N "file.bmp" at X Y [mask-runs]. Once its number is right the cell takes its place
    // even when the rest of the line fails, so that the next cell's number is not blamed.
    void Cell(int n, const std::vector<Token>& t) {
        DWORD v = 0, x = 0, y = 0;
        if (!Number(n, t, 1, 0xFFFF, v, "cell"))
            return;
        if (v != m_c.cells.size()) {
            Error(n, t[1].at,
                  "cells are numbered from 0 in order: this one must be cell " +
                      std::to_string(m_c.cells.size()));
            return;
        }
        build::Cell cell;
        cell.width = cell.height = 1;
        m_cellLines.push_back(n);
        std::string name;
        if (!String(n, t, 2, name, "cell", false)) {
            m_c.cells.push_back(cell);
            return;
        }
        if (t.size() < 4 || t[3].type != Tok::Ident || t[3].text != "at") {
            Error(n, At(t, 3), "cell needs its place: cell N \"file.bmp\" at X Y");
            m_c.cells.push_back(cell);
            return;
        }
        const bool runs = t.size() > 6 && t[6].type == Tok::Ident && t[6].text == "mask-runs";
        if (!Number(n, t, 4, 0xFFFF, x, "cell x") || !Number(n, t, 5, 0xFFFF, y, "cell y") ||
            !End(n, t, runs ? 7 : 6, "the cell")) {
            m_c.cells.push_back(cell);
            return;
        }
        Bytes file;
        std::string error;
        if (!m_read(name, file))
            Error(n, t[2].at, "cannot read the cell's picture \"" + name + "\"");
        else if (!ReadBmp(file, cell, error))
            Error(n, t[2].at, name + ": " + error);
        cell.x = static_cast<WORD>(x);
        cell.y = static_cast<WORD>(y);
        if (runs) {
            if (cell.bitCount != 1)
                Error(n, t[6].at,
                      "mask-runs needs a 1-bit picture; " + name + " has " + std::to_string(cell.bitCount) +
                          " bits per pixel");
            else if (x != 0 || y != 0)
                MaskPlaceWarning(Warning(n, t[4].at, ""), static_cast<WORD>(v), x, y);
            cell.bits = build::CompressMaskRuns(cell.bits);
            cell.compression = kMaskRunLength;
        }
        m_c.cells.push_back(cell);
    }

    // A window shape always starts at the window's top-left corner: a mask's place is not used.
    void MaskPlaceWarning(Diagnostic& d, WORD c, DWORD x, DWORD y) {
        d.message = "mask cell " + std::to_string(c) + " is placed at " + std::to_string(x) + "," +
                    std::to_string(y) + ", but a window shape always starts at the window's corner (0,0)";
        if (d.line != m_cellLines[c])
            Note(d, m_cellLines[c], 0, "cell " + std::to_string(c) + " is placed here");
    }

    void Finish(int lastLine) {
        if (m_rawImage) {
            for (const auto& [what, line] : m_seen.lines)
                if (what != "raw-image")
                    Error(line, 0,
                          what + " cannot be combined with raw-image (line " +
                              std::to_string(m_rawImageLine) + ")");
            if (!m_c.cells.empty() || !m_c.sounds.empty() || !m_patterns.empty())
                Error(m_rawImageLine, 0, "raw-image stands alone: no cells, sounds or patterns with it");
            return;
        }
        if (!m_versionLine)
            Error(lastLine, 0, "no version line (version 300..303)");
        if (!m_seen.lines.count("window"))
            Error(lastLine, 0, "no window line (window WIDTH HEIGHT)");
        if (!m_seen.lines.count("name"))
            Error(lastLine, 0, "no name line (name \"...\")");
        if (m_c.cells.empty())
            Error(lastLine, 0, "no cell: cell 0 is needed (the palette comes from it)");
        if (m_patterns.empty())
            Error(lastLine, 0, "no pattern: a character needs at least one");
        if (m_defaultPatternLine && m_c.defaultPattern > m_patterns.size())
            Error(m_defaultPatternLine, m_defaultPatternAt,
                  "default-pattern " + std::to_string(m_c.defaultPattern) + ", but there " +
                      (m_patterns.size() == 1 ? "is only " : "are only ") +
                      Plural(m_patterns.size(), "pattern", "patterns") + " (0 is a random choice)");
        if (!m_seen.lines.count("about"))
            m_c.about.clear();
        for (const PatternSource& p : m_patterns)
            AssemblePattern(p);
    }

    void AssemblePattern(const PatternSource& p) {
        build::Pattern out;
        const std::size_t base = p.name ? build::NameRecordLength(*p.name, m_c.version) : 0;
        std::vector<Place>& places = m_places.emplace_back();
        if (p.name)
            places.push_back({0, p.line, 0, {}});
        Bytes body;
        struct Label {
            DWORD offset;
            int line;
            std::size_t at;
        };
        std::map<std::string, Label> labels;
        std::vector<std::pair<Fixup, int>> fixups;
        std::vector<std::string> unresolved; // labels whose lines failed: no knock-on errors
        for (const auto& line : p.body) {
            if (!line.label.empty()) {
                const Label here{static_cast<DWORD>(base + body.size()), line.line, line.labelAt};
                auto [it, inserted] = labels.emplace(line.label, here);
                if (!inserted)
                    Note(Error(line.line, line.labelAt,
                               "label " + line.label + " defined twice in this pattern"),
                         it->second.line, it->second.at, "first defined here");
                continue;
            }
            EncodedInstruction e;
            if (!EncodeInstruction(line.text, line.tokens, m_c.version, e)) {
                Error(line.line, e.at, e.error);
                continue;
            }
            // A `bytes` line may hold fewer bytes than any instruction: look only at what is there.
            if (e.bytes.size() >= 4 && e.bytes[0] == OP_NEWSHAPE && e.bytes[1] == 'b')
                NewShapeOfPlacedMask(line, e.bytes);
            places.push_back({base + body.size(), line.line, line.tokens[0].at, e.operandAt});
            for (Fixup f : e.fixups) {
                f.at += body.size();
                fixups.push_back({f, line.line});
            }
            body.insert(body.end(), e.bytes.begin(), e.bytes.end());
        }
        std::vector<std::string> names;
        for (const auto& [name, label] : labels)
            names.push_back(name);
        for (const auto& [f, line] : fixups) {
            const auto it = labels.find(f.label);
            if (it == labels.end()) {
                Error(line, f.column,
                      "no label " + f.label + " in this pattern" + DidYouMean(f.label, names));
                continue;
            }
            build::PutU32(body, f.at, it->second.offset);
        }
        if (p.name) {
            out.name = *p.name;
            out.body = body;
        } else {
            out.raw = body;
        }
        m_c.patterns.push_back(out);
    }

    // OP_NEWSHAPE 'b' with a literal cell that is placed off the corner.
    void NewShapeOfPlacedMask(const PatternSource::BodyLine& line, const Bytes& bytes) {
        const WORD c = static_cast<WORD>(bytes[2] | (bytes[3] << 8));
        if (c >= m_c.cells.size() || (m_c.cells[c].x == 0 && m_c.cells[c].y == 0) ||
            m_c.cells[c].compression == kMaskRunLength) // said on its cell line
            return;
        MaskPlaceWarning(Warning(line.line, line.tokens.size() > 2 ? line.tokens[2].at : 0, ""), c,
                         m_c.cells[c].x, m_c.cells[c].y);
    }

    // The lint's findings on the built image, each at the line of the instruction it names (the
    // operand at fault when it names one), or of the sound.
    void LintAtSourceLines(const Bytes& built) {
        const ImageView image(built.data(), built.size());
        const Verdict v = JudgeImage(image);
        if (v.message != LoadMessage::None && !(v.message == LoadMessage::MayBeCorrupted && v.yesLoads))
            return;
        for (const LintProblem& problem : LintImage(image).problems) {
            if (problem.pattern == LintProblem::kNone) {
                if (problem.sound < m_soundLines.size())
                    Warning(m_soundLines[problem.sound], 0, problem.where + ": " + problem.what);
                continue;
            }
            if (problem.pattern >= m_places.size() || m_places[problem.pattern].empty())
                continue;
            const std::vector<Place>& places = m_places[problem.pattern];
            // The instruction that holds the offset: the last one that starts at or before it.
            auto it = std::upper_bound(places.begin(), places.end(), problem.offset,
                                       [](std::size_t off, const Place& pl) { return off < pl.offset; });
            const Place& place = it == places.begin() ? places.front() : *std::prev(it);
            const std::size_t k = static_cast<std::size_t>(problem.operand);
            Warning(place.line,
                    problem.operand >= 0 && k < place.operandAt.size() ? place.operandAt[k] : place.at,
                    problem.what);
        }
    }

    // Where an instruction of a pattern came from.
    struct Place {
        std::size_t offset; // in the pattern
        int line;
        std::size_t at;                     // byte index of the instruction in its line
        std::vector<std::size_t> operandAt; // and of each operand
    };

    std::string m_source;
    ReadFileFn m_read;
    std::vector<std::string> m_lines;
    std::vector<Diagnostic> m_diags;
    std::size_t m_lineEnd = 0; // where the code of the directive line being read ends
    build::Character m_c;
    std::vector<int> m_cellLines;             // the line of each cell
    std::vector<int> m_soundLines;            // and of each sound
    std::vector<std::vector<Place>> m_places; // per pattern, in offset order
    Seen m_seen;
    int m_versionLine = 0;
    int m_defaultPatternLine = 0;
    std::size_t m_defaultPatternAt = 0;
    std::optional<Bytes> m_rawImage;
    int m_rawImageLine = 0;
    std::deque<PatternSource> m_patterns;
    PatternSource* m_current = nullptr;
};

} // namespace

bool AssembleSource(const std::string& sourceName, const std::string& text, const ReadFileFn& readFile,
                    build::Bytes& image, std::vector<std::string>& errors,
                    std::vector<std::string>* warnings) {
    SourceAssembler a(sourceName, readFile);
    return a.Run(text, image, errors, warnings);
}

} // namespace kp::tool
