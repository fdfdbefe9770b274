#pragma once
// The one pseudo-random generator of the tests, fuzz targets included:
// xorshift64*, a fixed stream per seed.

#include <cstdint>

#include "contract/stereo_frame.h"

class Random {
public:
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
    uint32_t Next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<uint32_t>((state * 0x2545F4914F6CDD1Dull) >> 32);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

private:
    uint64_t state;
};

// Frames as a host may hand them over to be added onto: anything, many of
// them near the top of the range, where the chips' add wraps.
inline void FillArbitraryFrames(StereoFrame* frames, int32_t count, Random& random)
{
    for (int32_t f = 0; f < count; ++f) {
        const uint32_t x = random.Next();
        frames[f].left = static_cast<int32_t>((x & 7u) == 0 ? 0x7FFFFFFFu - (x >> 20) : x);
        frames[f].right = static_cast<int32_t>(x ^ 0x80000000u);
    }
}
