// `kptool preview`: the frames of small builder-made characters against their traces, their
// pixels against the cells, transparency against the masks in both window modes, clicks, the
// files written (read back with libpng and giflib), and the files it refuses.
#include "PreviewCommand.h"
#include "TraceCommand.h"

#include "../unit/ImageReadBack.h"
#include "../unit/ScriptFixtures.h"
#include "chardata/DataFile.h"
#include "render/FreeTypeText.h"
#include "sim/SimDesktop.h"

#include <gif_lib.h>
#include <png.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kp {
namespace {

namespace fs = std::filesystem;
using test::ReadPng;
using test::SamePicture;
using test::Script;

// Keeps every frame.
class Collector final : public tool::PreviewSink {
public:
    bool Begin(int w, int h) override {
        width = w;
        height = h;
        began = true;
        return true;
    }
    bool Frame(const tool::PreviewFrame& f) override {
        frames.push_back(f);
        return true;
    }
    bool began = false;
    int width = 0, height = 0;
    std::vector<tool::PreviewFrame> frames;
};

struct Rendered {
    int status = -1;
    std::string err;
    Collector sink;
};

Rendered Render(const build::Bytes& image, const tool::PreviewOptions& o) {
    Rendered r;
    std::ostringstream err;
    r.status = tool::RenderPreview(image, o, r.sink, err);
    r.err = err.str();
    return r;
}

tool::PreviewOptions Lasting(unsigned ms, tool::WindowShape shape = tool::WindowShape::Layered) {
    tool::PreviewOptions o;
    o.run.duration = ms;
    o.shape = shape;
    return o;
}

// A character of one pattern in a window of w x h.
build::Character OnePattern(const Script& s, const std::vector<build::Cell>& cells, WORD w = 8, WORD h = 6) {
    build::Character c;
    c.width = w;
    c.height = h;
    c.cells = cells;
    build::Pattern p;
    p.raw = s.bytes;
    c.patterns.push_back(p);
    return c;
}

build::Cell At(build::Cell c, WORD x, WORD y) {
    c.x = x;
    c.y = y;
    return c;
}

// The colour and alpha of a pixel as 0xAARRGGBB.
std::uint32_t Px(const RgbaImage& img, int x, int y) {
    const std::uint8_t* p = img.At(x, y);
    return std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

// Rows of '#' (opaque) and '.' (transparent).
std::vector<std::string> AlphaRows(const RgbaImage& img) {
    std::vector<std::string> rows;
    for (int y = 0; y < img.height; ++y) {
        rows.emplace_back();
        for (int x = 0; x < img.width; ++x)
            rows.back() += img.At(x, y)[3] >= 128 ? '#' : '.';
    }
    return rows;
}

// The virtual times at which the trace's steps end with a timer, as far as they lie before the
// span's end (the first step always).
std::vector<unsigned> TracedSteps(const build::Bytes& image, const sim::RunOptions& o) {
    std::ostringstream out;
    tool::TraceImage(image, o, out);
    std::istringstream lines(out.str());
    std::vector<unsigned> times;
    for (std::string line; std::getline(lines, line);)
        if (line.find("  timer 1 set to ") != std::string::npos) {
            const auto t = static_cast<unsigned>(std::stoul(line.substr(0, 8)));
            if (times.empty() || t < o.duration)
                times.push_back(t);
        }
    return times;
}

TEST(Preview, FramesComeWhenTheTraceSaysTheStepsRun) {
    const build::Cell cell = build::SolidCell8(2, 2, 9);
    Script waits; // 200, 300, again
    waits.Op(OP_DRAW).Word(0).Wait(200).Op(OP_DRAW).Word(0).Wait(300).Goto(4);
    Script zero; // 0 ms waits run as 10 ms
    zero.Wait(0).Goto(4);
    Script random; // 100..149 ms
    random.Op(OP_WAITRANDOM).Word(100).Word(50).Goto(4);
    Script clicked; // a click entry that draws and waits 50 ms
    clicked.Op(OP_CLICKON).Dword(0);
    const DWORD loop = clicked.Here();
    clicked.Wait(1000).Goto(loop);
    const DWORD entry = clicked.Here();
    clicked.Op(OP_DRAW).Word(0).Wait(50).Goto(loop);
    build::PutU32(clicked.bytes, loop - 4, entry);

    struct Case {
        const char* what;
        Script script;
        unsigned duration;
        std::vector<unsigned> clicks;
        std::vector<unsigned> starts;
        std::vector<unsigned> lengths;
    };
    const Case cases[] = {
        {"waits", waits, 1000, {}, {0, 200, 500, 700}, {200, 300, 200, 300}},
        {"a frame at the end is not in the span", waits, 700, {}, {0, 200, 500}, {200, 300, 200}},
        {"a span of 0 ms is one still frame", waits, 0, {}, {0}, {0}},
        {"0 ms waits", zero, 35, {}, {0, 10, 20, 30}, {10, 10, 10, 5}},
        {"random waits", random, 400, {}, {}, {}},
        // Two clicks at once: the first frame is replaced in the same millisecond.
        {"clicks", clicked, 400, {100, 300, 100}, {0, 100, 100, 150, 300, 350}, {100, 0, 50, 150, 50, 50}},
    };
    for (const Case& c : cases) {
        const build::Bytes image = build::BuildCharacter(OnePattern(c.script, {cell}));
        tool::PreviewOptions o = Lasting(c.duration);
        o.run.clicks = c.clicks;
        o.run.seed = 7;
        const Rendered r = Render(image, o);
        ASSERT_EQ(r.status, 0) << c.what << r.err;
        std::vector<unsigned> starts, lengths;
        unsigned total = 0;
        for (const auto& f : r.sink.frames) {
            starts.push_back(f.start);
            lengths.push_back(f.length);
            total += f.length;
        }
        EXPECT_EQ(starts, TracedSteps(image, o.run)) << c.what;
        if (!c.starts.empty()) {
            EXPECT_EQ(starts, c.starts) << c.what;
            EXPECT_EQ(lengths, c.lengths) << c.what;
        }
        EXPECT_EQ(total, c.duration) << c.what;
        for (std::size_t i = 0; i + 1 < starts.size(); ++i)
            EXPECT_EQ(starts[i] + lengths[i], starts[i + 1]) << c.what;
    }
}

TEST(Preview, PixelsAreTheCellsPixels) {
    // A 4-bit cell with a grey ramp and a 24-bit cell, each at its own place; the canvas starts
    // black and keeps what earlier steps drew.
    const build::Cell grey = At(build::Cell4({"0123", "4567", "89ab"}), 1, 2);
    const build::Cell red = At(build::SolidCell24(2, 1, 200, 10, 20), 5, 0);
    Script s;
    s.Op(OP_DRAW).Word(0).Wait(100).Op(OP_DRAW).Word(1).Wait(100).Goto(4);
    const Rendered r = Render(build::BuildCharacter(OnePattern(s, {grey, red})), Lasting(150));
    ASSERT_EQ(r.sink.frames.size(), 2u) << r.err;
    EXPECT_EQ(r.sink.width, 8);
    EXPECT_EQ(r.sink.height, 6);
    for (int frame = 0; frame < 2; ++frame) {
        const RgbaImage& img = r.sink.frames[static_cast<std::size_t>(frame)].image;
        ASSERT_EQ(img.width, 8);
        ASSERT_EQ(img.height, 6);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                std::uint32_t want = 0xFF000000; // opaque black
                if (x >= 1 && x < 5 && y >= 2 && y < 5) {
                    const std::uint32_t v = static_cast<std::uint32_t>((y - 2) * 4 + (x - 1)) * 17;
                    want |= v << 16 | v << 8 | v;
                } else if (frame == 1 && y == 0 && (x == 5 || x == 6)) {
                    want = 0xFFC80A14;
                }
                EXPECT_EQ(Px(img, x, y), want) << "frame " << frame << " at " << x << "," << y;
            }
    }

    // Scaled: every pixel becomes a square.
    tool::PreviewOptions o = Lasting(150);
    o.scale = 3;
    const Rendered big = Render(build::BuildCharacter(OnePattern(s, {grey, red})), o);
    ASSERT_EQ(big.sink.frames.size(), 2u);
    EXPECT_EQ(big.sink.width, 24);
    EXPECT_EQ(big.sink.height, 18);
    const RgbaImage& small = r.sink.frames[1].image;
    const RgbaImage& scaled = big.sink.frames[1].image;
    ASSERT_EQ(scaled.width, 24);
    ASSERT_EQ(scaled.height, 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x)
            ASSERT_EQ(Px(scaled, x, y), Px(small, x / 3, y / 3)) << x << "," << y;
}

TEST(Preview, TransparencyFollowsTheShapeInBothWindowModes) {
    // Cell 0 covers the 6 x 4 window in grey; the masks are made and applied by the second step,
    // so the first frame shows the whole window.
    const build::Cell picture = build::SolidCell8(6, 4, 200);
    struct Case {
        const char* what;
        build::Cell mask;
        std::vector<std::string> shaped;
    };
    const Case cases[] = {
        {"a 1-bit mask",
         At(build::MaskCell1({"011110", "000000", "100001"}), 20, 20),
         {"#....#", "######", ".####.", "......"}},
        {"a mask wider and taller than the window",
         build::MaskCell1({"00000001", "01111111", "01111111", "01111111", "00000000"}),
         {"######", "#.....", "#.....", "#....."}},
        {"a 4-bit mask", build::Cell4({"0f0f0000", "00000000"}), {"#.#.##", "######", "......", "......"}},
        {"a mask without inside pixels",
         build::MaskCell1({"111111", "111111"}),
         {"......", "......", "......", "......"}},
    };
    for (const Case& c : cases) {
        Script s;
        s.Op(OP_DRAW).Word(0).Wait(100);
        const DWORD loop = s.Here();
        s.Op(OP_NEWSHAPE).Byte('b').Word(1).Op(OP_SETSHAPE).Word(0x8000).Wait(100).Goto(loop);
        const build::Bytes image = build::BuildCharacter(OnePattern(s, {picture, c.mask}, 6, 4));
        for (const auto shape : {tool::WindowShape::Layered, tool::WindowShape::Region}) {
            const char* mode = shape == tool::WindowShape::Layered ? "layered" : "region";
            const Rendered r = Render(image, Lasting(250, shape));
            ASSERT_EQ(r.sink.frames.size(), 3u) << c.what << " " << mode;
            EXPECT_EQ(AlphaRows(r.sink.frames[0].image), std::vector<std::string>(4, "######"))
                << c.what << " " << mode;
            for (std::size_t f = 1; f < 3; ++f) {
                EXPECT_EQ(AlphaRows(r.sink.frames[f].image), c.shaped) << c.what << " " << mode;
                // What stays visible is the picture.
                const RgbaImage& img = r.sink.frames[f].image;
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 6; ++x) {
                        if (img.At(x, y)[3] == 255) {
                            EXPECT_EQ(Px(img, x, y), 0xFFC8C8C8u) << c.what << " " << mode;
                        }
                    }
            }
        }
    }
}

