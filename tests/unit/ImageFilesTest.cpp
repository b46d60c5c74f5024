#include "render/ImageFiles.h"
#include "ImageReadBack.h"

#include <gif_lib.h>
#include <png.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kp {
namespace {

using test::Gif;
using test::ReadGif;
using test::ReadPng;
using test::SamePicture;

// A file name in the test's temporary folder, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const char* name) {
        const char* dir = std::getenv("TMPDIR");
        m_path = std::string(dir && *dir ? dir : "/tmp") + "/kp_" + std::to_string(getpid()) + "_" + name;
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

RgbaImage Filled(int w, int h, Color c, std::uint8_t alpha = 255) {
    RgbaImage img = ToRgba(w, h, std::vector<Color>(static_cast<std::size_t>(w) * h, c));
    for (std::size_t i = 3; i < img.rgba.size(); i += 4)
        img.rgba[i] = alpha;
    return img;
}

TEST(ImageFiles, PngKeepsEveryPixelAndItsAlpha) {
    RgbaImage img;
    img.width = 5;
    img.height = 3;
    for (int i = 0; i < 15; ++i)
        img.rgba.insert(img.rgba.end(),
                        {static_cast<std::uint8_t>(i * 17), static_cast<std::uint8_t>(255 - i),
                         static_cast<std::uint8_t>(i * i), static_cast<std::uint8_t>(i % 3 * 127)});
    TempFile file("roundtrip.png");
    ASSERT_TRUE(WritePng(file.Path(), img));
    const RgbaImage back = ReadPng(file.Path());
    EXPECT_EQ(back.width, 5);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.rgba, img.rgba);
}

TEST(ImageFiles, PngFailuresAreReported) {
    std::string error;
    EXPECT_FALSE(WritePng("/nonexistent-dir/x.png", Filled(2, 2, 0), &error));
    EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos) << error;
    RgbaImage bad = Filled(2, 2, 0);
    bad.rgba.pop_back();
    EXPECT_FALSE(WritePng("/tmp/never-written.png", bad, &error));
}

TEST(ImageFiles, ShapesBecomeTransparency) {
    const std::vector<Color> px = {0x010203, 0x00FAFA, 0x040506, 0x00FAFA};
    RgbaImage img = ToRgba(2, 2, px);
    EXPECT_EQ(std::vector<std::uint8_t>(img.rgba.begin(), img.rgba.begin() + 4),
              (std::vector<std::uint8_t>{1, 2, 3, 255}));
    ClearColor(img, MakeColor(0, 250, 250));
    EXPECT_EQ(img.At(1, 0)[3], 0);
    EXPECT_EQ(img.At(1, 1)[3], 0);
    EXPECT_EQ(img.At(0, 1)[3], 255);
    ClearRegion(img, RectRegion(Rect{-5, 1, 1, 9})); // cut to the image
    EXPECT_EQ(img.At(0, 1)[3], 0);
    EXPECT_EQ(img.At(0, 0)[3], 255);
    EXPECT_FALSE(ToRgba(3, 2, px).Valid());
}

TEST(ImageFiles, GifKeepsFramesDelaysAndTransparency) {
    // Three frames, each with its own colours, a transparent corner and a moving dot.
    std::vector<RgbaImage> frames;
    for (int f = 0; f < 3; ++f) {
        RgbaImage img = Filled(7, 5, MakeColor(static_cast<BYTE>(40 * f), 200, 10));
        img.At(0, 0)[3] = 0;
        img.At(6, 4)[3] = 0;
        std::uint8_t* dot = img.At(1 + f, 2);
        dot[0] = 255, dot[1] = 0, dot[2] = static_cast<std::uint8_t>(f);
        frames.push_back(img);
    }
    TempFile file("frames.gif");
    AnimatedGifWriter gif(file.Path(), 7, 5);
    ASSERT_TRUE(gif.Ok()) << gif.Error();
    const int delays[] = {100, 250, 40};
    for (int f = 0; f < 3; ++f)
        gif.AddFrame(frames[f], delays[f]);
    ASSERT_TRUE(gif.Finish()) << gif.Error();

    const Gif back = ReadGif(file.Path());
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 5);
    EXPECT_TRUE(back.loops);
    ASSERT_EQ(back.frames.size(), 3u);
    for (int f = 0; f < 3; ++f) {
        EXPECT_EQ(back.frames[f].delayCs, delays[f] / 10) << f;
        EXPECT_EQ(back.frames[f].disposal, DISPOSE_BACKGROUND) << f;
        EXPECT_NE(back.frames[f].transparent, NO_TRANSPARENT_COLOR) << f;
        EXPECT_TRUE(SamePicture(back.frames[f].image, frames[f])) << f;
    }
}

