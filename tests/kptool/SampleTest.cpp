// The bundled character samples/kelpo, built from its source and run headless through every
// pattern with the cursor in different places, by day and by night, with and without clicks. At
// the end of every step the window's shape must show exactly what was drawn under it: no pixel
// of the background colour inside the shape, no pixel of a picture cut off by it, and every text
// of the step inside it.
#include "Assembler.h"
#include "BuildCommand.h"
#include "Cp932Text.h"
#include "ToolSystem.h"

#include "chardata/DataFile.h"
#include "sim/HeadlessRunner.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kp {
namespace {

// Colour 0 of the sample's palette: the pictures' background, never meant to be seen.
constexpr Color kBackground = MakeColor(255, 0, 255);
// No picture uses pure black; text is black on white.
constexpr Color kInk = MakeColor(0, 0, 0);

build::Bytes BuildSample() {
    const std::string folder = KP_SAMPLE_DIR "/";
    std::string text;
    if (!tool::ReadFileBytes(folder + "kelpo.kps", text))
        return {};
    const tool::ReadFileFn read = [&](const std::string& name, build::Bytes& out) {
        std::string bytes;
        if (!tool::ReadFileBytes(folder + name, bytes))
            return false;
        out.assign(bytes.begin(), bytes.end());
        return true;
    };
    build::Bytes image;
    std::vector<std::string> errors;
    if (!tool::AssembleSource("kelpo.kps", text, read, image, errors)) {
        for (const std::string& e : errors)
            ADD_FAILURE() << e;
        return {};
    }
    return image;
}

const build::Bytes& Sample() {
    static const build::Bytes image = BuildSample();
    return image;
}

// Runs the sample and checks the frame at the end of every step; returns the first problems.
class ShapeChecker {
public:
    explicit ShapeChecker(const sim::RunOptions& options) : m_options(options) {}

    std::string Run() {
        sim::HeadlessRunner runner([this](unsigned ms, const std::string& e) { Event(ms, e); },
                                   [](const AnsiString& text) { return tool::Cp932ToUtf8(text); });
        m_runner = &runner;
        if (!runner.Load(Sample(), m_options))
            return "the sample does not load";
        const CharacterFile& file = runner.Frame().File();
        m_width = file.CanvasWidth();
        m_height = file.CanvasHeight();
        // Every picture stands where cell 0 does, at its size.
        const BitmapInfo bi = file.ReadBitmapInfo(file.CellBitmapInfoOffset(0));
        m_picture =
            Rect{file.CellX(0), file.CellY(0), file.CellX(0) + bi.biWidth, file.CellY(0) + bi.biHeight};
        runner.Canvas().FillRect(Rect{0, 0, m_width, m_height}, kBackground);
        runner.Run();
        EXPECT_GT(m_checked, 10) << "too few steps were checked";
        return m_problems.str();
    }

private:
    void Event(unsigned ms, const std::string& e) {
        if (e.rfind("pattern ", 0) == 0) {
            m_pattern = e;
        } else if (e == "hide") {
            m_hidden = true; // the pattern start's own timer follows: no step ended
        } else if (e.rfind("set shape ", 0) == 0) {
            SetShape(static_cast<std::size_t>(std::stoul(e.substr(10))));
        } else if (e.rfind("text at ", 0) == 0) {
            m_text = true;
        } else if (e.rfind("timer 1 set to ", 0) == 0) {
            if (!m_hidden && m_haveShape)
                Check(ms);
            m_hidden = false;
            m_text = false;
        }
    }

    void SetShape(std::size_t slot) {
        const CMainFrame& frame = m_runner->Frame();
        ASSERT_LT(slot, frame.m_apMaskRgn.size());
        ASSERT_TRUE(frame.m_apMaskRgn[slot]) << "shape from an empty slot " << slot;
        m_inside.assign(static_cast<std::size_t>(m_width) * m_height, false);
        for (const Rect& r : frame.m_apMaskRgn[slot]->Region().Rects())
            for (int y = std::max(r.top, 0); y < std::min(r.bottom, m_height); ++y)
                for (int x = std::max(r.left, 0); x < std::min(r.right, m_width); ++x)
                    m_inside[static_cast<std::size_t>(y) * m_width + x] = true;
        m_haveShape = true;
    }

