#pragma once
// What a run will do, worked out before it starts: the output rate, the
// chips' rate, the length and the fade. A song that cannot be played as
// asked fails here, before any output is made.

#include <cstdint>

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

struct PlayOptions {
    int32_t rateHz = 44100;  // host output rate: WAV rate, frames per second of VGM time
    uint32_t loops = 1;      // times the looped part of a VGM plays in all
    bool pitchFix = true;    // chip rate from the VGM's clock, so pitch and tempo stay right
    double maxHours = 24;    // longer renders are refused
    uint32_t fadeMs = 0;     // looped VGMs: fade-out played after the loops; 0: none
};

struct PlayPlan {
    int32_t hostRateHz = 0;       // WAV rate
    int32_t chipRateHz = 0;       // the rate the device is given
    uint32_t passes = 1;          // VGM: times the looped part plays before the fade
    uint64_t totalFrames = 0;     // fade included
    uint64_t fadeStartFrame = 0;
    uint64_t fadeFrames = 0;      // 0: no fade
    unsigned rateChangeLine = 0;  // script: line where the output's rate changes; 0: it never does
};

// Chip rate that plays a VGM logged at clockHz at the right pitch while the
// host advances hostRateHz frames per second: hostRateHz x 3993600 / clockHz, rounded.
int64_t PitchFixedRate(int32_t hostRateHz, uint32_t clockHz);

// Output frame at which a VGM sample time falls.
uint64_t FrameAtSample(uint64_t sample, int32_t hostRateHz);

// True when the song has a looped part that can play again.
bool Loops(const VgmSong& song);

// A failure, saying why, when the song cannot be played as asked: a rate
// outside the host's range, a clock beyond the pitch fix, a render longer
// than options.maxHours.
Result PlanVgm(const VgmSong& song, const PlayOptions& options, PlayPlan* plan);
// A script's own rate line wins over options.rateHz.
Result PlanScript(const PortScript& script, const PlayOptions& options, PlayPlan* plan);
