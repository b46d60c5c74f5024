// Byte-level facts about UTF-8 text, for code that walks paths and the command line.
#pragma once

#include "platform/Types.h"

#include <cstddef>

namespace kp {

// The number of bytes of the UTF-8 sequence that starts with `b`: 1 for ASCII, a stray
// continuation byte and any byte that cannot start a sequence (each of those stands alone).
inline std::size_t Utf8SequenceLength(BYTE b) {
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 1;
}

// The length of `s` cut to at most `maxUnits` UTF-16 code units (what the wide-character file
// functions count against their path limit) without splitting a character: a character of
// four UTF-8 bytes counts two units, every other character one. A sequence cut short by the
// end of `s`, or one with a missing continuation byte, falls apart into single bytes.
inline std::size_t Utf8CutLength(const std::string& s, std::size_t maxUnits) {
    std::size_t i = 0;
    std::size_t units = 0;
    while (i < s.size()) {
        std::size_t n = Utf8SequenceLength(static_cast<BYTE>(s[i]));
        for (std::size_t k = 1; k < n; ++k) {
            if (i + k >= s.size() || (static_cast<BYTE>(s[i + k]) & 0xC0) != 0x80) {
                n = 1;
                break;
            }
        }
        const std::size_t u = n == 4 ? 2 : 1;
        if (units + u > maxUnits)
            break;
        units += u;
        i += n;
    }
    return i;
}

} // namespace kp
