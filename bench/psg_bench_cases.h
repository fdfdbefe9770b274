#pragma once
// The chip set-ups and the two renderers that the benchmark and the
// instruction-count runs share.

#include <cstdint>
#include <vector>

#include "psg/psg_chip.h"

enum class PsgBenchCase {
    kSilent,        // reset state: every channel held
    kShortestTone,  // tone 0 at period register 0 (one step), full amplitude
    kMusical,       // tones at registers 254, 190, 127, white noise at shift rate 1
    kWhiteNoise,    // white noise alone at shift rate 0
    kWorstCase,     // three tones at period register 1, white noise at shift rate 0, all full
};
constexpr int kBenchCaseCount = 5;

// The event-based PsgRender, and the per-frame reference renderer it replaced.
enum class PsgRenderer { kEventBased, kPerFrame };

// The benchmarks' own two chip records.
PsgChip& BenchChip(int chip);

// The case's bytes in the chip's bit order, written after a reset.
std::vector<uint8_t> PsgBenchBytes(PsgBenchCase which);

// Resets chip 0 at 44100 Hz with the default volume and writes the case.
void PsgBenchSetUp(PsgBenchCase which);

// PsgRender, or the reference renderer on the same chip record.
void PsgRenderWith(PsgRenderer renderer, int chip, StereoFrame* frames, int32_t count);

const char* PsgBenchCaseName(PsgBenchCase which);
const char* PsgRendererName(PsgRenderer renderer);
