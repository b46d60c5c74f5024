#include "Assembler.h"

#include "BmpFile.h"
#include "Cp932Text.h"
#include "Diagnostics.h"
#include "Lint.h"
#include "Verdict.h"

#include "chardata/DataFile.h"
#include "engine/Opcodes.h"
#include "engine/ScriptHost.h"
#include "engine/ScriptReader.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <deque>
#include <optional>
#include <string_view>

namespace kp::tool {

using build::Bytes;
using namespace kpfile;

namespace {

// Largest string a script can hand over: the interpreter's string buffer, zero byte included.
constexpr std::size_t kMaxString = kScriptStringBuffer;
// A pattern name is stored with its zero byte and the menu reads at most 255 bytes.
constexpr std::size_t kMaxNameText = kMaxPatternName - 1;
constexpr std::size_t kMaxCharName = kNameSize - 1;
constexpr std::size_t kMaxAbout = kAboutSize - 1;
constexpr DWORD kLargestLiteral = 0x7FFF;
constexpr unsigned kVariableCount = kScriptVariables;
constexpr WORD kVariableRead = 0x8000;

enum class Tok { Ident, Number, Char, String, Raw, Symbol };

struct Token {
    Tok type = Tok::Ident;
    std::string text;   // identifier or symbol as written; a string's code page 932 bytes
    DWORD number = 0;   // numbers, characters and raw words
    std::size_t at = 0; // byte index in the source line
    // A string as written (UTF-8, escapes applied): file names are opened by it.
    std::string utf8;
    // Why the string has no code page 932 form; only a text stored in the character needs one.
    std::string noCp932;
};

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

bool ParseNumber(const std::string& s, std::size_t& i, DWORD& value, std::string& error) {
    unsigned long long v = 0;
    int base = 10;
    const std::size_t start = i;
    if (s.compare(i, 2, "0x") == 0 || s.compare(i, 2, "0X") == 0) {
        base = 16;
        i += 2;
    }
    const std::size_t digits = i;
    while (i < s.size() && std::isxdigit(static_cast<unsigned char>(s[i]))) {
        const char c = s[i];
        const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
        if (d >= base)
            break;
        v = v * base + static_cast<unsigned>(d);
        if (v > 0xFFFFFFFFull) {
            error = "number too large: " + s.substr(start, i + 1 - start);
            return false;
        }
        ++i;
    }
    if (i == digits || (i < s.size() && IsIdentChar(s[i]))) {
        error = "bad number: " + s.substr(start, i + 1 - start);
        return false;
    }
    value = static_cast<DWORD>(v);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A quoted string from s[i] == '"': UTF-8 text converted to code page 932, escapes as bytes.
// `raw` receives the text as written with the escapes applied; a text without a code page 932
// form leaves its reason in `noCp932` (a file name needs none).
bool ParseString(const std::string& s, std::size_t& i, Token& t, std::string& error) {
    ++i;
    std::string text; // UTF-8 waiting for conversion
    auto flush = [&]() {
        std::string converted;
        if (!Utf8ToCp932(text, converted) && t.noCp932.empty())
            t.noCp932 = "text \"" + text + "\" has no Shift-JIS (code page 932) form";
        t.text += converted;
        text.clear();
    };
    while (i < s.size() && s[i] != '"') {
        if (s[i] != '\\') {
            t.utf8.push_back(s[i]);
            text.push_back(s[i++]);
            continue;
        }
        if (i + 1 >= s.size())
            break;
        const char e = s[i + 1];
        char byte = 0;
        std::size_t used = 2;
        switch (e) {
        case '\\':
        case '"':
            byte = e;
            break;
        case 'n':
            byte = '\n';
            break;
        case 'r':
            byte = '\r';
            break;
        case 't':
            byte = '\t';
            break;
        case '0':
            byte = 0;
            break;
        case 'x': {
            const int hi = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
            const int lo = i + 3 < s.size() ? HexDigit(s[i + 3]) : -1;
            if (hi < 0 || lo < 0) {
                error = "\\x needs two hex digits";
                return false;
            }
            byte = static_cast<char>(hi * 16 + lo);
            used = 4;
            break;
        }
        default:
            error = std::string("unknown escape \\") + e +
                    " in a string (escapes: \\\" \\\\ \\n \\r \\t \\0 \\xNN)";
            return false;
        }
        flush();
        t.text.push_back(byte);
        t.utf8.push_back(byte);
        i += used;
    }
    if (i >= s.size()) {
        error = "string without its closing quote";
        return false;
    }
    ++i;
    flush();
    return true;
}

// What to say about a character the source language has no use for.
std::string UnexpectedCharacter(const std::string& s, std::size_t i) {
    std::size_t next = i;
    char32_t cp = 0;
    if (!NextCodePoint(s, next, cp)) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(s[i]));
        return std::string("byte ") + hex + " is not UTF-8";
    }
    std::string what = "unexpected character " + DescribeCodePoint(cp);
    if (cp >= 0x3040 && !(cp >= 0xFF01 && cp <= 0xFF5E))
        what += " (outside strings, names and labels are written in ASCII letters, digits and _)";
    return what;
}

// Splits s[from..] into tokens; each token's `at` is its byte index in s. On failure `at` is
// the place of the fault.
bool Tokenize(const std::string& s, std::size_t from, std::vector<Token>& tokens, std::string& error,
              std::size_t& at) {
    std::size_t i = from;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '#')
            break;
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
            continue;
        }
        Token t;
        t.at = at = i;
        if (IsIdentStart(c)) {
            const std::size_t start = i;
            while (i < s.size() && IsIdentChar(s[i]))
                ++i;
            t.type = Tok::Ident;
            t.text = s.substr(start, i - start);
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            t.type = Tok::Number;
            if (!ParseNumber(s, i, t.number, error))
                return false;
        } else if (c == '@') {
            ++i;
            t.type = Tok::Raw;
            if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) {
                error = "@ must be followed by a number";
                return false;
            }
            if (!ParseNumber(s, i, t.number, error))
                return false;
        } else if (c == '\'') {
            t.type = Tok::Char;
            if (i + 3 < s.size() && s[i + 1] == '\\' && s[i + 3] == '\'') {
                t.number = static_cast<BYTE>(s[i + 2]);
                i += 4;
            } else if (i + 2 < s.size() && s[i + 2] == '\'' && static_cast<unsigned char>(s[i + 1]) < 0x80) {
                t.number = static_cast<BYTE>(s[i + 1]);
                i += 3;
            } else {
                error = "a character is written as one ASCII character in single quotes, as 'b'";
                return false;
            }
        } else if (c == '"') {
            t.type = Tok::String;
            if (!ParseString(s, i, t, error))
                return false;
        } else if (c == ':') {
            t.type = Tok::Symbol;
            t.text = ":";
            ++i;
        } else if (std::string_view("!<=>").find(c) != std::string_view::npos) {
            // A run of comparison characters is one symbol, so that <= is told apart from <.
            t.type = Tok::Symbol;
            while (i < s.size() && std::string_view("!<=>").find(s[i]) != std::string_view::npos)
                t.text.push_back(s[i++]);
        } else {
            error = UnexpectedCharacter(s, i);
            return false;
        }
        tokens.push_back(t);
    }
    return true;
}

