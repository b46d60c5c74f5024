#include "render/ImageFiles.h"

#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>

namespace kp {

namespace {

constexpr std::uint8_t kAlphaThreshold = 128;
constexpr std::size_t kMaxColors = 256;

// One frame in palette form.
struct IndexedFrame {
    std::vector<Color> palette; // opaque colours; the transparent index follows them
    std::vector<GifByteType> indices;
    int transparent = NO_TRANSPARENT_COLOR;
};

struct ColorCount {
    Color color = 0;
    std::uint64_t count = 0;
};

BYTE Channel(Color c, int channel) {
    return static_cast<BYTE>(c >> (16 - 8 * channel));
}

// Median cut of the colours to at most `limit`: the box with the widest channel range is split
// at the count-weighted median of that channel until there are `limit` boxes or none can be
// split; each box becomes its count-weighted mean. Returns the palette and fills `slot` with the
// palette index of every colour.
std::vector<Color> MedianCut(std::vector<ColorCount> colors, std::size_t limit,
                             std::unordered_map<Color, GifByteType>& slot) {
    struct Box {
        std::size_t begin, end;
    };
    const auto widest = [&](const Box& b, int& channel) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            BYTE lo = 255, hi = 0;
            for (std::size_t i = b.begin; i < b.end; ++i) {
                lo = std::min(lo, Channel(colors[i].color, ch));
                hi = std::max(hi, Channel(colors[i].color, ch));
            }
            if (hi - lo > best) {
                best = hi - lo;
                channel = ch;
            }
        }
        return best;
    };
    std::vector<Box> boxes{{0, colors.size()}};
    while (boxes.size() < limit) {
        std::size_t pick = boxes.size();
        int pickRange = 0, pickChannel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            int ch = 0;
            const int range = boxes[i].end - boxes[i].begin > 1 ? widest(boxes[i], ch) : 0;
            if (range > pickRange) {
                pick = i;
                pickRange = range;
                pickChannel = ch;
            }
        }
        if (pick == boxes.size())
            break; // every box holds one colour
        Box& b = boxes[pick];
        std::sort(colors.begin() + static_cast<std::ptrdiff_t>(b.begin),
                  colors.begin() + static_cast<std::ptrdiff_t>(b.end),
                  [&](const ColorCount& l, const ColorCount& r) {
                      return Channel(l.color, pickChannel) < Channel(r.color, pickChannel) ||
                             (Channel(l.color, pickChannel) == Channel(r.color, pickChannel) &&
                              l.color < r.color);
                  });
        std::uint64_t total = 0;
        for (std::size_t i = b.begin; i < b.end; ++i)
            total += colors[i].count;
        std::uint64_t seen = 0;
        std::size_t cut = b.begin + 1;
        for (std::size_t i = b.begin; i + 1 < b.end; ++i) {
            seen += colors[i].count;
            cut = i + 1;
            if (2 * seen >= total)
                break;
        }
        const Box upper{cut, b.end};
        b.end = cut;
        boxes.push_back(upper);
    }
    std::vector<Color> palette;
    for (const Box& b : boxes) {
        std::array<std::uint64_t, 3> sum{};
        std::uint64_t n = 0;
        for (std::size_t i = b.begin; i < b.end; ++i) {
            for (int ch = 0; ch < 3; ++ch)
                sum[static_cast<std::size_t>(ch)] += Channel(colors[i].color, ch) * colors[i].count;
            n += colors[i].count;
            slot[colors[i].color] = static_cast<GifByteType>(palette.size());
        }
        palette.push_back(MakeColor(static_cast<BYTE>((sum[0] + n / 2) / n),
                                    static_cast<BYTE>((sum[1] + n / 2) / n),
                                    static_cast<BYTE>((sum[2] + n / 2) / n)));
    }
    return palette;
}

