#pragma once
// SN76489-family sound generator: register decoding, reset, level table and
// exact on-time rendering, on a chip record the caller owns. Portable C++:
// integers only outside reset and the level table, no allocation, no
// platform headers. The device's two records are in psg/psg_pair.h.

#include <cstdint>

#include "contract/stereo_frame.h"

// Amplitude per 4-bit attenuation value; entry 15 is always 0 (off).
struct LevelTable {
    int32_t level[16];
};

// The state of one chip. Times are in 1/65536 of an output frame.
struct PsgChip {
    int32_t sampleRate;   // Hz; step was derived from it
    int32_t step;         // 16 chip clocks, in 1/65536 of an output frame
    LevelTable levels;    // amplitude per attenuation value
    int32_t regs[8];      // register file as written
    int32_t latched;      // register named by the last latch byte
    int32_t amplitude[4]; // what each channel sounds with, 0 to kFullScale
    uint32_t lfsr;        // noise shift register
    uint32_t noiseTaps;   // feedback mask of the noise shift register
    int32_t period[4];    // tone half-period / time between noise shifts
    int32_t counter[4];   // next frame start to the channel's next event
    int32_t output[4];    // current output bit, 0 or 1

    // What rendering derives from the fields above, kept in step by
    // PsgReset and PsgWrite so that a render call starts without working it
    // out again. Rendering reads these and never writes them.
    uint32_t sounding;       // bit i: amplitude[i] is not 0, on a chip that has been reset
    uint32_t fast;           // bit i: period[i] is shorter than a frame
    int32_t loudness;        // sum of the amplitudes; above 32767 a frame's value can saturate
    int32_t wholeCycles[4];  // for channels shorter than a frame: whole cycles (tones: two
                             // half-periods) in one frame; 0 otherwise
    int32_t cycleRest[4];    // and the frame's length modulo that cycle
    uint32_t noiseKind;      // the taps as a table index: kNoTaps, kWhiteTaps or kPeriodicTaps
};

// noiseKind values: what the noise register's taps are.
constexpr uint32_t kNoTaps = 0;  // as at load, before the first noise-control write
constexpr uint32_t kWhiteTaps = 1;
constexpr uint32_t kPeriodicTaps = 2;

constexpr int kFrameShift = 16;                    // times: 2^16 units per output frame
constexpr int32_t kFrameUnits = 1 << kFrameShift;  // one output frame
constexpr int32_t kFullScale = 32767 / 3;          // loudest amplitude, 10922: a third of 16-bit full scale
constexpr int32_t kMaxRenderFrames = 16383;        // 2^14 - 1: a call's span plus the longest period,
                                                   // 2046 * kMaxStep, stays in 32 bits
constexpr int32_t kMaxStep = (INT32_MAX - kFrameUnits) / 2046;  // 1049568: 2046 * step + one frame fits 31 bits
constexpr uint32_t kNoiseSeed = 0xF35;             // the shift register after reset
constexpr uint32_t kWhiteNoiseTaps = 0x14002;      // feedback taps >> 1 = 0xA001: bits 15, 13 and 0
constexpr uint32_t kPeriodicNoiseTaps = 0x8000;    // feedback taps >> 1 = 0x4000: bit 14 alone
static_assert(kMaxStep == 1049568 && kFullScale == 10922, "the values the chip was measured with");

// The timing step for a clock and output rate: rate * 65536 * 16 / clock,
// truncated. Values beyond the 32-bit range saturate instead of overflowing.
int32_t PsgStepFor(int32_t clockHz, int32_t rateHz);

// Puts the chip into its reset state and derives its timing step. Keeps
// levels and noiseTaps. Needs a rate whose step is 1 to kMaxStep.
void PsgReset(PsgChip& chip, int32_t clockHz, int32_t rateHz);

// Rebuilds the level table for a gain in 0.2 dB units; only the low 8 bits
// of the gain count. Channel amplitudes change at their next attenuation write.
void PsgBuildLevels(PsgChip& chip, int32_t gain);

// Decodes one byte in the chip's bit order. Counters are left alone, so a
// new period starts when the running count-down ends.
void PsgWrite(PsgChip& chip, uint32_t value);

// Adds count frames of the chip's output into frames (left and right alike).
// A count of 0 or less does nothing. A count above kMaxRenderFrames renders
// as consecutive calls of at most kMaxRenderFrames frames each.
// The add into the host's samples wraps in two's complement rather than
// overflowing, whatever the buffer held before.
void PsgRender(PsgChip& chip, StereoFrame* frames, int32_t count);

// Adds both chips' output into the same frames in one pass over them: the
// frames and both records end exactly as PsgRender of first and then of
// second would leave them, piece by piece for counts above kMaxRenderFrames.
// The two records must be distinct.
void PsgRenderPair(PsgChip& first, PsgChip& second, StereoFrame* frames, int32_t count);
