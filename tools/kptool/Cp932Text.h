// Code page 932 (Shift-JIS, as Windows has it) to and from UTF-8 for the tools, through glibc's
// iconv ("CP932": 0x5C is the backslash and 0x7E the tilde, as on Windows), or on Windows through
// the system's code page 932. The core never
// converts: its text stays code page 932 bytes, and only what a tool prints or reads as UTF-8
// passes through here.
#pragma once

#include <string>
#include <string_view>

namespace kp::tool {

// `text` in UTF-8. A byte that does not start a convertible character (a lone lead byte, a
// lead byte with a bad trail byte, a byte with no mapping) is shown as \xNN and the conversion
// goes on with the next byte; so is a zero byte.
std::string Cp932ToUtf8(std::string_view text);

// `text` in code page 932; false (and `out` unchanged) when some character has no code page 932
// form or the UTF-8 is malformed.
bool Utf8ToCp932(std::string_view text, std::string& out);

// Whether `text` is well-formed code page 932 throughout (a source saved as Shift-JIS).
bool ConvertsFromCp932(std::string_view text);

} // namespace kp::tool