IndexedFrame Quantize(const RgbaImage& image) {
    IndexedFrame f;
    const std::size_t n = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    std::unordered_map<Color, GifByteType> slot;
    std::unordered_map<Color, std::uint64_t> counts;
    std::vector<Color> firstSeen;
    bool anyTransparent = false;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = image.rgba.data() + 4 * i;
        if (p[3] < kAlphaThreshold) {
            anyTransparent = true;
            continue;
        }
        const Color c = MakeColor(p[0], p[1], p[2]);
        if (counts[c]++ == 0)
            firstSeen.push_back(c);
    }
    // A frame with transparent pixels keeps one of the 256 indices for them.
    const std::size_t limit = kMaxColors - (anyTransparent ? 1 : 0);
    if (firstSeen.size() <= limit) {
        for (const Color c : firstSeen) {
            slot[c] = static_cast<GifByteType>(f.palette.size());
            f.palette.push_back(c);
        }
    } else {
        std::vector<ColorCount> colors;
        colors.reserve(firstSeen.size());
        for (const Color c : firstSeen)
            colors.push_back(ColorCount{c, counts[c]});
        f.palette = MedianCut(std::move(colors), limit, slot);
    }
    if (anyTransparent)
        f.transparent = static_cast<int>(f.palette.size());
    f.indices.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = image.rgba.data() + 4 * i;
        f.indices[i] = p[3] < kAlphaThreshold ? static_cast<GifByteType>(f.transparent)
                                              : slot[MakeColor(p[0], p[1], p[2])];
    }
    return f;
}

} // namespace

RgbaImage ToRgba(int width, int height, const std::vector<Color>& pixels) {
    RgbaImage image;
    if (width <= 0 || height <= 0 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return image;
    image.width = width;
    image.height = height;
    image.rgba.resize(pixels.size() * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        image.rgba[4 * i] = RedOf(pixels[i]);
        image.rgba[4 * i + 1] = GreenOf(pixels[i]);
        image.rgba[4 * i + 2] = BlueOf(pixels[i]);
        image.rgba[4 * i + 3] = 255;
    }
    return image;
}

void ClearRegion(RgbaImage& image, const RectRegion& region) {
    if (!image.Valid())
        return;
    for (const Rect& r : region.Rects()) {
        const int x0 = std::max(r.left, 0), x1 = std::min(r.right, image.width);
        const int y0 = std::max(r.top, 0), y1 = std::min(r.bottom, image.height);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                image.At(x, y)[3] = 0;
    }
}

void ClearColor(RgbaImage& image, Color key) {
    if (!image.Valid())
        return;
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4)
        if (MakeColor(image.rgba[i], image.rgba[i + 1], image.rgba[i + 2]) == key)
            image.rgba[i + 3] = 0;
}

bool WritePng(const std::string& path, const RgbaImage& image, std::string* error) {
    if (!image.Valid()) {
        if (error)
            *error = "the image has no pixels or the wrong number of them";
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGBA;
    const bool ok =
        png_image_write_to_file(&png, path.c_str(), 0, image.rgba.data(), image.width * 4, nullptr) != 0;
    if (!ok && error)
        *error = path + ": " + png.message;
    png_image_free(&png);
    return ok;
}

struct AnimatedGifWriter::File {
    GifFileType* gif = nullptr;
};

AnimatedGifWriter::AnimatedGifWriter(const std::string& path, int width, int height)
    : m_file(std::make_unique<File>()), m_width(width), m_height(height) {
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) {
        m_error = path + ": a GIF is 1 to 65535 pixels wide and high";
        return;
    }
    int err = 0;
    // giflib's own open makes the file readable by its owner alone; an animation is meant for
    // browsers and web pages, so open it with the permissions the umask gives any new file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
        m_error = path + ": " + std::strerror(errno);
        return;
    }
    m_file->gif = EGifOpenFileHandle(fd, &err);
    if (!m_file->gif) {
        ::close(fd);
        Fail(path, err);
        return;
    }
    EGifSetGifVersion(m_file->gif, true);
    if (EGifPutScreenDesc(m_file->gif, width, height, 8, 0, nullptr) == GIF_ERROR) {
        Fail("screen descriptor", m_file->gif->Error);
        return;
    }
    // The Netscape extension: loop forever.
    static const GifByteType kApp[] = "NETSCAPE2.0";
    static const GifByteType kLoop[] = {1, 0, 0};
    if (EGifPutExtensionLeader(m_file->gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
        EGifPutExtensionBlock(m_file->gif, 11, kApp) == GIF_ERROR ||
        EGifPutExtensionBlock(m_file->gif, 3, kLoop) == GIF_ERROR ||
        EGifPutExtensionTrailer(m_file->gif) == GIF_ERROR)
        Fail("loop extension", m_file->gif->Error);
}

