// Code page 932 to and from UTF-8 on Windows, through the system's own code page 932 tables: the
// very conversion Kelpo32.exe makes of the same bytes, so kptool.exe prints a name as the program
// shows it. Bytes that do not convert are shown as Cp932Text_iconv.cpp shows them.
#include "Cp932Text.h"

#include "win32/Win32Text.h"

#include <windows.h>

#include <cstdio>

namespace kp::tool {

namespace {

constexpr ::UINT kCodePage = 932;

bool IsLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The UTF-16 form of `n` bytes of code page 932; false when some byte has none.
bool Decode(const char* bytes, std::size_t n, std::wstring& out) {
    if (n == 0) {
        out.clear();
        return true;
    }
    const int count = static_cast<int>(n);
    const int wide = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (wide <= 0)
        return false;
    out.assign(static_cast<std::size_t>(wide), L'\0');
    return MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, count, out.data(), wide) == wide;
}

} // namespace

std::string Cp932ToUtf8(std::string_view text) {
    std::string out;
    std::wstring wide;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto b = static_cast<unsigned char>(text[pos]);
        const std::size_t n = IsLeadByte(b) ? 2 : 1;
        // A zero byte is shown, not converted, so that it cannot end a C string in the output.
        if (b != 0 && pos + n <= text.size() && Decode(text.data() + pos, n, wide)) {
            out += win32::WideToUtf8(wide);
            pos += n;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        out += hex;
        ++pos;
    }
    return out;
}

bool Utf8ToCp932(std::string_view text, std::string& out) {
    if (text.empty()) {
        out.clear();
        return true;
    }
    const int count = static_cast<int>(text.size());
    const int wideCount = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), count, nullptr, 0);
    if (wideCount <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(wideCount), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), count, wide.data(), wideCount);
    // No best fit: a character without its own code page 932 form is refused, not replaced.
    BOOL replaced = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideCount, nullptr, 0,
                                      nullptr, &replaced);
    if (n <= 0 || replaced)
        return false;
    std::string result(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideCount, result.data(), n, nullptr,
                        nullptr);
    out = std::move(result);
    return true;
}

bool ConvertsFromCp932(std::string_view text) {
    std::wstring ignored;
    return Decode(text.data(), text.size(), ignored);
}

} // namespace kp::tool
