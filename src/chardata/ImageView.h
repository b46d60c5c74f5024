// Bounds-checked access to a loaded character file image. Every read of the image goes
// through here: a read that would leave the image yields 0 and reports the failure instead of
// touching memory outside the block. Range tests are written so that they cannot overflow.
#pragma once

#include "platform/Types.h"

#include <cstddef>
#include <cstdint>

namespace kp {

// An offset or a size computed from a file's fields. Always 64 bits, whatever the build: the
// sum of a 32-bit offset and anything the file adds to it cannot wrap, so the 32-bit and the
// 64-bit program (and the tools) judge every file alike, and the native tests cover both.
using FileOffset = std::uint64_t;
static_assert(sizeof(FileOffset) == 8, "file offsets are 64-bit in every build");

class ImageView {
public:
    ImageView() = default;
    ImageView(const BYTE* base, std::size_t size) : m_base(base), m_size(base ? size : 0) {}

    const BYTE* Base() const { return m_base; }
    std::size_t Size() const { return m_size; }

    // True when the n bytes at `off` lie inside the image.
    bool Contains(FileOffset off, FileOffset n) const { return off <= m_size && m_size - off >= n; }

    // The offset of a pointer into this image (the pointer must lie inside it or at its end).
    std::size_t OffsetOf(const BYTE* p) const { return static_cast<std::size_t>(p - m_base); }
    // The address of an offset that lies inside the image or at its end (checked by the caller).
    const BYTE* At(FileOffset off) const { return m_base + static_cast<std::size_t>(off); }

    // Plain reads: 0 when out of range, and *ok (when given) is cleared.
    BYTE U8(FileOffset off, bool* ok = nullptr) const {
        if (!Contains(off, 1))
            return Fail(ok);
        return m_base[static_cast<std::size_t>(off)];
    }
    WORD U16(FileOffset off, bool* ok = nullptr) const {
        if (!Contains(off, 2))
            return Fail(ok);
        return static_cast<WORD>(At(off)[0] | (At(off)[1] << 8));
    }
    DWORD U32(FileOffset off, bool* ok = nullptr) const {
        if (!Contains(off, 4))
            return Fail(ok);
        const BYTE* p = At(off);
        return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
               (static_cast<DWORD>(p[3]) << 24);
    }

private:
    static BYTE Fail(bool* ok) {
        if (ok)
            *ok = false;
        return 0;
    }

    const BYTE* m_base = nullptr;
    std::size_t m_size = 0;
};

// A sequential reader with a sticky failure flag: past the end every read gives 0 and clears
// Ok(), so a caller reads a whole record and checks once.
class ByteReader {
public:
    ByteReader(const ImageView& image, FileOffset pos) : m_image(image), m_pos(pos) {}

    bool Ok() const { return m_ok; }
    FileOffset Pos() const { return m_pos; }

    BYTE U8() { return m_ok ? Advance(m_image.U8(m_pos, &m_ok), 1) : 0; }
    WORD U16() { return m_ok ? Advance(m_image.U16(m_pos, &m_ok), 2) : 0; }
    DWORD U32() { return m_ok ? Advance(m_image.U32(m_pos, &m_ok), 4) : 0; }

private:
    template <typename T> T Advance(T value, std::size_t n) {
        if (m_ok)
            m_pos += n;
        return value;
    }

    ImageView m_image;
    FileOffset m_pos;
    bool m_ok = true;
};

} // namespace kp
