// Diagnostics of `kptool build` in the form compilers use, so that editors and authors find the
// place: "FILE:LINE:COLUMN: error: message", the source line, a caret under the place, and notes
// that point at a second place ("first defined here"). Columns count characters (code points),
// not bytes; the caret line keeps tabs and gives wide (East Asian) characters two columns.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kp::tool {

enum class Severity { Error, Warning, Note };

struct Diagnostic {
    Severity severity = Severity::Error;
    int line = 0;        // 1-based
    std::size_t at = 0;  // byte index in the line
    std::string message; // one line
    std::vector<Diagnostic> notes;
};

// The diagnostic and its notes as text, each "FILE:LINE:COLUMN: error: message" followed by the
// source line and the caret (`lines` holds the source's lines, without their line ends).
std::string RenderDiagnostic(const std::string& file, const std::vector<std::string>& lines,
                             const Diagnostic& d);

// A rendered warning made an error (`kptool build --strict`).
std::string AsError(const std::string& rendered);

// The next code point of UTF-8 text at `i` (advancing i); false for a byte that starts no
// well-formed sequence (i then stands after that byte).
bool NextCodePoint(std::string_view text, std::size_t& i, char32_t& cp);
// The byte index of the first byte that is not well-formed UTF-8, or npos.
std::size_t FirstNonUtf8(std::string_view text);

// "U+3000 IDEOGRAPHIC SPACE": a code point with its Unicode name where the tool knows it (the
// look-alikes of the source's own characters and the Japanese script blocks), and for a full-width
// form of an ASCII character a hint to write that character instead.
std::string DescribeCodePoint(char32_t cp);

// The candidate closest to `word` (the fewest single-character insertions, deletions, changes or
// swaps of neighbours), or "" when none is close enough to be a likely slip.
std::string NearestName(const std::string& word, const std::vector<std::string>& candidates);

} // namespace kp::tool
