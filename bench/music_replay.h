#pragma once
// Real music as the host and the chip core see it: each VGM of a directory
// is played by the reference host's player into the real device, and both
// sides of the device are kept: the host's calls into it (rate, port writes,
// Mix sizes) and the device's calls into the chips (the tests' chip stand-in
// logs them). Replaying the first drives the device again; replaying the
// second drives the chips alone, with either renderer.

#include <cstdint>
#include <string>
#include <vector>

#include "bench/psg_bench_cases.h"

// One call of the host into the device, as its bus and hub made it.
struct HostCall {
    enum class Kind : uint8_t { Rate, Port, Mix };
    Kind kind;
    uint8_t handler;  // Port: the slot of the device's output table the bus called
    uint32_t port;    // Port
    int32_t value;    // Rate: Hz; Port: the data; Mix: frames
};

// One call of the device into a chip.
struct ChipCall {
    enum class Kind : uint8_t { Reset, Levels, Write, Render };
    Kind kind;
    uint8_t chip;    // all but Render, which is of both chips
    int32_t amount;  // Reset: clock Hz; Levels: gain; Write: the byte; Render: frames
    int32_t rateHz;  // Reset
};

struct Song {
    std::string name;
    std::vector<HostCall> hostCalls;
    std::vector<ChipCall> chipCalls;
    int chips = 1;            // chips the song writes: 1, or 2 for dual-chip files
    uint64_t frames = 0;      // output frames, per chip
    uint64_t mixCalls = 0;    // Mix calls, each rendering every used chip
};

// Plays every .vgm and .vgz of dir (sorted by name) through the host's
// player at 44100 Hz. Files the host refuses are reported in errors and left
// out; an absent directory gives no songs.
std::vector<Song> LoadCorpus(const std::string& dir, std::vector<std::string>* errors);

// Runs the song's chip calls on the bench records; renders only the chips
// the song uses, at most kMaxRenderFrames a call, into a buffer laid out as
// the host's mixing block.
void ReplaySong(const Song& song, PsgRenderer renderer);
