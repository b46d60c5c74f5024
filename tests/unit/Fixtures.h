// Small characters for unit tests, made with the builder.
#pragma once

#include "Builder.h"

namespace kp::test {

// A character of `patterns` patterns, each waiting 100 ms in a loop, with one 8-bit cell.
inline build::Character BasicCharacter(WORD version = 300, int patterns = 3) {
    build::Character c;
    c.version = version;
    c.name = "Tester";
    c.cells.push_back(build::SolidCell8(32, 32, 7));
    for (int i = 0; i < patterns; ++i) {
        build::Pattern p;
        p.name = "Pattern " + std::to_string(i + 1);
        p.body = build::WaitLoopBody(100, build::NameRecordLength(p.name, version));
        c.patterns.push_back(p);
    }
    return c;
}

} // namespace kp::test
