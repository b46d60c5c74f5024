// Rendered frames as image files: PNG with an alpha channel (libpng) and animated GIF that a
// browser plays (giflib). The window shape becomes transparency. Native builds only.
#pragma once

#include "platform/Canvas.h"
#include "platform/Region.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kp {

// Red, green, blue and alpha bytes per pixel, rows top first.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    bool Valid() const {
        return width > 0 && height > 0 &&
               rgba.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    }
    const std::uint8_t* At(int x, int y) const {
        return rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 4;
    }
    std::uint8_t* At(int x, int y) {
        return rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x) * 4;
    }
};

// A canvas's 0x00RRGGBB pixels (`width` per row, top first) as an opaque image.
RgbaImage ToRgba(int width, int height, const std::vector<Color>& pixels);
// Makes the pixels inside the region transparent (the part of the region on the image).
void ClearRegion(RgbaImage& image, const RectRegion& region);
// Makes every pixel of colour `key` transparent, as a layered window's colour key shows it.
void ClearColor(RgbaImage& image, Color key);

// Writes the image as an 8-bit RGBA PNG. False, with `error` set when given, on failure.
bool WritePng(const std::string& path, const RgbaImage& image, std::string* error = nullptr);

// An animated GIF that loops forever, written frame by frame. Every frame is a whole picture of
// the writer's size; pixels with alpha under 128 are transparent, and each frame replaces the
// one before it (disposal to background). A frame keeps its colours exactly when they fit in the
// 256 entries of a GIF colour table (255 when one is needed for transparency); a frame with more
// is reduced to that many by median cut.
//
// GIF delays are centiseconds: frame times are summed in milliseconds and every frame ends at
// its end time rounded to a centisecond, so rounding never drifts over a long animation.
// Browsers show frames of under 2 centiseconds for 100 ms, so a frame that short is not written
// on its own: its time goes to the frame before it (the first frame's to the frame after it).
class AnimatedGifWriter {
public:
    static constexpr int kMinDelayCs = 2;

    AnimatedGifWriter(const std::string& path, int width, int height);
    ~AnimatedGifWriter(); // closes an unfinished file as it stands
    AnimatedGifWriter(const AnimatedGifWriter&) = delete;
    AnimatedGifWriter& operator=(const AnimatedGifWriter&) = delete;

    // False once something failed; Error() says what. Later calls then do nothing.
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // A frame shown for `delayMs` milliseconds (negative counts as 0).
    void AddFrame(const RgbaImage& frame, int delayMs);
    // Writes what is pending and closes the file; an animation without frames gets one
    // transparent frame. Returns Ok().
    bool Finish();

private:
    void WriteFrame(const RgbaImage& frame, std::int64_t delayCs);
    void Fail(const std::string& what, int gifError);

    struct File;
    std::unique_ptr<File> m_file;
    int m_width;
    int m_height;
    std::string m_error;
    std::int64_t m_totalMs = 0;
    bool m_hasPending = false;
    RgbaImage m_pending;
    std::int64_t m_pendingCs = 0;
};

} // namespace kp
