#include "bench/psg_bench_cases.h"


#include "psg/psg_chip.h"
#include "tests/support/reference_render.h"

namespace {

PsgChip benchChips[2];

}  // namespace

PsgChip& BenchChip(int chip)
{
    return benchChips[chip];
}

std::vector<uint8_t> PsgBenchBytes(PsgBenchCase which)
{
    switch (which) {
    case PsgBenchCase::kSilent:
        return {};
    case PsgBenchCase::kShortestTone:
        return {0x80, 0x90};
    case PsgBenchCase::kMusical:
        return {0x8E, 0x0F, 0x90, 0xAE, 0x0B, 0xB2, 0xCF, 0x07, 0xD4, 0xE5, 0xF6};
    case PsgBenchCase::kWhiteNoise:
        return {0xE4, 0xF0};
    case PsgBenchCase::kWorstCase:
        return {0x81, 0x00, 0x90, 0xA1, 0x00, 0xB0, 0xC1, 0x00, 0xD0, 0xE4, 0xF0};
    }
    return {};
}

void PsgBenchSetUp(PsgBenchCase which)
{
    PsgReset(BenchChip(0), 3993600, 44100);
    PsgBuildLevels(BenchChip(0), 40);
    for (const uint8_t b : PsgBenchBytes(which)) {
        PsgWrite(BenchChip(0), b);
    }
}

void PsgRenderWith(PsgRenderer renderer, int chip, StereoFrame* frames, int32_t count)
{
    if (renderer == PsgRenderer::kEventBased) {
        PsgRender(BenchChip(chip), frames, count);
    } else {
        ReferenceRender(BenchChip(chip), frames, count);
    }
}

const char* PsgBenchCaseName(PsgBenchCase which)
{
    switch (which) {
    case PsgBenchCase::kSilent:
        return "Silent";
    case PsgBenchCase::kShortestTone:
        return "ShortestTone";
    case PsgBenchCase::kMusical:
        return "Musical";
    case PsgBenchCase::kWhiteNoise:
        return "WhiteNoiseRate0";
    case PsgBenchCase::kWorstCase:
        return "WorstCase";
    }
    return "?";
}

const char* PsgRendererName(PsgRenderer renderer)
{
    return renderer == PsgRenderer::kEventBased ? "EventBased" : "PerFrame";
}
