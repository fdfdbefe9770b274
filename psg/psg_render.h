#pragma once
// Private to psg/: the pieces the renderer's two files share. Nothing outside
// psg/ includes this header; the rest of the program renders through
// PsgRender (psg/psg_chip.h).

#include <cstdint>

#include "psg/psg_chip.h"

namespace psg_render {

constexpr uint32_t kUnits = static_cast<uint32_t>(kFrameUnits);

inline uint32_t Min(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

// All ones when b, else 0: selects without a branch.
inline uint32_t Mask(bool b)
{
    return 0u - static_cast<uint32_t>(b);
}

// A tone with a half-period shorter than a frame. Its whole periods within a
// frame add a fixed on-time and leave its phase alone, so a frame comes down
// to those plus a rest shorter than one full period. Once the tone is in
// step (its next toggle at most a half-period away) its state is a phase:
// 0 to half - 1 in the on half, half to full - 1 in the off half.
struct FastTone {
    int channel;
    uint32_t amplitude;
    uint32_t half;     // half-period
    uint32_t full;     // full period, two toggles
    uint32_t rest;     // frame length modulo the full period
    uint32_t wholeOn;  // on-time of the whole periods in a frame
    bool inStep;
    uint32_t due;      // before it is in step, as in SlowChannels
    uint32_t output;
    uint32_t phase;    // once in step
};


// Noise that shifts more often than once a frame.
struct FastNoise {
    uint32_t amplitude;  // 0: none
    uint32_t period;
    uint32_t due;
    uint32_t output;
    uint32_t lfsr;
    uint32_t taps;
    const uint32_t* shiftTable;  // null: shift one by one
    uint32_t whole;              // whole periods in a frame
    uint32_t rest;               // frame length modulo the period
};

FastTone MakeFastTone(int channel, uint32_t amplitude, uint32_t period, uint32_t due, uint32_t output);
// Adds the tone's amplitude times its on-time to the sums of frames first
// to first + count - 1.
void AddFastTone(FastTone& t, uint32_t* sums, uint32_t first, uint32_t count);
// The tone's output bit after the call that ends at callEnd; due becomes its
// next toggle as a time from the call's start.
uint32_t FastToneOutput(const FastTone& t, uint32_t callEnd, uint32_t& due);

FastNoise MakeFastNoise(uint32_t amplitude, uint32_t period, uint32_t due, uint32_t output, uint32_t lfsr,
                        uint32_t taps);
// Adds the noise's amplitude times its on-time to the sums of frames first
// to first + count - 1.
void AddFastNoise(FastNoise& n, uint32_t* sums, uint32_t first, uint32_t count);

// One call of 1 to kMaxRenderFrames frames.
void RenderCall(PsgChip& c, StereoFrame* frames, uint32_t count);

}  // namespace psg_render
