// libFuzzer target: the software renderer on arbitrary header and bits. The input is a
// BITMAPINFO with its bits after it, drawn onto a small canvas at a few positions (the last two
// input bytes pick one more), with the bits where a cell's would be, right after the header and
// at the very end of the block. Any read outside the block is a sanitizer report.
#include "chardata/DataFile.h"
#include "chardata/SoftCanvas.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kp;
    std::unique_ptr<BYTE[]> block(size ? new BYTE[size] : nullptr);
    if (size)
        std::memcpy(block.get(), data, size);
    const ImageView image(block.get(), size);
    const CharacterFile file(image);
    const BitmapInfo bi = file.ReadBitmapInfo(0);
    const int px = size >= 2 ? block[size - 2] - 128 : 0;
    const int py = size >= 2 ? block[size - 1] - 128 : 0;
    const std::size_t bitsAt[] = {file.PixelBitsOffset(0, bi), 40, size};
    const int positions[][2] = {{0, 0}, {px, py}, {0xFFF0, 0}, {-5, -3}};
    SoftCanvas canvas(48, 32, 0x010203);
    for (std::size_t bits : bitsAt)
        for (const auto& p : positions)
            canvas.DrawDib(p[0], p[1], DibRef{block.get(), size, 0, bits});
    volatile Color sink = canvas.Pixel(7, 7);
    (void)sink;
    return 0;
}
