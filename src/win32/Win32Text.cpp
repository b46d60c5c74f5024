#include "win32/Win32Text.h"

#include <windows.h>

namespace kp::win32 {

namespace {

constexpr UINT kCharacterCodePage = 932;

std::wstring ToWide(UINT cp, const std::string& s) {
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(cp, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string FromWide(UINT cp, const std::wstring& w) {
    if (w.empty())
        return {};
    const int n =
        WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(cp, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

} // namespace

std::wstring AnsiToWide(const std::string& s) {
    return ToWide(kCharacterCodePage, s);
}

std::wstring Utf8ToWide(const std::string& s) {
    return ToWide(CP_UTF8, s);
}

std::string WideToAnsi(const std::wstring& w) {
    return FromWide(kCharacterCodePage, w);
}

std::string WideToUtf8(const std::wstring& w) {
    return FromWide(CP_UTF8, w);
}

} // namespace kp::win32
