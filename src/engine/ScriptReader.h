// The one operand decoder of the action scripts. A script is read in place inside the loaded
// image; it has no length of its own, so the only bound is the end of the image. Every read
// checks the position first: past the end (or before the start) it yields 0, leaves the position
// where it was and clears Ok() for good, so a caller reads a whole instruction and checks once.
// The interpreter, the disassembler and the linter all read scripts through this class.
#pragma once

#include "chardata/DataFile.h"
#include "platform/Types.h"

#include <algorithm>
#include <climits>
#include <cstddef>

namespace kp {

// A string operand keeps at most this many bytes, its terminating zero included.
constexpr std::size_t kScriptStringBuffer = 256;

class ScriptReader {
public:
    ScriptReader() = default;
    // `script` is the first byte of the pattern; `available` the bytes from there to the end of
    // the image (the tools give less to stop at the end of a pattern).
    ScriptReader(const BYTE* script, std::size_t available) { Reset(script, available); }

    bool Ok() const { return m_ok; }
    void Fail() { m_ok = false; }
    // Makes a failed reader usable again (a new step, or a new pattern).
    void Reset(const BYTE* script, std::size_t available) {
        m_script = script;
        if (!script)
            available = 0;
        // Positions are ints: a script never reaches further than INT_MAX bytes.
        m_available =
            available < static_cast<std::size_t>(INT_MAX) ? available : static_cast<std::size_t>(INT_MAX);
        m_ok = true;
    }
    std::size_t Available() const { return m_available; }

    // True when the n bytes at pos lie inside the image (pos counted from the script's start).
    // A negative position (a jump to 0xFFFFFFFF is position -1) always fails; the test is a
    // subtraction, so no sum can wrap in any build. A reader without a script has nothing
    // available, so it only ever "reads" zero bytes.
    bool Has(int pos, std::size_t n) const {
        if (pos < 0)
            return false;
        const auto at = static_cast<std::size_t>(pos);
        return at <= m_available && m_available - at >= n;
    }

    // Each reader advances pos past what it read; a failed read leaves pos unchanged.
    BYTE ReadByte(int& pos) {
        if (!Check(pos, 1))
            return 0;
        return m_script[pos++];
    }
    WORD ReadWord(int& pos) {
        if (!Check(pos, 2))
            return 0;
        const BYTE* p = m_script + pos;
        pos += 2;
        return static_cast<WORD>(p[0] | (p[1] << 8));
    }
    // Two words, the first one low.
    DWORD ReadDword(int& pos) {
        if (!Check(pos, 4))
            return 0;
        const BYTE* p = m_script + pos;
        pos += 4;
        return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
               (static_cast<DWORD>(p[3]) << 24);
    }

    // Reads for a caller that has made sure with Has that a whole instruction lies inside: they
    // neither check nor advance.
    BYTE ByteAt(int pos) const { return m_script[pos]; }
    WORD WordAt(int pos) const {
        const BYTE* p = m_script + pos;
        return static_cast<WORD>(p[0] | (p[1] << 8));
    }
    DWORD DwordAt(int pos) const {
        const BYTE* p = m_script + pos;
        return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
               (static_cast<DWORD>(p[3]) << 24);
    }

    // The bytes a string operand of `length` stores: form B always stores at least one.
    static std::size_t StoredStringBytes(WORD length, bool formB) {
        return (formB && length == 0) ? 1 : length;
    }

    // The stored bytes of a string operand whose length (zero byte included) was read already:
    // `length` bytes, plain or in text form B (each byte XOR the character before it, the first
    // XOR the length's low byte). Form B always consumes at least one byte, so a length of 0
    // still reads one. All stored bytes are consumed; the first kScriptStringBuffer decoded ones
    // go to `buffer`. Returns how many bytes the buffer received (0 when the bytes run past the
    // image, which also fails the reader).
    std::size_t ReadStringBytes(int& pos, WORD length, bool formB, BYTE* buffer) {
        return ReadStringBytes(pos, length, formB, buffer,
                               length < kScriptStringBuffer ? length : kScriptStringBuffer);
    }
    // The same, decoding the first `count` stored bytes (all of them at most) into `buffer`: the
    // tools look at every stored byte, the one of an empty form B string included.
    std::size_t ReadStringBytes(int& pos, WORD length, bool formB, BYTE* buffer, std::size_t count) {
        const std::size_t stored = StoredStringBytes(length, formB);
        if (!Check(pos, stored))
            return 0;
        const BYTE* p = m_script + pos;
        pos += static_cast<int>(stored);
        const std::size_t kept = count < stored ? count : stored;
        if (formB)
            DecodeTextFormB(p, kept, static_cast<BYTE>(length & 0xFF), buffer);
        else
            std::copy(p, p + kept, buffer);
        return kept;
    }

private:
    // Once failed the reader stays failed, even if a later, shorter read would fit.
    bool Check(int pos, std::size_t n) {
        if (Has(pos, n))
            return true;
        m_ok = false;
        return false;
    }

    const BYTE* m_script = nullptr;
    std::size_t m_available = 0;
    bool m_ok = true;
};

} // namespace kp