// vN or varN: the variable number, or -1 for any other word.
long VariableNumber(const std::string& word) {
    std::size_t digits = 0;
    if (word.size() > 1 && word[0] == 'v' && std::isdigit(static_cast<unsigned char>(word[1])))
        digits = 1;
    else if (word.size() > 3 && word.compare(0, 3, "var") == 0 &&
             std::isdigit(static_cast<unsigned char>(word[3])))
        digits = 3;
    else
        return -1;
    long n = 0;
    for (std::size_t i = digits; i < word.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(word[i])))
            return -1;
        n = n * 10 + (word[i] - '0');
        if (n > 0xFFFF)
            return 0xFFFF + 1;
    }
    return n;
}

const char* KindName(OperandKind k) {
    switch (k) {
    case OperandKind::Byte:
        return "byte";
    case OperandKind::Word:
        return "word";
    case OperandKind::Offset:
        return "offset";
    case OperandKind::Value:
        return "value";
    case OperandKind::Variable:
        return "variable";
    case OperandKind::String:
        return "string";
    }
    return "operand";
}

std::string Signature(const OpcodeInfo& op) {
    std::string s = std::string(op.name) + " takes ";
    if (op.operandCount == 0)
        return s + "no operands";
    for (std::size_t i = 0; i < op.operandCount; ++i)
        s += std::string(i ? ", " : "") + KindName(op.operands[i]);
    return s;
}

std::string Describe(const Token& t) {
    switch (t.type) {
    case Tok::Ident:
    case Tok::Symbol:
        return t.text;
    case Tok::Number:
        return std::to_string(t.number);
    case Tok::Raw:
        return "@" + std::to_string(t.number);
    case Tok::Char:
        return std::string("'") + static_cast<char>(t.number) + "'";
    case Tok::String:
        return "a string";
    }
    return "?";
}

