// `kptool preview FILE -o DIR`: what the character window shows over a span of virtual time, by
// the same headless run as `kptool trace`, written as one PNG per shown frame and an animated GIF.
#pragma once

#include "ExitStatus.h"
#include "platform/Services.h"
#include "render/ImageFiles.h"
#include "sim/HeadlessRunner.h"

#include <ostream>
#include <string>
#include <vector>

namespace kp::tool {

// How the window gets its shape, as the program chooses it by the Windows version.
enum class WindowShape {
    Layered, // Windows 2000 and later: a layered window whose colour key shows the desktop
    Region,  // earlier Windows: the window region
};

struct PreviewOptions {
    sim::RunOptions run;
    WindowShape shape = WindowShape::Layered;
    int scale = 1; // each window pixel as scale x scale image pixels
};

constexpr int kMaxPreviewScale = 16;

// Exit statuses beyond the load verdict's (0 and 1..5, as `kptool check` gives them).
constexpr int kPreviewNothingToShow = kExitDataError; // the window has no pixels, or too many
constexpr int kPreviewCannotWrite = kExitCannotWrite; // the folder or a file cannot be written

// Sets one preview option: every trace option, `--window layered|region` and `--scale N`.
// False with a reason when the value does not fit the option.
bool SetPreviewOption(const std::string& name, const std::string& value, PreviewOptions& options,
                      std::string& error);
// The names SetPreviewOption takes.
const std::vector<std::string>& PreviewOptionNames();

// A frame as the window shows it: the canvas with the desktop showing through where the window
// shape leaves it, scaled; shown at `start` for `length` milliseconds.
struct PreviewFrame {
    unsigned start = 0;
    unsigned length = 0;
    RgbaImage image;
};

// The picture the window shows now, painted by the window's own OnPaint, with transparency where
// the current shape lets the desktop through: outside the window region (region mode), or on
// every pixel of the colour key, which the paint puts outside the shape (layered mode).
RgbaImage ShownPicture(sim::HeadlessRunner& runner, WindowShape shape, int scale);

// Where the frames go. Either call returns false (after saying why) to stop the preview.
class PreviewSink {
public:
    virtual ~PreviewSink() = default;
    // The file loads and the run is about to start; every frame will be width x height.
    virtual bool Begin(int width, int height) = 0;
    // Each frame once its length is known, in order.
    virtual bool Frame(const PreviewFrame& frame) = 0;
};

// Runs the image headless and hands over every frame the window shows before the span ends (the
// first frame always, so a span of 0 ms gives one still frame). Prints problems to `err`.
// Returns 0; the verdict's number when the program would not load the image; or one of the
// kPreview statuses (kPreviewCannotWrite when the sink said stop).
int RenderPreview(const std::vector<BYTE>& image, const PreviewOptions& options, PreviewSink& sink,
                  std::ostream& err);

// Renders the image into `dir` (made when missing; frame files of an earlier preview there are
// removed): DIR/frame-0000.png... and DIR/preview.gif, and prints one summary line to `out`.
int PreviewImage(const std::vector<BYTE>& image, const PreviewOptions& options, const std::string& dir,
                 std::ostream& out, std::ostream& err);
// The same on a file; an unreadable file gives message 1 and status 1.
int RunPreview(IFileSystem& files, const AnsiString& path, const PreviewOptions& options,
               const std::string& dir, std::ostream& out, std::ostream& err);

} // namespace kp::tool
