// PsgRender cost per chip-frame at 44100 Hz, rendered in calls of 735
// frames (one 60 Hz video frame of audio), as a host mixes.
#include <benchmark/benchmark.h>


#include "bench/psg_bench_cases.h"
#include "psg/psg_chip.h"

namespace {

constexpr int32_t kFramesPerCall = 735;

StereoFrame frames[kFramesPerCall];

void RenderCase(benchmark::State& state, PsgBenchCase which)
{
    PsgBenchSetUp(which);
    for (auto _ : state) {
        PsgRender(0, frames, kFramesPerCall);
        benchmark::DoNotOptimize(frames);
        benchmark::ClobberMemory();
    }
    // items/s is chip-frames per second; per_frame is its inverse (CPU time).
    state.SetItemsProcessed(state.iterations() * kFramesPerCall);
    state.counters["per_frame"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFramesPerCall,
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK_CAPTURE(RenderCase, Silent, PsgBenchCase::kSilent);
BENCHMARK_CAPTURE(RenderCase, ShortestTone, PsgBenchCase::kShortestTone);
BENCHMARK_CAPTURE(RenderCase, Musical, PsgBenchCase::kMusical);
BENCHMARK_CAPTURE(RenderCase, WhiteNoiseRate0, PsgBenchCase::kWhiteNoise);

BENCHMARK_MAIN();
