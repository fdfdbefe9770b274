#pragma once
// A step on the way from the hub to the sinks that changes the frames: the
// fade, the clean path's resampler. A stage may hand on more or fewer frames
// than it takes (a rate change) and may hold some back, which it hands on
// when flushed at the end.

#include <span>

#include "contract/stereo_frame.h"

class FrameStage {
public:
    virtual ~FrameStage() = default;
    // The frames to hand on for frames: frames itself, or the stage's own
    // buffer, valid until its next call.
    virtual std::span<const StereoFrame> Process(std::span<const StereoFrame> frames) = 0;
    // No more frames come: what the stage still holds.
    virtual std::span<const StereoFrame> Flush() { return {}; }
    // The song starts again (a seek back): the stage as it was made.
    virtual void Restart() = 0;
};
