#pragma once
// Fade-out after the loops: a linear ramp of the amplitude over the fade's
// frames, in integer arithmetic so that every build gives the same samples.
// Frame k of an F-frame fade (k from 0) is scaled by (F - k) / F, rounded
// towards zero; the first fade frame is untouched, the last is 1/F.

#include <cstdint>
#include <vector>

#include "host/frame_stage.h"

// Scales sample as frame k of an F-frame fade (0 <= k < F).
int32_t FadeSample(int32_t sample, uint64_t k, uint64_t fadeFrames);

// Frames before startFrame pass as they are; from there the ramp, and
// silence after its end (where playback stops). No fade frames: a pass-through.
class FadeStage final : public FrameStage {
public:
    FadeStage(uint64_t startFrame, uint64_t fadeFrames);
    std::span<const StereoFrame> Process(std::span<const StereoFrame> frames) override;
    void Restart() override { seen = 0; }

private:
    uint64_t start;
    uint64_t length;
    uint64_t seen = 0;  // frames taken so far
    std::vector<StereoFrame> faded;
};