    void Check(unsigned ms) {
        ++m_checked;
        const SoftCanvas& canvas = m_runner->Canvas();
        int ink = 0;
        for (int y = 0; y < m_height; ++y) {
            for (int x = 0; x < m_width; ++x) {
                const bool inside = m_inside[static_cast<std::size_t>(y) * m_width + x];
                const Color c = canvas.Pixel(x, y);
                const bool picture =
                    x >= m_picture.left && x < m_picture.right && y >= m_picture.top && y < m_picture.bottom;
                if (inside && c == kBackground)
                    return Problem(ms, x, y, "the background shows inside the shape");
                if (!inside && picture && c != kBackground)
                    return Problem(ms, x, y, "the shape cuts off a pixel of the picture");
                if (m_text && c == kInk) {
                    if (!inside)
                        return Problem(ms, x, y, "text outside the shape");
                    ++ink;
                }
            }
        }
        if (m_text && ink == 0)
            Problem(ms, 0, 0, "text was written but nothing of it shows");
    }

    void Problem(unsigned ms, int x, int y, const char* what) {
        if (++m_problemCount <= 3)
            m_problems << ms << " ms, " << m_pattern << ", at " << x << "," << y << ": " << what << "\n";
    }

    sim::RunOptions m_options;
    sim::HeadlessRunner* m_runner = nullptr;
    int m_width = 0;
    int m_height = 0;
    Rect m_picture;
    std::vector<bool> m_inside;
    bool m_haveShape = false;
    bool m_hidden = false;
    bool m_text = false;
    std::string m_pattern;
    int m_checked = 0;
    int m_problemCount = 0;
    std::ostringstream m_problems;
};

TEST(Sample, EveryCellFitsTheWindow) {
    const build::Bytes& image = Sample();
    ASSERT_FALSE(image.empty());
    const CharacterFile file(ImageView(image.data(), image.size()));
    bool ok = true;
    const DWORD first = file.Image().U32(file.CellsOffset() + kpfile::kCellTable, &ok);
    ASSERT_TRUE(ok);
    const WORD cells = static_cast<WORD>((first - kpfile::kCellTable) / 4);
    for (WORD c = 0; c < cells; ++c) {
        const BitmapInfo bi = file.ReadBitmapInfo(file.CellBitmapInfoOffset(c, &ok), &ok);
        ASSERT_TRUE(ok) << "cell " << c;
        EXPECT_LE(file.CellX(c) + bi.biWidth, file.CanvasWidth()) << "cell " << c;
        EXPECT_LE(file.CellY(c) + bi.biHeight, file.CanvasHeight()) << "cell " << c;
    }
}

TEST(Sample, ShapesShowWhatIsDrawn) {
    ASSERT_FALSE(Sample().empty());
    const Point cursors[] = {{-20, 40}, {64, 40}, {120, 40}, {500, 500}};
    std::uint32_t seed = 1;
    for (int pattern = 1; pattern <= 7; ++pattern) {
        for (const Point& cursor : cursors) {
            for (const bool clicks : {false, true}) {
                sim::RunOptions o;
                o.pattern = pattern;
                o.duration = 20000;
                o.seed = seed++;
                o.cursor = cursor;
                o.clock = LocalTime{2026, 12, 3, 9, static_cast<WORD>(seed % 2 ? 2 : 13), 30, 0, 0};
                if (clicks)
                    o.clicks = {2500, 2700, 9000};
                const std::string problems = ShapeChecker(o).Run();
                EXPECT_EQ(problems, "") << "pattern " << pattern << ", cursor " << cursor.x << "," << cursor.y
                                        << (clicks ? ", with clicks" : "");
            }
        }
    }
}

} // namespace
} // namespace kp
