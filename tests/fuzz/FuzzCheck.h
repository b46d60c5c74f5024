// The body of a libFuzzer target around one check of InputChecks.h or SourceCheck.h: the check
// runs on every input (libFuzzer hands it over in a block of exactly its size, so a read past
// the end is a sanitizer report), and a broken invariant aborts with what broke.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define KP_FUZZ_CHECK(check)                                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {                      \
        const std::string broken = check(data, size);                                                        \
        if (!broken.empty()) {                                                                               \
            std::fprintf(stderr, "%s: %s\n", #check, broken.c_str());                                        \
            std::abort();                                                                                    \
        }                                                                                                    \
        return 0;                                                                                            \
    }
