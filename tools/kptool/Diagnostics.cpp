#include "Diagnostics.h"

#include <algorithm>
#include <cstdio>

namespace kp::tool {

namespace {

const char* SeverityName(Severity s) {
    switch (s) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        return "note";
    }
    return "error";
}

// Wide in a terminal: the East Asian blocks an author's source may hold.
bool IsWide(char32_t cp) {
    return (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
           (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
           (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
           (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x20000 && cp <= 0x3FFFD);
}

// The Unicode names of the printable ASCII characters, for their full-width forms.
const char* AsciiName(char c) {
    static const char* const kPunctuation[] = {
        "EXCLAMATION MARK", "QUOTATION MARK", "NUMBER SIGN",      "DOLLAR SIGN",       "PERCENT SIGN",
        "AMPERSAND",        "APOSTROPHE",     "LEFT PARENTHESIS", "RIGHT PARENTHESIS", "ASTERISK",
        "PLUS SIGN",        "COMMA",          "HYPHEN-MINUS",     "FULL STOP",         "SOLIDUS"};
    static const char* const kDigits[] = {"DIGIT ZERO",  "DIGIT ONE",  "DIGIT TWO", "DIGIT THREE",
                                          "DIGIT FOUR",  "DIGIT FIVE", "DIGIT SIX", "DIGIT SEVEN",
                                          "DIGIT EIGHT", "DIGIT NINE"};
    static const char* const kBetween[] = {"COLON",        "SEMICOLON",         "LESS-THAN SIGN",
                                           "EQUALS SIGN",  "GREATER-THAN SIGN", "QUESTION MARK",
                                           "COMMERCIAL AT"};
    static const char* const kBrackets[] = {"LEFT SQUARE BRACKET", "REVERSE SOLIDUS", "RIGHT SQUARE BRACKET",
                                            "CIRCUMFLEX ACCENT",   "LOW LINE",        "GRAVE ACCENT"};
    static const char* const kLast[] = {"LEFT CURLY BRACKET", "VERTICAL LINE", "RIGHT CURLY BRACKET",
                                        "TILDE"};
    if (c >= '!' && c <= '/')
        return kPunctuation[c - '!'];
    if (c >= '0' && c <= '9')
        return kDigits[c - '0'];
    if (c >= ':' && c <= '@')
        return kBetween[c - ':'];
    if (c >= '[' && c <= '`')
        return kBrackets[c - '['];
    if (c >= '{' && c <= '~')
        return kLast[c - '{'];
    return nullptr;
}

struct NamedCodePoint {
    char32_t cp;
    const char* name;
    const char* instead; // what to write instead, or nullptr
};

const NamedCodePoint kNamed[] = {
    {0x00A0, "NO-BREAK SPACE", "an ASCII space"},
    {0x200B, "ZERO WIDTH SPACE", "nothing"},
    {0x2013, "EN DASH", "-"},
    {0x2014, "EM DASH", "-"},
    {0x2018, "LEFT SINGLE QUOTATION MARK", "'"},
    {0x2019, "RIGHT SINGLE QUOTATION MARK", "'"},
    {0x201C, "LEFT DOUBLE QUOTATION MARK", "\""},
    {0x201D, "RIGHT DOUBLE QUOTATION MARK", "\""},
    {0x2212, "MINUS SIGN", "-"},
    {0x3000, "IDEOGRAPHIC SPACE", "an ASCII space"},
    {0x3001, "IDEOGRAPHIC COMMA", ","},
    {0x3002, "IDEOGRAPHIC FULL STOP", nullptr},
    {0x300C, "LEFT CORNER BRACKET", "\""},
    {0x300D, "RIGHT CORNER BRACKET", "\""},
    {0x30FC, "KATAKANA-HIRAGANA PROLONGED SOUND MARK", nullptr},
    {0xFEFF, "ZERO WIDTH NO-BREAK SPACE", "nothing"},
};

} // namespace

bool NextCodePoint(std::string_view text, std::size_t& i, char32_t& cp) {
    const auto b = static_cast<unsigned char>(text[i++]);
    if (b < 0x80) {
        cp = b;
        return true;
    }
    std::size_t more = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        more = 1;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        more = 2;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        more = 3;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return false;
    }
    if (text.size() - i < more)
        return false;
    for (std::size_t k = 0; k < more; ++k) {
        const auto c = static_cast<unsigned char>(text[i + k]);
        if ((c & 0xC0) != 0x80)
            return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    i += more;
    return true;
}

std::size_t FirstNonUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t at = i;
        char32_t cp = 0;
        if (!NextCodePoint(text, i, cp))
            return at;
    }
    return std::string_view::npos;
}

std::string DescribeCodePoint(char32_t cp) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(cp));
    std::string s = number;
    const char* instead = nullptr;
    std::string ascii;
    if (cp >= 0xFF01 && cp <= 0xFF5E) {
        const char c = static_cast<char>(cp - 0xFEE0);
        const char* name = AsciiName(c);
        if (name)
            s += std::string(" FULLWIDTH ") + name;
        else
            s += std::string(" FULLWIDTH LATIN ") + (c <= 'Z' ? "CAPITAL" : "SMALL") + " LETTER " +
                 static_cast<char>(c <= 'Z' ? c : c - 'a' + 'A');
        ascii = std::string(1, c);
        instead = ascii.c_str();
    } else if (cp >= 0x4E00 && cp <= 0x9FFF) {
        s += " CJK UNIFIED IDEOGRAPH-" + std::string(number + 2);
    } else if (cp >= 0x3041 && cp <= 0x309F) {
        s += " (hiragana)";
    } else if (cp >= 0x30A0 && cp <= 0x30FF && cp != 0x30FC) {
        s += " (katakana)";
    } else if (cp >= 0xFF61 && cp <= 0xFF9F) {
        s += " (half-width katakana)";
    } else if (cp < 0x20 || cp == 0x7F) {
        s += " (a control character)";
    } else {
        for (const NamedCodePoint& n : kNamed)
            if (n.cp == cp) {
                s += std::string(" ") + n.name;
                instead = n.instead;
            }
    }
    if (instead)
        s += std::string("; write ") + (std::string(instead).size() == 1 ? "the ASCII " : "") + instead;
    return s;
}