TEST(Preview, TheColourKeyShowsTheDesktopOnlyInALayeredWindow) {
    // A cell painted in the key colour itself: the layered window lets the desktop through it, as
    // the program's window does; a window region does not.
    const build::Cell key = build::SolidCell24(2, 2, 0, 250, 250);
    const build::Cell nearKey = At(build::SolidCell24(2, 2, 0, 250, 251), 2, 0);
    Script s;
    s.Op(OP_DRAW).Word(0).Op(OP_DRAW).Word(1).Wait(100).Goto(4);
    const build::Bytes image = build::BuildCharacter(OnePattern(s, {key, nearKey}, 4, 2));
    const Rendered layered = Render(image, Lasting(100, tool::WindowShape::Layered));
    const Rendered region = Render(image, Lasting(100, tool::WindowShape::Region));
    ASSERT_EQ(layered.sink.frames.size(), 1u);
    ASSERT_EQ(region.sink.frames.size(), 1u);
    EXPECT_EQ(AlphaRows(layered.sink.frames[0].image), std::vector<std::string>(2, "..##"));
    EXPECT_EQ(AlphaRows(region.sink.frames[0].image), std::vector<std::string>(2, "####"));
}

TEST(Preview, AClickChangesTheFrames) {
    // Cell 0 every 300 ms; a click draws cell 1 and goes back to the loop.
    const build::Cell stand = build::SolidCell24(4, 4, 10, 20, 30);
    const build::Cell wave = build::SolidCell24(4, 4, 250, 0, 0);
    Script s;
    s.Op(OP_CLICKON).Dword(0);
    const DWORD loop = s.Here();
    s.Op(OP_DRAW).Word(0).Wait(300).Goto(loop);
    const DWORD entry = s.Here();
    s.Op(OP_DRAW).Word(1).Wait(100).Goto(loop);
    build::PutU32(s.bytes, loop - 4, entry);
    const build::Bytes image = build::BuildCharacter(OnePattern(s, {stand, wave}, 4, 4));

    const Rendered quiet = Render(image, Lasting(600));
    tool::PreviewOptions o = Lasting(600);
    std::string error;
    ASSERT_TRUE(tool::SetPreviewOption("--clicks", "450", o, error)) << error;
    const Rendered clicked = Render(image, o);
    ASSERT_EQ(quiet.sink.frames.size(), 2u);
    ASSERT_EQ(clicked.sink.frames.size(), 4u);
    EXPECT_EQ(clicked.sink.frames[1].length, 150u); // cut short by the click
    EXPECT_EQ(clicked.sink.frames[2].start, 450u);
    EXPECT_EQ(clicked.sink.frames[2].length, 100u);
    EXPECT_EQ(clicked.sink.frames[3].start, 550u);
    EXPECT_EQ(Px(quiet.sink.frames[1].image, 2, 2), 0xFF0A141Eu);
    EXPECT_EQ(Px(clicked.sink.frames[1].image, 2, 2), 0xFF0A141Eu);
    EXPECT_EQ(Px(clicked.sink.frames[2].image, 2, 2), 0xFFFA0000u);
    EXPECT_EQ(Px(clicked.sink.frames[3].image, 2, 2), 0xFF0A141Eu);
}

