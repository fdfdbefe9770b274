#pragma once
// Real music as the chip core sees it: each VGM of a directory is played by
// the reference host's player into a recording device, which keeps the
// device's calls into the chips (resets, writes, and renders of the sizes
// the host mixes in). Replaying them drives the chips natively, with either
// renderer.

#include <cstdint>
#include <string>
#include <vector>

#include "bench/psg_bench_cases.h"

// One call of the device into the chips.
struct ReplayStep {
    enum class Kind : uint8_t { Reset, Write, Mix };
    Kind kind;
    uint8_t chip;    // Write
    uint8_t value;   // Write: the byte in the chip's bit order
    int32_t amount;  // Reset: the rate in Hz; Mix: frames, at most kMaxRenderFrames
};

struct Song {
    std::string name;
    std::vector<ReplayStep> steps;
    int chips = 1;            // chips the song writes: 1, or 2 for dual-chip files
    uint64_t frames = 0;      // output frames, per chip
    uint64_t mixCalls = 0;    // Mix calls, each rendering every used chip
};

// Plays every .vgm and .vgz of dir (sorted by name) through the host's
// player at 44100 Hz. Files the host refuses are reported in errors and left
// out; an absent directory gives no songs.
std::vector<Song> LoadCorpus(const std::string& dir, std::vector<std::string>* errors);

// Runs the song's calls on the chips; renders only the chips the song uses,
// into a buffer laid out as the host's mixing block.
void ReplaySong(const Song& song, PsgRenderer renderer);
