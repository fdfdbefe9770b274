#pragma once
// Playback: drives the port bus and the sound hub from a VGM song or a port
// script, in emulated time. Shared by both front ends.

#include <cstdint>
#include <string>

#include "contract/port_protocol.h"
#include "host/port_bus.h"
#include "host/port_script.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"

// Output rates the reference host offers: a choice of its own, well inside
// what the chips count with (kMinChipRateHz to kMaxChipRateHz).
constexpr int32_t kMinHostRateHz = 1000;
constexpr int32_t kMaxHostRateHz = 768000;
static_assert(kMinHostRateHz >= kMinChipRateHz && kMaxHostRateHz <= kMaxChipRateHz, "rates the chips count with");

constexpr uint32_t kMixBlockFrames = 1024;  // the hub mixes at least this often during VGM playback
// Rendering work per second of audio grows with the VGM's clock under the
// pitch fix; real SN76489 clocks stay below 4.5 MHz.
constexpr uint32_t kMaxPitchFixClockHz = 10000000;

struct PlayOptions {
    int32_t rateHz = 44100;  // host output rate: WAV rate, frames per second of VGM time
    uint32_t loops = 1;      // times the looped part of a VGM plays in all
    bool pitchFix = true;    // chip rate from the VGM's clock, so pitch and tempo stay right
    double maxHours = 24;    // longer renders are refused
    uint32_t fadeMs = 0;     // looped VGMs: fade-out played after the loops; 0: none
};

// What a run will do, known before it starts.
struct PlayPlan {
    int32_t hostRateHz = 0;  // WAV rate
    int32_t chipRateHz = 0;  // the rate the device is given
    uint64_t totalFrames = 0;    // fade included
    uint64_t fadeStartFrame = 0;
    uint64_t fadeFrames = 0;     // 0: no fade
    unsigned rateChangeLine = 0; // script: line where the output's rate changes; 0: it never does
};

// Chip rate that plays a VGM logged at clockHz at the right pitch while the
// host advances hostRateHz frames per second: hostRateHz x 3993600 / clockHz, rounded.
int64_t PitchFixedRate(int32_t hostRateHz, uint32_t clockHz);

// Output frame at which a VGM sample time falls.
uint64_t FrameAtSample(uint64_t sample, int32_t hostRateHz);

// Checks rate, pitch and length limits; false with a message when the song
// cannot be played as asked.
bool PlanVgm(const VgmSong& song, const PlayOptions& options, PlayPlan* plan, std::string* error);
bool PlanScript(const PortScript& script, const PlayOptions& options, PlayPlan* plan, std::string* error);

// Plays a planned song: the hub's sources get the chip rate, then every
// write goes through the bus at its moment, and the hub mixes at least every
// kMixBlockFrames frames. A planned fade keeps the looped part playing until
// the fade's end. Ends with everything handed to the hub's sink.
void PlayVgm(const VgmSong& song, const PlayOptions& options, const PlayPlan& plan, PortBus& bus, SoundHub& hub);

// Plays a script: rate lines set the sources' rate, out lines go through the
// bus, each mix line is one Mix call per source and hands its frames on.
void PlayScript(const PortScript& script, const PlayPlan& plan, PortBus& bus, SoundHub& hub);

// The byte to write to a chip port so that the chip sees value: the device
// reverses the bit order of what reaches its ports.
constexpr uint8_t PortByteFor(uint8_t value)
{
    return BitReverse(value);
}
