// Conversions between the core's strings and the wide-character APIs: code page 932 for text
// from character files and settings names, UTF-8 for paths, the command line and the program's
// own interface texts.
#pragma once

#include <string>

namespace kp::win32 {

std::wstring AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& s);
std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& s);

} // namespace kp::win32
