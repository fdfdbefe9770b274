#pragma once
// What a run will do, worked out before it starts: the output rate, the
// chips' rate, the rate their frames stand for, the length and the fade. A
// song that cannot be played as asked fails here, before any output is made.

#include <cstdint>
#include <string>

#include "contract/port_protocol.h"
#include "host/port_script.h"
#include "host/result.h"
#include "host/vgm_reader.h"

// Output rates the reference host offers: a choice of its own, well inside
// what the chips count with (kMinChipRateHz to kMaxChipRateHz).
constexpr int32_t kMinHostRateHz = 1000;
constexpr int32_t kMaxHostRateHz = 768000;
static_assert(kMinHostRateHz >= kMinChipRateHz && kMaxHostRateHz <= kMaxChipRateHz, "rates the chips count with");

// Rendering work per second of audio grows with the VGM's clock under the
// pitch fix; real SN76489 clocks stay below 4.5 MHz.
constexpr uint32_t kMaxPitchFixClockHz = 10000000;
constexpr double kMaxHoursLimit = 10000;  // the largest --max-hours

// The chips' own tick rate: 16 clocks per tick, so the timing step is
// exactly one frame and every edge falls on a frame boundary.
constexpr int32_t kTickRateHz = kChipClockHz / 16;
static_assert(kTickRateHz * 16 == kChipClockHz, "a whole number of ticks per second");

// Frames per second as a fraction, numerator / denominator: what one second
// of a song is worth in the module's frames (a VGM logged at clock C, played
// at the tick rate: C / 16, 223721.5625 for 3579545 Hz).
struct FrameRate {
    uint64_t numerator = 44100;
    uint32_t denominator = 1;

    double Hz() const { return static_cast<double>(numerator) / denominator; }
};

// "223721.5625": the rate in Hz, with as many decimals as it has (at most 6).
std::string FormatFrameRate(FrameRate rate);

// count x multiplier / divisor, rounded down, without overflow for every
// count, multiplier and divisor below 2^32 whose result fits in 64 bits.
uint64_t ScaleFrames(uint64_t count, uint64_t multiplier, uint64_t divisor);

struct PlayOptions {
    int32_t rateHz = 44100;  // host output rate: WAV rate, frames per second of VGM time
    uint32_t loops = 1;      // times the looped part of a VGM plays in all
    bool pitchFix = true;    // chip rate from the VGM's clock, so pitch and tempo stay right
    double maxHours = 24;    // longer renders are refused
    uint32_t fadeMs = 0;     // looped VGMs: fade-out played after the loops; 0: none
    bool clean = false;      // VGM: the chips at the tick rate, resampled to rateHz
};

// Frames below are the module's, at frameRate, unless they say otherwise.
struct PlayPlan {
    int32_t hostRateHz = 0;       // output rate: the WAV's and the sound output's
    int32_t chipRateHz = 0;       // the rate the device is given
    FrameRate frameRate;          // the module's frames per second of song time
    bool resampled = false;       // a resampler takes frameRate to hostRateHz
    uint32_t passes = 1;          // VGM: times the looped part plays before the fade
    uint64_t totalFrames = 0;     // fade included
    uint64_t outputFrames = 0;    // at hostRateHz: totalFrames, or what the resampler makes of them
    uint64_t fadeStartFrame = 0;
    uint64_t fadeFrames = 0;      // 0: no fade
    unsigned rateChangeLine = 0;  // script: line where the output's rate changes; 0: it never does
};

// Chip rate that plays a VGM logged at clockHz at the right pitch while the
// host advances hostRateHz frames per second: hostRateHz x 3993600 / clockHz, rounded.
int64_t PitchFixedRate(int32_t hostRateHz, uint32_t clockHz);

// The frame at rate at which a VGM sample time falls, rounded down.
uint64_t FrameAtSample(uint64_t sample, FrameRate rate);

// True when the song has a looped part that can play again.
bool Loops(const VgmSong& song);

// A failure, saying why, when the song cannot be played as asked: a rate
// outside the host's range, a clock beyond the pitch fix, a render longer
// than options.maxHours. options.clean takes the same songs as the exact
// path and gives as many output frames.
Result PlanVgm(const VgmSong& song, const PlayOptions& options, PlayPlan* plan);
// A script's own rate line wins over options.rateHz.
Result PlanScript(const PortScript& script, const PlayOptions& options, PlayPlan* plan);