std::string NearestName(const std::string& word, const std::vector<std::string>& candidates) {
    // Edit distance with swaps of neighbours (optimal string alignment), case-blind.
    auto distance = [](const std::string& a, const std::string& b) {
        auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); };
        std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
        for (std::size_t i = 0; i <= a.size(); ++i)
            d[i][0] = i;
        for (std::size_t j = 0; j <= b.size(); ++j)
            d[0][j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i)
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t cost = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
                d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
                if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
                    lower(a[i - 2]) == lower(b[j - 1]))
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        return d[a.size()][b.size()];
    };
    std::string best;
    // A slip: at most two edits, and fewer than a third of the word.
    std::size_t bestDistance = std::min<std::size_t>(2, word.size() / 3) + 1;
    for (const std::string& c : candidates) {
        const std::size_t d = distance(word, c);
        if (d < bestDistance) {
            bestDistance = d;
            best = c;
        }
    }
    return best;
}

std::string AsError(const std::string& rendered) {
    std::string s = rendered;
    const std::size_t at = s.find(": warning: ");
    if (at != std::string::npos && at < s.find('\n'))
        s.replace(at, 11, ": error: ");
    return s;
}

std::string RenderDiagnostic(const std::string& file, const std::vector<std::string>& lines,
                             const Diagnostic& d) {
    const std::string text =
        d.line >= 1 && static_cast<std::size_t>(d.line) <= lines.size() ? lines[d.line - 1] : "";
    const std::size_t at = std::min(d.at, text.size());
    std::size_t column = 1;
    std::string caret;
    for (std::size_t i = 0; i < at;) {
        char32_t cp = 0;
        const bool ok = NextCodePoint(text, i, cp);
        ++column;
        caret += !ok ? " " : cp == '\t' ? "\t" : IsWide(cp) ? "  " : " ";
    }
    std::string out = file + ":" + std::to_string(d.line) + ":" + std::to_string(column) + ": " +
                      SeverityName(d.severity) + ": " + d.message + "\n";
    if (!text.empty())
        out += " " + text + "\n " + caret + "^\n";
    for (const Diagnostic& note : d.notes)
        out += RenderDiagnostic(file, lines, note);
    return out;
}

} // namespace kp::tool
