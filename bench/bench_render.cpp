// What a preview frame costs in the native renderer: text through FreeType onto a software
// canvas (next to the placeholder box), and one 256 x 256 frame written as PNG and as a GIF
// frame (a frame of the character's few colours, and one of more than 256 that is reduced).
// Figures are printed, never checked.
#include "chardata/SoftCanvas.h"
#include "render/FreeTypeText.h"
#include "render/ImageFiles.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

using namespace kp;
constexpr int kSize = 256;
const AnsiString kText = "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD Kelpo32"; // こんにちは Kelpo32

void TextOut(benchmark::State& state, bool glyphs) {
    static FreeTypeTextRenderer renderer;
    SoftCanvas canvas(kSize, 64);
    if (glyphs)
        canvas.SetTextRenderer(&renderer);
    FontSpec font{-16, 700, 128, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E"};
    canvas.SelectFont(&font);
    for (auto _ : state) {
        canvas.TextOut(4, 4, kText);
        benchmark::ClobberMemory();
    }
}
BENCHMARK_CAPTURE(TextOut, FreeType, true);
BENCHMARK_CAPTURE(TextOut, Placeholder, false);

// A frame of `colours` colours in bands, with a transparent border as a window shape makes.
RgbaImage Frame(int colours) {
    std::vector<Color> px(static_cast<std::size_t>(kSize) * kSize);
    for (std::size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<Color>((i * 2654435761u) % static_cast<std::size_t>(colours)) * 0x010307;
    RgbaImage img = ToRgba(kSize, kSize, px);
    RectRegion outside =
        RectRegion::Difference(RectRegion(Rect{0, 0, kSize, kSize}), RectRegion(Rect{16, 16, 240, 240}));
    ClearRegion(img, outside);
    return img;
}

std::string TempPath(const char* name) {
    return "/tmp/kp_bench_" + std::to_string(getpid()) + "_" + name;
}

void Png(benchmark::State& state) {
    const RgbaImage img = Frame(200);
    const std::string path = TempPath("frame.png");
    for (auto _ : state)
        benchmark::DoNotOptimize(WritePng(path, img));
    std::remove(path.c_str());
}
BENCHMARK(Png)->Unit(benchmark::kMillisecond);

void GifFrame(benchmark::State& state) {
    const RgbaImage img = Frame(static_cast<int>(state.range(0)));
    const std::string path = TempPath("frames.gif");
    {
        AnimatedGifWriter gif(path, kSize, kSize);
        for (auto _ : state)
            gif.AddFrame(img, 100);
        gif.Finish();
    }
    std::remove(path.c_str());
}
BENCHMARK(GifFrame)->Arg(200)->Arg(4096)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
