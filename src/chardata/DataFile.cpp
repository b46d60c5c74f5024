#include "chardata/DataFile.h"

#include <algorithm>

namespace kp {

using namespace kpfile;

CharacterFile::CharacterFile(ImageView image)
    : m_image(image), m_cells(image.U32(kCellsOffset)), m_header(image.U32(kHeaderOffset)),
      m_sounds(image.U32(kSoundsOffset)) {}

FileOffset CharacterFile::PatternOffset(std::size_t g, bool* ok) const {
    return m_header + m_image.U32(m_header + kPatternTable + 4 * FileOffset{g}, ok);
}

AnsiString CharacterFile::PatternName(std::size_t g) const {
    bool ok = true;
    const FileOffset rec = PatternOffset(g, &ok);
    const auto n = static_cast<std::int16_t>(m_image.U16(rec + kPatternNameLength, &ok));
    if (!ok || n <= 0)
        return {};
    // Cut to 255 bytes and to what the image holds (the length word was inside, so the name's
    // start is too).
    const FileOffset start = rec + kPatternName;
    const auto len = static_cast<std::size_t>(
        std::min<FileOffset>({static_cast<FileOffset>(n), kMaxPatternName, m_image.Size() - start}));
    if (len == 0)
        return {};
    AnsiString text(len, '\0');
    const BYTE* stored = m_image.At(start);
    if (Version() >= kFirstCheckedVersion)
        // The key is the stored length, even when the menu cuts the name shorter.
        DecodeTextFormA(stored, len, static_cast<BYTE>(n & 0xFF), reinterpret_cast<BYTE*>(text.data()));
    else
        std::copy(stored, stored + len, text.begin());
    return text;
}

FileOffset CharacterFile::CellOffset(WORD c, bool* ok) const {
    return m_cells + m_image.U32(m_cells + kCellTable + 4 * FileOffset{c}, ok);
}

BitmapInfo CharacterFile::ReadBitmapInfo(FileOffset off, bool* ok) const {
    BitmapInfo bi;
    if (!m_image.Contains(off, kBitmapInfoHeaderSize)) {
        if (ok)
            *ok = false;
        return bi;
    }
    bi.biSize = m_image.U32(off);
    bi.biWidth = static_cast<std::int32_t>(m_image.U32(off + 4));
    bi.biHeight = static_cast<std::int32_t>(m_image.U32(off + 8));
    bi.biPlanes = m_image.U16(off + 12);
    bi.biBitCount = m_image.U16(off + 14);
    bi.biCompression = m_image.U32(off + 16);
    bi.biSizeImage = m_image.U32(off + 20);
    bi.biClrUsed = m_image.U32(off + 32);
    return bi;
}

FileOffset CharacterFile::SoundOffset(WORD i, bool* ok) const {
    return m_sounds + m_image.U32(m_sounds + kSoundTable + 4 * FileOffset{i}, ok);
}

AnsiString CharacterFile::FixedText(FileOffset off, std::size_t size) const {
    AnsiString text;
    for (std::size_t i = 0; i < size; ++i) {
        bool ok = true;
        const BYTE b = m_image.U8(off + i, &ok);
        if (!ok || b == 0)
            break;
        text.push_back(static_cast<char>(b));
    }
    return text;
}

void DecodeTextFormA(const BYTE* s, std::size_t n, BYTE k, BYTE* t) {
    for (std::size_t i = 0; i < n; ++i)
        t[i] = static_cast<BYTE>(s[i] ^ (i == 0 ? k : s[i - 1]));
}

void DecodeTextFormB(const BYTE* s, std::size_t n, BYTE k, BYTE* t) {
    BYTE prev = k;
    for (std::size_t i = 0; i < n; ++i) {
        t[i] = static_cast<BYTE>(s[i] ^ prev);
        prev = t[i];
    }
}

void EncodeTextFormA(const BYTE* t, std::size_t n, BYTE k, BYTE* s) {
    BYTE prev = k;
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<BYTE>(t[i] ^ prev);
        prev = s[i];
    }
}

void EncodeTextFormB(const BYTE* t, std::size_t n, BYTE k, BYTE* s) {
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<BYTE>(t[i] ^ (i == 0 ? k : t[i - 1]));
}

} // namespace kp