// A label reference left open until the pattern's labels are all known.
struct Fixup {
    std::size_t at; // position in the encoded bytes
    std::string label;
    std::size_t column = 0; // byte index of the reference in its source line
};

// Where the code of a line ends: before a comment and trailing blanks (strings aside).
std::size_t EndOfCode(const std::string& line) {
    std::size_t end = line.size();
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"' && (i == 0 || line[i - 1] != '\\'))
            quoted = !quoted;
        else if (line[i] == '#' && !quoted) {
            end = i;
            break;
        }
    }
    while (end > 0 && std::isspace(static_cast<unsigned char>(line[end - 1])))
        --end;
    return end;
}

std::vector<std::string> OpcodeNames() {
    std::vector<std::string> names{"bytes"};
    for (BYTE c = kFirstOpcode; c <= kLastOpcode; ++c)
        names.push_back(FindOpcode(c)->name);
    return names;
}

std::vector<std::string> ValueNames() {
    std::vector<std::string> names;
    std::size_t count = 0;
    const ValueCodeInfo* table = ValueCodeTable(&count);
    for (std::size_t i = 0; i < count; ++i)
        names.push_back(table[i].name);
    return names;
}

std::string DidYouMean(const std::string& word, const std::vector<std::string>& names) {
    const std::string near = NearestName(word, names);
    return near.empty() ? "" : " (did you mean " + near + "?)";
}

class InstructionEncoder {
public:
    explicit InstructionEncoder(WORD version) : m_version(version) {}

    // Encodes tokens[first..] of `line` as one instruction or a `bytes` line and appends to
    // `out`. On failure At() is the byte index in the line of the fault.
    bool Encode(const std::string& line, const std::vector<Token>& tokens, std::size_t first, Bytes& out,
                std::vector<Fixup>& fixups, std::string& error) {
        const Token& head = tokens[first];
        m_at = head.at;
        m_operandAt.clear();
        if (head.type != Tok::Ident) {
            error = "expected an instruction, found " + Describe(head);
            return false;
        }
        if (head.text == "bytes")
            return EncodeBytes(line, head.at + 5, out, error);
        const OpcodeInfo* op = FindOpcodeByName(head.text.c_str());
        if (!op) {
            error = "unknown instruction " + head.text;
            std::string upper;
            for (char c : head.text)
                upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            if (FindOpcodeByName(upper.c_str()))
                error += " (instructions are written in capitals: " + upper + ")";
            else if (FindOpcodeByName(("OP_" + upper).c_str()))
                error += " (did you mean OP_" + upper + "?)";
            else
                error += DidYouMean(head.text, OpcodeNames());
            return false;
        }
        out.push_back(op->code);
        std::size_t t = first + 1;
        for (std::size_t k = 0; k < op->operandCount; ++k) {
            if (t >= tokens.size()) {
                m_at = EndOfCode(line);
                error = "missing operand: " + Signature(*op);
                return false;
            }
            if (!Operand(*op, k, tokens, t, out, fixups, error))
                return false;
            m_operandAt.push_back(m_at);
        }
        if (t < tokens.size()) {
            m_at = tokens[t].at;
            error = "too many operands: " + Signature(*op);
            return false;
        }
        return true;
    }