AnimatedGifWriter::~AnimatedGifWriter() {
    if (m_file->gif) {
        int err = 0;
        EGifCloseFile(m_file->gif, &err);
    }
}

void AnimatedGifWriter::Fail(const std::string& what, int gifError) {
    if (m_error.empty())
        m_error = what + ": " + (GifErrorString(gifError) ? GifErrorString(gifError) : "GIF error");
}

void AnimatedGifWriter::AddFrame(const RgbaImage& frame, int delayMs) {
    if (!Ok())
        return;
    if (!frame.Valid() || frame.width != m_width || frame.height != m_height) {
        m_error = "a frame is not of the animation's size";
        return;
    }
    const std::int64_t startCs = (m_totalMs + 5) / 10;
    m_totalMs += std::max(delayMs, 0);
    const std::int64_t spanCs = (m_totalMs + 5) / 10 - startCs;
    if (!m_hasPending) {
        m_pending = frame;
        m_pendingCs = spanCs;
        m_hasPending = true;
    } else if (m_pendingCs < kMinDelayCs) { // a short first frame: this one takes its place
        m_pending = frame;
        m_pendingCs += spanCs;
    } else if (spanCs < kMinDelayCs) { // too short to show: the frame before shows on
        m_pendingCs += spanCs;
    } else {
        WriteFrame(m_pending, m_pendingCs);
        m_pending = frame;
        m_pendingCs = spanCs;
    }
}

void AnimatedGifWriter::WriteFrame(const RgbaImage& frame, std::int64_t delayCs) {
    const IndexedFrame f = Quantize(frame);
    int bits = 1;
    const int entries = static_cast<int>(f.palette.size()) + (f.transparent != NO_TRANSPARENT_COLOR ? 1 : 0);
    while ((1 << bits) < entries)
        ++bits;
    ColorMapObject* map = GifMakeMapObject(1 << bits, nullptr);
    if (!map) {
        m_error = "out of memory for a colour map";
        return;
    }
    for (std::size_t i = 0; i < f.palette.size(); ++i)
        map->Colors[i] = GifColorType{RedOf(f.palette[i]), GreenOf(f.palette[i]), BlueOf(f.palette[i])};
    // The longest GIF delay is 65535 cs; a longer frame is written again for the rest.
    do {
        const std::int64_t cs = std::min<std::int64_t>(delayCs, 0xFFFF);
        delayCs -= cs;
        GraphicsControlBlock gcb;
        gcb.DisposalMode = DISPOSE_BACKGROUND;
        gcb.UserInputFlag = false;
        gcb.DelayTime = static_cast<int>(cs);
        gcb.TransparentColor = f.transparent;
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        if (EGifPutExtension(m_file->gif, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_ERROR ||
            EGifPutImageDesc(m_file->gif, 0, 0, m_width, m_height, false, map) == GIF_ERROR) {
            Fail("frame", m_file->gif->Error);
            break;
        }
        for (int y = 0; y < m_height && Ok(); ++y)
            if (EGifPutLine(m_file->gif,
                            const_cast<GifByteType*>(f.indices.data()) +
                                static_cast<std::size_t>(y) * m_width,
                            m_width) == GIF_ERROR)
                Fail("frame", m_file->gif->Error);
    } while (Ok() && delayCs > 0);
    GifFreeMapObject(map);
}

bool AnimatedGifWriter::Finish() {
    if (!m_file->gif)
        return Ok();
    if (Ok()) {
        if (!m_hasPending) { // nothing to show: one transparent frame keeps the file an image
            m_pending.width = m_width;
            m_pending.height = m_height;
            m_pending.rgba.assign(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height) * 4,
                                  0);
            m_pendingCs = 0;
            m_hasPending = true;
        }
        WriteFrame(m_pending, m_pendingCs);
        m_hasPending = false;
    }
    int err = 0;
    if (EGifCloseFile(m_file->gif, &err) == GIF_ERROR)
        Fail("closing", err);
    m_file->gif = nullptr;
    return Ok();
}

} // namespace kp
