#include "bench/psg_bench_cases.h"

#include <cstdint>
#include <initializer_list>

#include "psg/psg_chip.h"

namespace {

void Write(std::initializer_list<uint32_t> bytes)
{
    for (const uint32_t b : bytes) {
        PsgWrite(0, b);
    }
}

}  // namespace

void PsgBenchSetUp(PsgBenchCase which)
{
    PsgReset(0, 3993600, 44100);
    PsgBuildLevels(0, 40);
    switch (which) {
    case PsgBenchCase::kSilent:
        break;
    case PsgBenchCase::kShortestTone:
        Write({0x80, 0x90});
        break;
    case PsgBenchCase::kMusical:
        Write({0x8E, 0x0F, 0x90, 0xAE, 0x0B, 0xB2, 0xCF, 0x07, 0xD4, 0xE5, 0xF6});
        break;
    case PsgBenchCase::kWhiteNoise:
        Write({0xE4, 0xF0});
        break;
    }
}