    std::size_t At() const { return m_at; }
    // Where each operand of the instruction last encoded stands in its line (byte index).
    const std::vector<std::size_t>& OperandPlaces() const { return m_operandAt; }

private:
    bool EncodeBytes(const std::string& line, std::size_t i, Bytes& out, std::string& error) {
        while (i < line.size()) {
            const char c = line[i];
            if (c == '#')
                break;
            if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
                ++i;
                continue;
            }
            const int hi = HexDigit(c);
            const int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
            const bool ends = i + 2 >= line.size() || std::isspace(static_cast<unsigned char>(line[i + 2])) ||
                              line[i + 2] == ',' || line[i + 2] == '#';
            if (hi < 0 || lo < 0 || !ends) {
                m_at = i;
                error = "bytes takes hex pairs such as 08 C8 00";
                return false;
            }
            out.push_back(static_cast<BYTE>(hi * 16 + lo));
            i += 2;
        }
        return true;
    }

    bool Operand(const OpcodeInfo& op, std::size_t k, const std::vector<Token>& tokens, std::size_t& t,
                 Bytes& out, std::vector<Fixup>& fixups, std::string& error) {
        const OperandKind kind = op.operands[k];
        const Token& tok = tokens[t++];
        m_at = tok.at;
        const std::string where =
            std::string(op.name) + " operand " + std::to_string(k + 1) + " (" + KindName(kind) + "): ";
        switch (kind) {
        case OperandKind::Byte:
            if (op.code == OP_IF && !(tok.type == Tok::Symbol && tok.text.size() == 1 && tok.text != ":") &&
                tok.type != Tok::Number && tok.type != Tok::Raw && tok.type != Tok::Char)
                return Fail(error, where + Describe(tok) +
                                       " is no comparison; comparisons are <, =, > and ! (not equal); for "
                                       "<= or >= compare with the neighbouring number or swap the operands");
            if ((tok.type == Tok::Number || tok.type == Tok::Raw) && tok.number <= 0xFF)
                out.push_back(static_cast<BYTE>(tok.number));
            else if (tok.type == Tok::Char || (tok.type == Tok::Symbol && tok.text.size() == 1))
                out.push_back(static_cast<BYTE>(tok.type == Tok::Char ? tok.number : tok.text[0]));
            else
                return Fail(error,
                            where + Describe(tok) + " is no byte (0..255, or a character such as 'b' or <)");
            return true;
        case OperandKind::Word:
            if ((tok.type == Tok::Number || tok.type == Tok::Raw || tok.type == Tok::Char) &&
                tok.number <= 0xFFFF) {
                build::AppendU16(out, static_cast<WORD>(tok.number));
                return true;
            }
            return Fail(error, where + Describe(tok) + " is no word (0..65535)");
        case OperandKind::Offset:
            if (tok.type == Tok::Number || tok.type == Tok::Raw) {
                build::AppendU32(out, tok.number);
                return true;
            }
            if (tok.type == Tok::Ident && IsLabelName(tok.text)) {
                fixups.push_back({out.size(), tok.text, tok.at});
                build::AppendU32(out, 0);
                return true;
            }
            return Fail(error, where + Describe(tok) + " is no label or offset");
        case OperandKind::Value: {
            WORD w = 0;
            if (!ValueWord(tok, w, error)) {
                error = where + error;
                return false;
            }
            build::AppendU16(out, w);
            return true;
        }
        case OperandKind::Variable: {
            if (tok.type == Tok::Raw && tok.number <= 0xFFFF) {
                build::AppendU16(out, static_cast<WORD>(tok.number));
                return true;
            }
            const long n = tok.type == Tok::Ident ? VariableNumber(tok.text) : -1;
            if (n < 0)
                return Fail(error, where + Describe(tok) +
                                       " is no variable (variables are written v0..v99 or "
                                       "var0..var99)");
            if (n >= static_cast<long>(kVariableCount))
                return Fail(error, where + "variable " + std::to_string(n) + " does not exist (v0..v99)");
            build::AppendU16(out, static_cast<WORD>(n));
            return true;
        }
        case OperandKind::String: {
            bool exact = false;
            const Token* s = &tok;
            if (tok.type == Tok::Ident && tok.text == "exact" && t < tokens.size()) {
                exact = true;
                s = &tokens[t++];
            }
            m_at = s->at;
            if (s->type != Tok::String)
                return Fail(error, where + Describe(*s) + " is no string (\"text\" or exact \"bytes\")");
            if (!s->noCp932.empty())
                return Fail(error, where + s->noCp932);
            std::string bytes = s->text;
            if (!exact)
                bytes.push_back('\0');
            if (bytes.size() > kMaxString)
                return Fail(error, where + "string of " + std::to_string(bytes.size()) +
                                       " bytes with its zero byte; a script string holds at most " +
                                       std::to_string(kMaxString));
            AppendString(bytes, out);
            return true;
        }
        }
        return false;
    }

    static bool Fail(std::string& error, const std::string& why) {
        error = why;
        return false;
    }

    static bool ValueWord(const Token& tok, WORD& w, std::string& error) {
        switch (tok.type) {
        case Tok::Number:
        case Tok::Char:
            if (tok.number > kLargestLiteral) {
                error = std::to_string(tok.number) + " is above 32767, the largest literal (larger numbers "
                                                     "come from variables; @0x8000 and up writes a stored "
                                                     "word as it is)";
                return false;
            }
            w = static_cast<WORD>(tok.number);
            return true;
        case Tok::Raw:
            if (tok.number > 0xFFFF) {
                error = "@" + std::to_string(tok.number) + " is no 16-bit word";
                return false;
            }
            w = static_cast<WORD>(tok.number);
            return true;
        case Tok::Ident: {
            if (FindValueCode(tok.text.c_str(), &w))
                return true;
            const long n = VariableNumber(tok.text);
            if (n >= static_cast<long>(kVariableCount)) {
                error = "variable " + std::to_string(n) + " does not exist (v0..v99)";
                return false;
            }
            if (n >= 0) {
                w = static_cast<WORD>(kVariableRead | n);
                return true;
            }
            error = "unknown value " + tok.text + " (a number, v0..v99 or a VAL_ name)" +
                    DidYouMean(tok.text, ValueNames());
            return false;
        }
        default:
            error = Describe(tok) + " is no value";
            return false;
        }
    }

    void AppendString(const std::string& text, Bytes& out) const {
        const auto n = static_cast<WORD>(text.size());
        build::AppendU16(out, n);
        Bytes stored(text.begin(), text.end());
        if (m_version >= kFirstCheckedVersion) {
            if (stored.empty()) {
                // The interpreter reads one byte even for length 0: the byte that gives back 0.
                stored.push_back(0);
            } else {
                const Bytes plain = stored;
                EncodeTextFormB(plain.data(), plain.size(), static_cast<BYTE>(n & 0xFF), stored.data());
            }
        }
        out.insert(out.end(), stored.begin(), stored.end());
    }

    WORD m_version;
    std::size_t m_at = 0;
    std::vector<std::size_t> m_operandAt;
};

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
        SplitLines(text);
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
    void SplitLines(const std::string& text) {
        std::size_t pos = 0;
        while (pos < text.size() || (pos == text.size() && pos == 0)) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string::npos)
                end = text.size();
            std::string line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_lines.push_back(line);
            pos = end + 1;
        }
    }

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
        InstructionEncoder encoder(m_c.version);
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
            std::vector<Fixup> lineFixups;
            std::string error;
            Bytes bytes;
            if (!encoder.Encode(line.text, line.tokens, 0, bytes, lineFixups, error)) {
                Error(line.line, encoder.At(), error);
                continue;
            }
            if (bytes[0] == OP_NEWSHAPE && bytes[1] == 'b')
                NewShapeOfPlacedMask(line, bytes);
            places.push_back({base + body.size(), line.line, line.tokens[0].at, encoder.OperandPlaces()});
            for (Fixup f : lineFixups) {
                f.at += body.size();
                fixups.push_back({f, line.line});
            }
            body.insert(body.end(), bytes.begin(), bytes.end());
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

