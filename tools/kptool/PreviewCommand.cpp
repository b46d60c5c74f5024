#include "PreviewCommand.h"

#include "TraceCommand.h"
#include "Verdict.h"

#include "placement/Placement.h"
#include "render/FreeTypeText.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace kp::tool {

namespace {

namespace fs = std::filesystem;

constexpr int kGifMaxSide = 0xFFFF;
constexpr const char* kAnimationName = "preview.gif";

std::string FrameFileName(std::size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04zu.png", index);
    return name;
}

// A file this command writes as a frame: "frame-" four or more digits ".png".
bool IsFrameFileName(const std::string& name) {
    const std::string head = "frame-", tail = ".png";
    if (name.size() < head.size() + 4 + tail.size() || name.compare(0, head.size(), head) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    for (std::size_t i = head.size(); i < name.size() - tail.size(); ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

// Each pixel as a square of scale x scale.
RgbaImage Scaled(const RgbaImage& image, int scale) {
    if (scale <= 1 || !image.Valid())
        return image;
    RgbaImage big;
    big.width = image.width * scale;
    big.height = image.height * scale;
    big.rgba.resize(static_cast<std::size_t>(big.width) * static_cast<std::size_t>(big.height) * 4);
    for (int y = 0; y < big.height; ++y) {
        std::uint8_t* row = big.At(0, y);
        if (y % scale != 0) { // the same as the row above
            const std::uint8_t* above = big.At(0, y - 1);
            std::copy(above, above + static_cast<std::size_t>(big.width) * 4, row);
            continue;
        }
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* px = image.At(x, y / scale);
            for (int i = 0; i < scale; ++i, row += 4)
                std::copy(px, px + 4, row);
        }
    }
    return big;
}

// The window's own paint caught as pixels: the frame copied in, then what the paint fills.
class PictureDc final : public IWindowDc {
public:
    PictureDc(int width, int height)
        : m_width(width), m_height(height),
          m_pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

    // Previews run on the simulated desktop at 96 DPI: the frame is copied pixel for pixel.
    void CopyFrame(ICanvas& frame, int scale) override {
        const auto* soft = dynamic_cast<const SoftCanvas*>(&frame);
        if (soft && scale == 1 && soft->Width() == m_width && soft->Height() == m_height)
            m_pixels = soft->Pixels();
    }
    void FillRegion(const RectRegion& region, Color color) override {
        for (const Rect& r : region.Rects())
            for (int y = std::max(r.top, 0); y < std::min(r.bottom, m_height); ++y)
                for (int x = std::max(r.left, 0); x < std::min(r.right, m_width); ++x)
                    m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                             static_cast<std::size_t>(x)] = color;
    }
    const std::vector<Color>& Pixels() const { return m_pixels; }

private:
    int m_width;
    int m_height;
    std::vector<Color> m_pixels;
};

// Writes DIR/frame-NNNN.png for every frame and DIR/preview.gif of them all.
class FileSink final : public PreviewSink {
public:
    FileSink(const std::string& dir, std::ostream& err) : m_dir(dir), m_err(err) {}

    bool Begin(int width, int height) override {
        std::error_code ec;
        fs::create_directories(m_dir, ec);
        if (!fs::is_directory(m_dir, ec))
            return Fail("cannot make the folder " + m_dir.string() + (ec ? ": " + ec.message() : ""));
        // Frames of an earlier preview would mix with these.
        for (fs::directory_iterator it(m_dir, ec), end; !ec && it != end; it.increment(ec))
            if (IsFrameFileName(it->path().filename().string()) && it->is_regular_file())
                fs::remove(it->path(), ec);
        if (ec)
            return Fail("cannot clear old frames from " + m_dir.string() + ": " + ec.message());
        m_gif = std::make_unique<AnimatedGifWriter>(GifPath(), width, height);
        return m_gif->Ok() || Fail(m_gif->Error());
    }

    bool Frame(const PreviewFrame& frame) override {
        const std::string path = (m_dir / FrameFileName(m_frames)).string();
        std::string error;
        if (!WritePng(path, frame.image, &error))
            return Fail(error);
        ++m_frames;
        // The writer takes an int of milliseconds; a longer frame is handed over in parts.
        unsigned left = frame.length;
        do {
            const unsigned part = std::min<unsigned>(left, INT_MAX);
            m_gif->AddFrame(frame.image, static_cast<int>(part));
            left -= part;
        } while (left > 0);
        return m_gif->Ok() || Fail(m_gif->Error());
    }

    // Closes the animation; false when it could not be written whole.
    bool Finish() {
        if (!m_gif)
            return true;
        if (!m_gif->Finish())
            return Fail(m_gif->Error());
        return true;
    }

    std::size_t Frames() const { return m_frames; }
    std::string FramePath(std::size_t index) const { return (m_dir / FrameFileName(index)).string(); }
    std::string GifPath() const { return (m_dir / kAnimationName).string(); }

private:
    bool Fail(const std::string& why) {
        m_err << "kptool: " << why << '\n';
        return false;
    }

    fs::path m_dir;
    std::ostream& m_err;
    std::unique_ptr<AnimatedGifWriter> m_gif;
    std::size_t m_frames = 0;
};

} // namespace

const std::vector<std::string>& PreviewOptionNames() {
    static const std::vector<std::string> names = [] {
        std::size_t count = 0;
        const char* const* trace = TraceOptionNames(&count);
        std::vector<std::string> n(trace, trace + count);
        n.push_back("--window");
        n.push_back("--scale");
        return n;
    }();
    return names;
}

bool SetPreviewOption(const std::string& name, const std::string& value, PreviewOptions& options,
                      std::string& error) {
    if (name == "--window") {
        if (value != "layered" && value != "region") {
            error = "--window takes layered (Windows 2000 and later) or region (earlier Windows)";
            return false;
        }
        options.shape = value == "layered" ? WindowShape::Layered : WindowShape::Region;
        return true;
    }
    if (name == "--scale") {
        if (value.size() > 2 || value.empty() || value.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(value) < 1 || std::stoi(value) > kMaxPreviewScale) {
            error = "--scale takes a whole number 1.." + std::to_string(kMaxPreviewScale);
            return false;
        }
        options.scale = std::stoi(value);
        return true;
    }
    return SetTraceOption(name, value, options.run, error);
}

RgbaImage ShownPicture(sim::HeadlessRunner& runner, WindowShape shape, int scale) {
    const int width = runner.Canvas().Width(), height = runner.Canvas().Height();
    PictureDc dc(width, height);
    runner.Frame().OnPaint(dc);
    RgbaImage image = ToRgba(width, height, dc.Pixels());
    if (shape == WindowShape::Layered) {
        // The paint filled the part outside the shape with the colour key; the layered window
        // shows the desktop through that colour wherever it is, in the cells' own pixels too.
        ClearColor(image, TRANSPARENT_KEY);
    } else if (const std::optional<RectRegion>& region = runner.Window().m_region) {
        // Until the first shape the window is a whole rectangle.
        const RectRegion whole(Rect{0, 0, width, height});
        ClearRegion(image, RectRegion::Difference(whole, *region));
    }
    return Scaled(image, scale);
}

int RenderPreview(const std::vector<BYTE>& image, const PreviewOptions& options, PreviewSink& sink,
                  std::ostream& err) {
    // The program's verdict, told as `kptool check` tells it; a file that may be damaged is
    // shown as answering Yes would show it.
    const Verdict v = JudgeImage(ImageView(image.data(), image.size()));
    if (v.message != LoadMessage::None) {
        err << "kptool: " << VerdictText(v.message);
        if (v.message != LoadMessage::MayBeCorrupted) {
            err << '\n';
            return static_cast<int>(v.message);
        }
        if (!v.yesLoads) {
            err << "\nkptool: answering Yes would give " << VerdictText(v.afterYes) << '\n';
            return static_cast<int>(v.message);
        }
        err << " (shown as answering Yes would)\n";
    }

    FreeTypeTextRenderer text;
    bool toldNoFont = false;
    sim::HeadlessRunner runner([&](unsigned, const std::string& event) {
        if (!toldNoFont && !text.HasFont() && event.compare(0, 8, "text at ") == 0) {
            err << "kptool: no IPA Gothic font (fonts-ipafont-gothic) found: text is shown as boxes\n";
            toldNoFont = true;
        }
    });
    if (!runner.Load(image, options.run)) {
        err << "kptool: " << VerdictText(LoadMessage::Corrupted) << '\n';
        return static_cast<int>(LoadMessage::Corrupted);
    }
    const int width = runner.Canvas().Width(), height = runner.Canvas().Height();
    const int scale = std::clamp(options.scale, 1, kMaxPreviewScale);
    if (width == 0 || height == 0) {
        err << "kptool: the character's window is " << width << " x " << height
            << " pixels: nothing to show\n";
        return kPreviewNothingToShow;
    }
    if (width * scale > kGifMaxSide || height * scale > kGifMaxSide) {
        err << "kptool: " << width * scale << " x " << height * scale
            << " pixels is too large for a GIF (at most 65535 each way)\n";
        return kPreviewNothingToShow;
    }
    runner.Canvas().SetTextRenderer(&text);
    runner.App().m_bWin2000 = options.shape == WindowShape::Layered ? TRUE : FALSE;
    if (!sink.Begin(width * scale, height * scale))
        return kPreviewCannotWrite;

    // A frame is handed over when the next one replaces it; one shown as the span ends is not
    // seen within it.
    const unsigned end = options.run.duration;
    PreviewFrame pending;
    bool havePending = false;
    bool stopped = false;
    runner.SetFrameShown([&] {
        const unsigned now = runner.Now();
        if (stopped || (havePending && now >= end))
            return;
        if (havePending) {
            pending.length = now - pending.start;
            if (!sink.Frame(pending)) {
                stopped = true;
                return;
            }
        }
        pending.start = now;
        pending.image = ShownPicture(runner, options.shape, scale);
        havePending = true;
    });
    runner.Run();
    if (!stopped && havePending) {
        pending.length = end > pending.start ? end - pending.start : 0;
        stopped = !sink.Frame(pending);
    }
    return stopped ? kPreviewCannotWrite : 0;
}

int PreviewImage(const std::vector<BYTE>& image, const PreviewOptions& options, const std::string& dir,
                 std::ostream& out, std::ostream& err) {
    FileSink files(dir, err);
    const int status = RenderPreview(image, options, files, err);
    if (status != 0)
        return status;
    if (!files.Finish())
        return kPreviewCannotWrite;
    const std::size_t n = files.Frames();
    out << n << (n == 1 ? " frame" : " frames") << " in " << options.run.duration
        << " ms: " << files.FramePath(0);
    if (n > 1)
        out << " .. " << files.FramePath(n - 1);
    out << " and " << files.GifPath() << '\n';
    return 0;
}

int RunPreview(IFileSystem& files, const AnsiString& path, const PreviewOptions& options,
               const std::string& dir, std::ostream& out, std::ostream& err) {
    ByteBlock block;
    if (!files.ReadWholeFile(path, block)) {
        err << "kptool: " << path << ": " << VerdictText(LoadMessage::Unreadable) << '\n';
        return static_cast<int>(LoadMessage::Unreadable);
    }
    const std::vector<BYTE> image(block.data.get(), block.data.get() + block.size);
    return PreviewImage(image, options, dir, out, err);
}

} // namespace kp::tool
