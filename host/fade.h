#pragma once
// Fade-out after the loops: a linear ramp of the amplitude over the fade's
// frames, in integer arithmetic so that every build gives the same samples.
// Frame k of an F-frame fade (k from 0) is scaled by (F - k) / F, rounded
// towards zero; the first fade frame is untouched, the last is 1/F.

#include <cstdint>
#include <vector>

#include "host/sound_hub.h"

// Scales sample as frame k of an F-frame fade (0 <= k < F).
int32_t FadeSample(int32_t sample, uint64_t k, uint64_t fadeFrames);

// Passes frames on to next, applying the fade from frame startFrame on.
class FadeSink final : public FrameSink {
public:
    FadeSink(FrameSink* next, uint64_t startFrame, uint64_t fadeFrames);  // next: not owned
    void Take(const StereoFrame* frames, size_t count) override;

private:
    FrameSink* next;
    uint64_t start;
    uint64_t length;
    uint64_t seen = 0;  // frames passed on so far
    std::vector<StereoFrame> scratch;
};
