// libFuzzer target: the mask run expansion and the shape builder on arbitrary bytes. The input
// is a BITMAPINFOHEADER with whatever follows it; the first two bytes also give a destination
// length for a plain expansion of the rest. Invariants: the expansion never writes past its
// destination, and every rectangle of a shape lies inside the mask's width and height.
#include "chardata/DataFile.h"
#include "chardata/MaskRgn.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kp;
    // A block of exactly the input's size, so that the sanitizer sees a read one past the end.
    std::unique_ptr<BYTE[]> block(size ? new BYTE[size] : nullptr);
    if (size)
        std::memcpy(block.get(), data, size);
    const ImageView image(block.get(), size);

    if (size >= 2) {
        const std::size_t destLen = block[0] | (block[1] << 8);
        std::vector<BYTE> dest(destLen + 1, 0xA5);
        const std::size_t n = ExpandMaskRuns(dest.data(), destLen, block.get() + 2, size - 2);
        if (n > destLen || dest[destLen] != 0xA5)
            std::abort();
    }

    const CharacterFile file(image);
    bool ok = true;
    const BitmapInfo bi = file.ReadBitmapInfo(0, &ok);
    if (!ok)
        return 0;
    const std::size_t bits[] = {file.PixelBitsOffset(0, bi), 40, size};
    for (std::size_t b : bits) {
        CMaskRgn m;
        const BOOL built = m.BuildFromBits(image, 0, b, bi.biWidth, bi.biHeight, bi.biBitCount);
        if ((built != FALSE) != m.HasRegion() || m.Region().IsEmpty() == m.HasRegion())
            std::abort();
        for (const Rect& r : m.Region().Rects())
            if (r.IsEmpty() || r.left < 0 || r.top < 0 || r.right > bi.biWidth || r.bottom > bi.biHeight)
                std::abort();
    }
    return 0;
}
