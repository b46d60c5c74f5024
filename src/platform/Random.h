// The program's one random generator. It reproduces the Microsoft C runtime's srand/rand
// (a linear congruential generator, 15-bit results), so that every build and every platform
// draws the same numbers from the same seed.
#pragma once

#include <cstdint>

namespace kp {

class MsRand {
public:
    static constexpr int kMax = 0x7FFF;

    void Seed(std::uint32_t seed) { m_state = seed; }
    int Next() {
        m_state = m_state * 214013u + 2531011u;
        return static_cast<int>((m_state >> 16) & 0x7FFF);
    }

private:
    std::uint32_t m_state = 1; // the runtime's state before any srand
};

} // namespace kp