TEST(ImageFiles, GifDelaysFollowTheRealTimeWithoutShortFrames) {
    const struct {
        std::vector<int> delaysMs;
        std::vector<int> shownFrames; // which added frames are in the file
        std::vector<int> delaysCs;
    } cases[] = {
        {{100, 200}, {0, 1}, {10, 20}},
        // 15 ms each: the frames end at 2, 3, 5, 6 cs; every short one goes to the frame before.
        {{15, 15, 15, 15}, {0, 2}, {3, 3}},
        // A short first frame gives way to the next; a short one later stays with the one before.
        {{5, 100, 7, 100}, {1, 3}, {11, 10}},
        {{0, 0, 300}, {2}, {30}},
        // Longer than a GIF delay can say: the same frame again for the rest.
        {{700000}, {0, 0}, {65535, 4465}},
        {{}, {-1}, {0}}, // no frames: one transparent frame
    };
    for (const auto& c : cases) {
        TempFile file("timing.gif");
        {
            AnimatedGifWriter gif(file.Path(), 2, 1);
            for (std::size_t i = 0; i < c.delaysMs.size(); ++i)
                gif.AddFrame(Filled(2, 1, static_cast<Color>(0x101010 * (i + 1))), c.delaysMs[i]);
            ASSERT_TRUE(gif.Finish()) << gif.Error();
        }
        const Gif back = ReadGif(file.Path());
        ASSERT_EQ(back.frames.size(), c.shownFrames.size()) << c.delaysMs.size();
        for (std::size_t i = 0; i < back.frames.size(); ++i) {
            EXPECT_EQ(back.frames[i].delayCs, c.delaysCs[i]) << i;
            const RgbaImage expected =
                c.shownFrames[i] < 0 ? Filled(2, 1, 0, 0)
                                     : Filled(2, 1, static_cast<Color>(0x101010 * (c.shownFrames[i] + 1)));
            EXPECT_TRUE(SamePicture(back.frames[i].image, expected)) << i;
        }
    }
}

TEST(ImageFiles, GifReducesFramesOfManyColoursAndKeepsFewExactly) {
    const struct {
        int colours;
        bool transparentToo;
        int tolerance;
    } cases[] = {
        {255, true, 0},  // 255 and the transparent index fill the 256 entries exactly
        {256, false, 0}, // as do 256 without transparency
        // One too many: two neighbours 17 apart share the entry between them.
        {256, true, 9},
        // A cube of 16 levels a channel on 255 entries: boxes of about 2.5 levels a side.
        {4096, true, 32},
    };
    for (const auto& c : cases) {
        RgbaImage img;
        img.width = 64;
        img.height = 64 + (c.transparentToo ? 1 : 0);
        img.rgba.assign(static_cast<std::size_t>(img.width) * img.height * 4, 0);
        for (int i = 0; i < 64 * 64; ++i) {
            const int k = i % c.colours; // colour k spread over the cube in steps of 16
            std::uint8_t* p = img.rgba.data() + 4 * i;
            p[0] = static_cast<std::uint8_t>((k & 15) * 17);
            p[1] = static_cast<std::uint8_t>((k >> 4 & 15) * 17);
            p[2] = static_cast<std::uint8_t>((k >> 8 & 15) * 17);
            p[3] = 255;
        }
        TempFile file("colours.gif");
        AnimatedGifWriter gif(file.Path(), img.width, img.height);
        gif.AddFrame(img, 100);
        ASSERT_TRUE(gif.Finish()) << gif.Error();
        const Gif back = ReadGif(file.Path());
        ASSERT_EQ(back.frames.size(), 1u);
        EXPECT_LE(back.frames[0].colorCount, 256);
        EXPECT_EQ(back.frames[0].transparent != NO_TRANSPARENT_COLOR, c.transparentToo) << c.colours;
        EXPECT_TRUE(SamePicture(back.frames[0].image, img, c.tolerance)) << c.colours;
    }
}

TEST(ImageFiles, GifWriterFailuresAreSticky) {
    AnimatedGifWriter nowhere("/nonexistent-dir/x.gif", 4, 4);
    EXPECT_FALSE(nowhere.Ok());
    nowhere.AddFrame(Filled(4, 4, 0), 100);
    EXPECT_FALSE(nowhere.Finish());

    EXPECT_FALSE(AnimatedGifWriter("/tmp/never.gif", 0, 4).Ok());
    EXPECT_FALSE(AnimatedGifWriter("/tmp/never.gif", 70000, 4).Ok());

    TempFile file("wrongsize.gif");
    AnimatedGifWriter gif(file.Path(), 4, 4);
    gif.AddFrame(Filled(4, 3, 0), 100);
    EXPECT_FALSE(gif.Ok());
    EXPECT_FALSE(gif.Finish());
}

} // namespace
} // namespace kp
