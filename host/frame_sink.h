#pragma once
// Where finished frames go: sinks of the exact 32-bit frames (the raw file,
// the meter) and sinks of 16-bit frames (the WAV file, the sound output),
// which the frame chain saturates once for all of them.

#include <cstdint>
#include <span>

#include "contract/stereo_frame.h"

// One frame as 16-bit outputs take it: left then right.
struct PcmFrame {
    int16_t left;
    int16_t right;
};
static_assert(sizeof(PcmFrame) == 4, "16-bit stereo, as the sound systems take it");

// A sample of the host's mix in 16 bits: saturated, never wrapped.
inline int16_t SaturateSample(int32_t value)
{
    return static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
}

// Every frame saturated: out[k] from frames[k]. Four frames in a handful of
// instructions where SSE2 is there (both builds), since every frame of a
// run passes here.
void SaturateFrames(std::span<const StereoFrame> frames, PcmFrame* out);

// The largest and the smallest of 0 and every sample of frames, left and
// right alike, after saturation: the exact ones while neither is at a rail.
struct SampleRange {
    int16_t high;
    int16_t low;
};
SampleRange SaturatedRange(std::span<const StereoFrame> frames);

class FrameSink {
public:
    // The frames are the sink's to read during the call only.
    virtual void Take(std::span<const StereoFrame> frames) = 0;

protected:
    ~FrameSink() = default;
};

class PcmSink {
public:
    virtual void Take(std::span<const PcmFrame> frames) = 0;

protected:
    ~PcmSink() = default;
};