TEST(Preview, TextIsDrawnWithTheJapaneseFont) {
    FreeTypeTextRenderer fonts;
    if (!fonts.HasFont())
        GTEST_SKIP() << "no IPA Gothic font installed";
    const AnsiString text = "A\x82\xa0"; // "Aあ"
    Script s;
    s.Op(OP_TEXT).Word(1).Word(1).Str(text).Wait(100).Goto(4);
    const Rendered r =
        Render(build::BuildCharacter(OnePattern(s, {build::SolidCell8(1, 1, 0)}, 40, 20)), Lasting(100));
    ASSERT_EQ(r.sink.frames.size(), 1u);
    EXPECT_EQ(r.err, "");
    SoftCanvas expected(40, 20);
    expected.SetTextRenderer(&fonts);
    expected.TextOut(1, 1, text);
    const RgbaImage want = ToRgba(40, 20, expected.Pixels());
    EXPECT_EQ(r.sink.frames[0].image.rgba, want.rgba);
    SoftCanvas placeholder(40, 20);
    placeholder.TextOut(1, 1, text);
    EXPECT_NE(r.sink.frames[0].image.rgba, ToRgba(40, 20, placeholder.Pixels()).rgba);
}

// A folder of its own under the temporary folder, removed at the end.
class TempDir {
public:
    TempDir() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kp_preview_XXXXXX";
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove_all(m_path, ec);
    }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

