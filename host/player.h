#pragma once
// The player: makes the module calls a planned song asks for, each at its
// emulated time. Port writes go through the bus; time goes through the hub,
// which mixes the device and hands the frames on. Shared by both front ends.

#include <cstdint>

#include "contract/port_protocol.h"
#include "host/play_plan.h"
#include "host/port_bus.h"
#include "host/port_script.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"

constexpr uint32_t kMixBlockFrames = 1024;  // the hub mixes at least this often during VGM playback

// Asked after every hand-over of frames whether playback goes on (the live
// player says no on q, Ctrl-C or a failed output).
class PlayControl {
public:
    virtual bool GoOn() = 0;

protected:
    ~PlayControl() = default;
};

// The byte to write to a chip port so that the chip sees value: the device
// reverses the bit order of what reaches its ports.
constexpr uint8_t PortByteFor(uint8_t value)
{
    return BitReverse(value);
}

// Plays a planned song: the hub's sources get the chip rate (the writer
// hears of the reset), then every write goes through the writer at its
// moment, its time counted from the hub's present, and the hub mixes at least every
// kMixBlockFrames frames. A planned fade keeps the looped part playing until
// the fade's end. True at the end, with everything handed on; false when
// control (null: none) ended it early, and nothing more is rendered.
bool PlayVgm(const VgmSong& song, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control);

// Plays a script: rate lines set the sources' rate, out lines go through the
// bus, each mix line is one Mix call per source and hands its frames on.
bool PlayScript(const PortScript& script, const PlayPlan& plan, PortWriter& bus, SoundHub& hub,
                PlayControl* control);
