// libFuzzer target: the interpreter on arbitrary scripts. The input's first byte chooses the
// format version (the string forms), the second where the rest is split into two patterns; the
// character around them has picture, mask and palette cells and an embedded sound, and it runs
// headless for a short virtual time with clicks, so pattern starts, click entries, fonts,
// shapes and every limit are reached.
#include "Builder.h"

#include "sim/HeadlessRunner.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kp;
    if (size < 2)
        return 0;
    build::Character c;
    c.version = (data[0] & 1) ? 301 : 300;
    c.cells.push_back(build::SolidCell8(4, 4, 1));
    c.cells.push_back(build::MaskCell1({"0110", "1001"}));
    c.cells.push_back(build::Cell4({"0123", "4567"}));
    c.sounds.push_back(build::MakeWave({1, 2, 3, 4}));
    const std::size_t rest = size - 2;
    const std::size_t split = rest ? data[1] % (rest + 1) : 0;
    build::Pattern a;
    a.raw = build::Bytes(data + 2, data + 2 + split);
    build::Pattern b;
    b.raw = build::Bytes(data + 2 + split, data + size);
    // The loader wants each pattern's name instruction inside the file: an empty record gets one.
    for (build::Pattern* p : {&a, &b})
        if (p->raw->size() < 4)
            p->raw->insert(p->raw->begin(), {3, 1, 0, 0});
    c.patterns = {a, b};

    sim::RunOptions options;
    options.duration = 300;
    options.seed = data[0];
    options.clicks = {25, 150};
    options.cursor = Point{-3, 2};
    options.autoAnimation = (data[0] & 2) != 0;
    sim::HeadlessRunner runner([](unsigned, const std::string&) {});
    if (runner.Load(build::BuildCharacter(c), options))
        runner.Run();
    return 0;
}
