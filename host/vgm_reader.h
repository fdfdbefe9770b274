#pragma once
// VGM reader: turns a VGM file (versions 1.00 to 1.71) into the writes and
// waits that concern the SN76489 chips. Every other command is checked and
// skipped by its documented length. The whole stream is read and checked
// before anything plays, so a bad file fails before any output is made.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/result.h"

constexpr uint32_t kVgmSampleRate = 44100;  // VGM time unit: samples per second
constexpr size_t kNoLoop = static_cast<size_t>(-1);

// One step of SN76489 playback. Waits are merged where nothing lies between.
struct VgmEvent {
    enum class Kind : uint8_t { Write, Wait };
    Kind kind;
    uint8_t chip;      // Write: 0 (command 0x50) or 1 (command 0x30, dual-chip files)
    uint8_t value;     // Write: the byte as the VGM holds it, in the chip's bit order
    uint32_t samples;  // Wait: VGM samples, at least 1
};

struct VgmSong {
    uint32_t version = 0;      // BCD, 0x171 for 1.71
    uint32_t snClockHz = 0;    // without the dual-chip and T6W28 flag bits
    bool dualChip = false;     // bit 30 of the clock field
    uint32_t dataStart = 0;    // file offset of the first command
    uint64_t gd3Offset = 0;    // file offset of the GD3 tag block as the header gives it; 0: none
    std::vector<VgmEvent> events;
    size_t loopEvent = kNoLoop;    // first event of the looped part
    uint64_t introSamples = 0;     // VGM samples before the loop point (all, without loop)
    uint64_t loopSamples = 0;      // VGM samples from the loop point to the end
    bool hasEndCommand = false;    // false: the data ran out without command 0x66
    uint64_t skippedCommands = 0;  // commands for other chips, data blocks and the like

    uint64_t TotalSamples() const { return introSamples + loopSamples; }
};

// Reads a VGM held in memory. A failure names the problem and where (without
// the file name), and song is not to be used then. Warnings (a missing end
// command, say) are appended to warnings, when given.
Result ParseVgm(const uint8_t* data, size_t size, VgmSong* song, std::vector<std::string>* warnings = nullptr);

// Samples the song plays for with its looped part played loops times in all
// (1: once through). Saturates instead of overflowing.
uint64_t VgmPlaySamples(const VgmSong& song, uint32_t loops);