bool IsLabelName(const std::string& word) {
    if (word.empty() || !IsIdentStart(word[0]))
        return false;
    for (char c : word)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_')
            return false;
    WORD code = 0;
    return word != "bytes" && word != "exact" && !FindOpcodeByName(word.c_str()) &&
           !FindValueCode(word.c_str(), &code) && VariableNumber(word) < 0 &&
           word.compare(0, 3, "OP_") != 0 && word.compare(0, 4, "VAL_") != 0;
}

bool AssembleSource(const std::string& sourceName, const std::string& text, const ReadFileFn& readFile,
                    build::Bytes& image, std::vector<std::string>& errors,
                    std::vector<std::string>* warnings) {
    SourceAssembler a(sourceName, readFile);
    return a.Run(text, image, errors, warnings);
}

bool EncodeInstructionLine(const std::string& line, WORD version, const std::map<std::string, DWORD>& labels,
                           build::Bytes& out, std::string& error) {
    std::vector<Token> tokens;
    const std::size_t head = line.find_first_not_of(" \t");
    std::size_t at = 0;
    if (head != std::string::npos && line.compare(head, 5, "bytes") == 0)
        tokens.push_back({Tok::Ident, "bytes", 0, head, {}, {}});
    else if (!Tokenize(line, 0, tokens, error, at))
        return false;
    if (tokens.empty()) {
        error = "empty line";
        return false;
    }
    InstructionEncoder encoder(version);
    std::vector<Fixup> fixups;
    if (!encoder.Encode(line, tokens, 0, out, fixups, error))
        return false;
    for (const Fixup& f : fixups) {
        const auto it = labels.find(f.label);
        if (it == labels.end()) {
            error = "no label " + f.label;
            return false;
        }
        build::PutU32(out, f.at, it->second);
    }
    return true;
}

} // namespace kp::tool
