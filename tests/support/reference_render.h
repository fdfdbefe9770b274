#pragma once
// The straightforward renderer: every frame runs each channel's count-down
// and on-time, then the mix. Kept beside the tests as the oracle that the
// event-based PsgRender must match bit for bit; the benchmarks also time it.

#include <cstdint>

#include "psg/psg_chip.h"

// Adds count frames of chip's output into frames and advances chip's
// counters, outputs and shift register exactly as PsgRender does. Same
// contract: nothing for a count of 0 or less, at most kMaxRenderFrames.
void ReferenceRender(PsgChip& chip, StereoFrame* frames, int32_t count);
