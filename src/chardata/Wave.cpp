#include "chardata/Wave.h"

#include <cstring>

namespace kp {

namespace {

constexpr FileOffset kChunkHeader = 8;
constexpr FileOffset kMinFormat = 16; // PCMWAVEFORMAT: the format tag up to the bits per sample

bool IsTag(const ImageView& image, FileOffset off, const char* tag) {
    return image.Contains(off, 4) && std::memcmp(image.At(off), tag, 4) == 0;
}

} // namespace

FileOffset PlayableWaveSize(const ImageView& image, FileOffset off) {
    if (!image.Contains(off, kChunkHeader + 4) || !IsTag(image, off, "RIFF") ||
        !IsTag(image, off + 8, "WAVE"))
        return 0;
    const FileOffset riffSize = image.U32(off + 4);
    if (riffSize < 4 || !image.Contains(off + kChunkHeader, riffSize))
        return 0;
    const FileOffset end = off + kChunkHeader + riffSize;
    bool format = false;
    bool data = false;
    for (FileOffset pos = off + kChunkHeader + 4; end - pos >= kChunkHeader;) {
        const FileOffset size = image.U32(pos + 4);
        if (size > end - pos - kChunkHeader)
            return 0; // the chunk claims bytes past the RIFF
        if (IsTag(image, pos, "fmt ")) {
            if (size < kMinFormat)
                return 0;
            format = true;
        } else if (IsTag(image, pos, "data")) {
            data = true;
        }
        const FileOffset next = pos + kChunkHeader + size + (size & 1);
        if (next >= end)
            break;
        pos = next;
    }
    return format && data ? kChunkHeader + riffSize : 0;
}

} // namespace kp
