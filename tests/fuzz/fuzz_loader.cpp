// libFuzzer target: the load verdict and, for files that pass it, every view accessor
// (tests/fuzz/ExerciseImage.h). Built with -fsanitize=fuzzer,address,undefined when KP_FUZZ is
// on; run by tests/fuzz/run_fuzzers.sh with tests/fuzz/corpus/fuzz_loader and the crashers as
// seeds.
#include "ExerciseImage.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A block of exactly the input's size, as the loader holds it, so that the sanitizer sees a
    // read one past the end.
    std::unique_ptr<kp::BYTE[]> block(size ? new kp::BYTE[size] : nullptr);
    if (size)
        std::memcpy(block.get(), data, size);
    volatile std::uint32_t sink = kp::fuzz::ExerciseImage(block.get(), size).checksum;
    (void)sink;
    return 0;
}
