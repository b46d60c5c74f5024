// Bounds-checked access to a loaded character file image. Every read of the image goes
// through here: a read that would leave the image yields 0 and reports the failure instead of
// touching memory outside the block. Range tests are written so that they cannot overflow.
#pragma once

#include "platform/Types.h"

#include <cstddef>

namespace kp {

class ImageView {
public:
    ImageView() = default;
    ImageView(const BYTE* base, std::size_t size) : m_base(base), m_size(base ? size : 0) {}

    const BYTE* Base() const { return m_base; }
    std::size_t Size() const { return m_size; }

    // True when the n bytes at `off` lie inside the image.
    bool Contains(std::size_t off, std::size_t n) const { return off <= m_size && m_size - off >= n; }

    // The offset of a pointer into this image (the pointer must lie inside it or at its end).
    std::size_t OffsetOf(const BYTE* p) const { return static_cast<std::size_t>(p - m_base); }
    const BYTE* At(std::size_t off) const { return m_base + off; }

    // Plain reads: 0 when out of range, and *ok (when given) is cleared.
    BYTE U8(std::size_t off, bool* ok = nullptr) const {
        if (!Contains(off, 1))
            return Fail(ok);
        return m_base[off];
    }
    WORD U16(std::size_t off, bool* ok = nullptr) const {
        if (!Contains(off, 2))
            return Fail(ok);
        return static_cast<WORD>(m_base[off] | (m_base[off + 1] << 8));
    }
    DWORD U32(std::size_t off, bool* ok = nullptr) const {
        if (!Contains(off, 4))
            return Fail(ok);
        return static_cast<DWORD>(m_base[off]) | (static_cast<DWORD>(m_base[off + 1]) << 8) |
               (static_cast<DWORD>(m_base[off + 2]) << 16) | (static_cast<DWORD>(m_base[off + 3]) << 24);
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
    ByteReader(const ImageView& image, std::size_t pos) : m_image(image), m_pos(pos) {}

    bool Ok() const { return m_ok; }
    std::size_t Pos() const { return m_pos; }

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
    std::size_t m_pos;
    bool m_ok = true;
};

} // namespace kp