TEST(PreviewFiles, PngFramesAndAnAnimationWithTheFrameTimes) {
    // Two cells in turn for 200 and 300 ms, shaped by a mask from the second step on.
    const build::Cell a = build::SolidCell24(4, 3, 255, 0, 0);
    const build::Cell b = build::SolidCell24(4, 3, 0, 0, 255);
    const build::Cell mask = build::MaskCell1({"0110", "0000", "1001"});
    Script s;
    s.Op(OP_NEWSHAPE).Byte('b').Word(2);
    const DWORD loop = s.Here();
    s.Op(OP_DRAW).Word(0).Wait(200).Op(OP_SETSHAPE).Word(0).Op(OP_DRAW).Word(1).Wait(300).Goto(loop);
    const build::Bytes image = build::BuildCharacter(OnePattern(s, {a, b, mask}, 4, 3));
    const tool::PreviewOptions o = Lasting(1100);
    const Rendered inMemory = Render(image, o);
    ASSERT_EQ(inMemory.sink.frames.size(), 5u);

    TempDir tmp;
    const std::string dir = tmp / "out";
    fs::create_directories(dir);
    std::ofstream(dir + "/frame-0017.png") << "stale";
    std::ofstream(dir + "/notes.txt") << "kept";
    std::ostringstream out, err;
    ASSERT_EQ(tool::PreviewImage(image, o, dir, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "5 frames in 1100 ms: " + dir + "/frame-0000.png .. " + dir +
                             "/frame-0004.png and " + dir + "/preview.gif\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_FALSE(fs::exists(dir + "/frame-0017.png"));
    EXPECT_TRUE(fs::exists(dir + "/notes.txt"));
    EXPECT_FALSE(fs::exists(dir + "/frame-0005.png"));

    const std::vector<test::GifFrame> gif = test::ReadGif(dir + "/preview.gif").frames;
    ASSERT_EQ(gif.size(), 5u);
    const int delays[] = {20, 30, 20, 30, 10};
    for (std::size_t i = 0; i < 5; ++i) {
        const RgbaImage png = ReadPng(dir + "/" + "frame-000" + std::to_string(i) + ".png");
        EXPECT_EQ(png.rgba, inMemory.sink.frames[i].image.rgba) << i;
        EXPECT_TRUE(SamePicture(gif[i].image, png)) << i;
        EXPECT_EQ(gif[i].delayCs, delays[i]) << i;
    }
    EXPECT_EQ(AlphaRows(gif[1].image), (std::vector<std::string>{"#..#", "####", ".##."}));
    EXPECT_EQ(Px(gif[0].image, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(Px(gif[1].image, 0, 0), 0xFF0000FFu);
}

TEST(PreviewFiles, FilesThatCannotBeShownOrWritten) {
    const build::Bytes good =
        build::BuildCharacter(OnePattern(Script().Wait(100), {build::SolidCell8(2, 2, 1)}));
    build::Bytes newer = good;
    build::PutU16(newer, kpfile::kVersion, 999);
    build::Character c = OnePattern(Script().Wait(100), {build::SolidCell8(2, 2, 1)});
    c.patterns.clear();
    const build::Bytes noPatterns = build::BuildCharacter(c);
    c = OnePattern(Script(301).Wait(100), {build::SolidCell8(2, 2, 1)});
    c.version = 301;
    c.breakFileHeaderCrc = true;
    const build::Bytes mayBeDamaged = build::BuildCharacter(c);
    c.patternCount = 0;
    const build::Bytes damagedToo = build::BuildCharacter(c);
    c = OnePattern(Script().Wait(100), {build::SolidCell8(2, 2, 1)}, 0, 5);
    const build::Bytes noPixels = build::BuildCharacter(c);

    struct Case {
        const char* what;
        build::Bytes image;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {"empty", {}, 2, "kptool: データが破損しています。 (message 2: the data is damaged)\n"},
        {"no KP",
         {'Z', 'Z', 0, 0},
         3,
         "kptool: 旧バージョンのデータです。ZAVOVOで変換して下さい。 (message 3: not a character file; the "
         "program calls it old-version data to be converted with ZAVOVO)\n"},
        {"newer", newer, 4,
         "kptool: プログラムのバージョンが低いため、実行できません。 (message 4: the file needs a newer "
         "version of "
         "the program)\n"},
        {"no patterns", noPatterns, 2, "kptool: データが破損しています。 (message 2: the data is damaged)\n"},
        {"may be damaged, and is", damagedToo, 5,
         "kptool: データが破損している可能性があります。 続けますか？ (message 5: the data may be damaged; "
         "continue?)\n"
         "kptool: answering Yes would give データが破損しています。 (message 2: the data is damaged)\n"},
        {"may be damaged, loads", mayBeDamaged, 0,
         "kptool: データが破損している可能性があります。 続けますか？ (message 5: the data may be damaged; "
         "continue?) (shown as answering Yes would)\n"},
        // The program refuses a window of 0 pixels at load, so the preview tells its message.
        {"no pixels", noPixels, 6,
         "kptool: キャラクターの大きさが範囲外のため、表示できません。 (message 6: the window or the first "
         "cell "
         "is 0 pixels or larger than 4096 pixels, which the program cannot show)\n"},
    };
    for (const Case& k : cases) {
        TempDir tmp;
        std::ostringstream out, err;
        EXPECT_EQ(tool::PreviewImage(k.image, Lasting(100), tmp / "out", out, err), k.status) << k.what;
        EXPECT_EQ(err.str(), k.err) << k.what;
        // Only a file that is shown makes the folder.
        EXPECT_EQ(fs::exists(tmp / "out/preview.gif"), k.status == 0) << k.what;
        EXPECT_EQ(out.str().empty(), k.status != 0) << k.what;
    }

    // A file that cannot be read, and a folder that cannot be made.
    sim::SimFileSystem files;
    std::ostringstream out, err;
    TempDir tmp;
    EXPECT_EQ(tool::RunPreview(files, "C:\\gone.kp", Lasting(100), tmp / "out", out, err), 1);
    EXPECT_EQ(err.str(),
              "kptool: C:\\gone.kp: データファイルが読み込めません。 (message 1: the file cannot be read)\n");
    std::ofstream(tmp / "file") << "x";
    err.str("");
    EXPECT_EQ(tool::PreviewImage(good, Lasting(100), tmp / "file", out, err), tool::kPreviewCannotWrite);
    EXPECT_NE(err.str().find("cannot make the folder " + (tmp / "file")), std::string::npos) << err.str();
}

TEST(PreviewOptions, ValuesAreChecked) {
    struct Case {
        const char* name;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"--window", "region", true}, {"--window", "key", false}, {"--scale", "16", true},
        {"--scale", "0", false},      {"--scale", "17", false},   {"--scale", "2x", false},
        {"--seed", "x", false},
    };
    for (const Case& c : cases) {
        tool::PreviewOptions o;
        std::string error;
        EXPECT_EQ(tool::SetPreviewOption(c.name, c.value, o, error), c.ok) << c.name << " " << c.value;
        EXPECT_EQ(error.empty(), c.ok) << c.name << " " << c.value;
    }
    tool::PreviewOptions o;
    std::string error;
    EXPECT_EQ(o.shape, tool::WindowShape::Layered);
    ASSERT_TRUE(tool::SetPreviewOption("--window", "region", o, error));
    ASSERT_TRUE(tool::SetPreviewOption("--scale", "4", o, error));
    ASSERT_TRUE(tool::SetPreviewOption("--duration", "1234", o, error));
    EXPECT_EQ(o.shape, tool::WindowShape::Region);
    EXPECT_EQ(o.scale, 4);
    EXPECT_EQ(o.run.duration, 1234u);
}

} // namespace
} // namespace kp
