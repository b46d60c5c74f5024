// The cost of the picture paths against a plain memory copy of the same number of pixels:
// building the shape of a 256 x 256 mask (plain 1-bit, run-length 1-bit, 4-bit) and drawing a
// 256 x 256 8-bit cell onto a software canvas. Figures are printed, never checked.
#include "Builder.h"
#include "chardata/DataFile.h"
#include "chardata/MaskRgn.h"
#include "chardata/SoftCanvas.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kp;
constexpr int kSize = 256;

// A BITMAPINFOHEADER, full colour table and bits in one block, as a cell holds them.
struct Blob {
    build::Bytes bytes;
    std::size_t bits = 0;
};

Blob MakeBlob(const build::Cell& c) {
    Blob b;
    build::AppendU32(b.bytes, 40);
    build::AppendU32(b.bytes, static_cast<DWORD>(c.width));
    build::AppendU32(b.bytes, static_cast<DWORD>(c.height));
    build::AppendU16(b.bytes, 1);
    build::AppendU16(b.bytes, c.bitCount);
    build::AppendU32(b.bytes, c.compression);
    b.bytes.resize(40, 0);
    build::Bytes colors = c.colors;
    colors.resize(4 * ColorTableEntries(c.bitCount), 0);
    b.bytes.insert(b.bytes.end(), colors.begin(), colors.end());
    b.bits = b.bytes.size();
    b.bytes.insert(b.bytes.end(), c.bits.begin(), c.bits.end());
    return b;
}

// A character-like outline: a disc with a few holes, so rows hold several runs.
std::vector<std::string> MaskRows(char inside, char outside) {
    std::vector<std::string> rows(kSize, std::string(kSize, outside));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int dx = x - kSize / 2, dy = y - kSize / 2;
            const bool disc = dx * dx + dy * dy < (kSize / 2 - 4) * (kSize / 2 - 4);
            const bool hole = ((x / 16) + (y / 16)) % 5 == 0;
            if (disc && !hole)
                rows[y][x] = inside;
        }
    return rows;
}

void BuildShape(benchmark::State& state, const Blob& b, int bitCount) {
    const ImageView image(b.bytes.data(), b.bytes.size());
    std::size_t rects = 0;
    for (auto _ : state) {
        CMaskRgn m;
        m.BuildFromBits(image, 0, b.bits, kSize, kSize, bitCount);
        rects = m.Region().RectCount();
        benchmark::DoNotOptimize(rects);
    }
    state.counters["rects"] = static_cast<double>(rects);
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}

void BM_MaskShape1Bit(benchmark::State& state) {
    static const Blob b = MakeBlob(build::MaskCell1(MaskRows('0', '1')));
    BuildShape(state, b, 1);
}
BENCHMARK(BM_MaskShape1Bit);

void BM_MaskShape1BitRuns(benchmark::State& state) {
    static const Blob b = [] {
        build::Cell c = build::MaskCell1(MaskRows('0', '1'));
        c.compression = kpfile::kMaskRunLength;
        c.bits = build::CompressMaskRuns(c.bits);
        return MakeBlob(c);
    }();
    BuildShape(state, b, 1);
}
BENCHMARK(BM_MaskShape1BitRuns);

void BM_MaskShape4Bit(benchmark::State& state) {
    static const Blob b = MakeBlob(build::Cell4(MaskRows('0', '7')));
    BuildShape(state, b, 4);
}
BENCHMARK(BM_MaskShape4Bit);

void BM_DrawCell8Bit(benchmark::State& state) {
    static const Blob b = [] {
        build::Cell c = build::SolidCell8(kSize, kSize, 0);
        for (std::size_t i = 0; i < c.bits.size(); ++i)
            c.bits[i] = static_cast<BYTE>(i * 31);
        return MakeBlob(c);
    }();
    SoftCanvas canvas(kSize, kSize);
    const DibRef ref{b.bytes.data(), b.bytes.size(), 0, b.bits};
    for (auto _ : state) {
        canvas.DrawDib(0, 0, ref);
        benchmark::DoNotOptimize(canvas.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_DrawCell8Bit);

// The floor: copying as many 32-bit pixels as the canvas holds.
void BM_CopyPixels32(benchmark::State& state) {
    std::vector<Color> src(kSize * kSize, 0x123456), dst(kSize * kSize);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * sizeof(Color));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_CopyPixels32);

} // namespace

BENCHMARK_MAIN();
