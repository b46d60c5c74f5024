#include "SourceText.h"

#include "Cp932Text.h"
#include "Diagnostics.h"

#include <cctype>
#include <cstdio>
#include <string_view>

namespace kp::tool::kps {

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
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

namespace {

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

} // namespace

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size() || (pos == text.size() && pos == 0)) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        pos = end + 1;
    }
    return lines;
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

std::string DidYouMean(const std::string& word, const std::vector<std::string>& names) {
    const std::string near = NearestName(word, names);
    return near.empty() ? "" : " (did you mean " + near + "?)";
}

} // namespace kp::tool::kps
