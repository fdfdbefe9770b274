#pragma once
// One frame of the host's mixing buffer, as a 32-bit host lays it out. Part
// of the host contract; standard headers only, so the chip core renders
// straight into it.

#include <cstddef>
#include <cstdint>

// Sources add into frames, never overwrite.
struct StereoFrame {
    int32_t left;
    int32_t right;
};
static_assert(sizeof(StereoFrame) == 8 && offsetof(StereoFrame, left) == 0 && offsetof(StereoFrame, right) == 4,
              "host buffer layout");
