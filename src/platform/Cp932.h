// Byte-level facts about code page 932 (Shift-JIS) text, for code that walks ANSI strings.
#pragma once

#include "platform/Types.h"

#include <cstddef>

namespace kp {

// True for the first byte of a double-byte character.
inline bool IsCp932LeadByte(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The length of `s` cut to at most `max` bytes without leaving half a double-byte character.
inline std::size_t Cp932CutLength(const AnsiString& s, std::size_t max) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = (IsCp932LeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) ? 2 : 1;
        if (i + n > max)
            break;
        i += n;
    }
    return i;
}

// Index of the first byte of the last character of `s` (s must not be empty).
inline std::size_t Cp932LastCharStart(const AnsiString& s) {
    std::size_t i = 0;
    std::size_t last = 0;
    while (i < s.size()) {
        last = i;
        i += (IsCp932LeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    }
    return last;
}

} // namespace kp
