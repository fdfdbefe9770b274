// Renderer cost per chip-frame, the event-based PsgRender beside the
// per-frame reference renderer it replaced, in the same run:
//   Case/<set-up>/<renderer>: chip 0 at 44100 Hz in calls of 735 frames (one
//     60 Hz video frame of audio); WorstCase and Silent render 10 s per
//     iteration.
//   SilentCall/<frames>: one call on a silent chip, to show its cost does not
//     grow with the frame count.
//   Music/<file>/<renderer>, Music/Corpus/<renderer>: real music, replayed
//     as the reference host drives the chips (see music_replay.h).
//   Device/Speech: the speech shape through the device's Mix (see
//     device_workloads.h), both chips on every call; per_call and per_frame.
//   Device/SilentChip1/<frames>: the device's Mix with chip 0 at the musical
//     set-up and chip 1 silent, beside Chip0Alone/<frames>, the same chip 0
//     rendered by PsgRender alone: the gap is what the silent chip costs.
//   Device/Music/Corpus: the corpus through the device's Mix.
//   Clock: the machine's effective clock rate at the time of the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/device_workloads.h"
#include "bench/music_replay.h"
#include "bench/psg_bench_cases.h"
#include "psg/psg_chip.h"

namespace {

constexpr int32_t kFramesPerCall = 735;
constexpr int32_t kTenSecondsCalls = 600;  // 10 s at 44100 Hz

StereoFrame frames[kMaxRenderFrames];

void SetPerFrame(benchmark::State& state, double chipFramesPerIteration)
{
    const double chipFrames = static_cast<double>(state.iterations()) * chipFramesPerIteration;
    state.SetItemsProcessed(static_cast<int64_t>(chipFrames));
    // CPU time per chip-frame.
    state.counters["per_frame"] =
        benchmark::Counter(chipFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RenderCase(benchmark::State& state, PsgBenchCase which, PsgRenderer renderer)
{
    PsgBenchSetUp(which);
    const bool tenSeconds = which == PsgBenchCase::kWorstCase || which == PsgBenchCase::kSilent;
    const int32_t calls = tenSeconds ? kTenSecondsCalls : 1;
    for (auto _ : state) {
        for (int32_t i = 0; i < calls; ++i) {
            PsgRenderWith(renderer, 0, frames, kFramesPerCall);
            benchmark::ClobberMemory();
        }
        benchmark::DoNotOptimize(frames);
    }
    SetPerFrame(state, static_cast<double>(calls) * kFramesPerCall);
}

void SilentCall(benchmark::State& state)
{
    PsgBenchSetUp(PsgBenchCase::kSilent);
    const auto count = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        PsgRender(BenchChip(0), frames, count);
        benchmark::ClobberMemory();
    }
    state.counters["per_call"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void SetPerCall(benchmark::State& state, double callsPerIteration)
{
    state.counters["per_call"] = benchmark::Counter(static_cast<double>(state.iterations()) * callsPerIteration,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void DeviceSpeech(benchmark::State& state)
{
    constexpr int32_t kCalls = 1000;
    BenchDevice bench;
    SetUpSpeech(bench);
    for (auto _ : state) {
        RunSpeech(bench, kCalls, 0);
        benchmark::ClobberMemory();
    }
    SetPerCall(state, kCalls);
    SetPerFrame(state, kCalls * 5.5);
}

// Chip 0 at the musical set-up: on the device, with chip 1 silent beside
// it, or alone on a record of its own.
void SilentChip1(benchmark::State& state, bool onDevice)
{
    const auto count = static_cast<int32_t>(state.range(0));
    BenchDevice bench;
    PsgBenchSetUp(PsgBenchCase::kMusical);
    for (const uint8_t b : PsgBenchBytes(PsgBenchCase::kMusical)) {
        bench.WriteChip(0, b);
    }
    for (auto _ : state) {
        if (onDevice) {
            bench.device().Mix(frames, count);
        } else {
            PsgRender(BenchChip(0), frames, count);
        }
        benchmark::ClobberMemory();
    }
    SetPerCall(state, 1);
}

void DeviceMusic(benchmark::State& state, const std::vector<Song>* songs)
{
    BenchDevice bench;
    double chipFrames = 0;
    for (auto _ : state) {
        chipFrames = RunDeviceWorkload(bench, DeviceWorkload::kMusic, *songs).chipFrames;
        benchmark::ClobberMemory();
    }
    SetPerFrame(state, chipFrames);
}

void ReplaySongs(benchmark::State& state, const std::vector<Song>* songs, PsgRenderer renderer)
{
    double chipFrames = 0;
    for (const Song& s : *songs) {
        chipFrames += static_cast<double>(s.frames) * s.chips;
    }
    for (auto _ : state) {
        for (const Song& s : *songs) {
            ReplaySong(s, renderer);
        }
        benchmark::ClobberMemory();
    }
    SetPerFrame(state, chipFrames);
}

// A chain of dependent additions, one cycle each on current x86 cores, gives
// the clock rate the run had. A shared machine's speed changes from hour to
// hour; times divided by it (cycles) compare across runs.
void Clock(benchmark::State& state)
{
    constexpr int64_t kAdds = 1 << 20;
    uint64_t x = 0;
    uint64_t y = static_cast<uint64_t>(state.iterations()) | 1u;
    for (auto _ : state) {
        for (int64_t i = 0; i < kAdds; ++i) {
            // The empty barrier keeps x in a register and keeps the compiler
            // from merging the adds; the loop's own work runs beside them.
            x += y;
            benchmark::DoNotOptimize(x);
        }
    }
    state.counters["ghz"] = benchmark::Counter(static_cast<double>(state.iterations()) * kAdds / 1e9,
                                               benchmark::Counter::kIsRate);
}

std::vector<Song> corpus;
std::vector<std::vector<Song>> singles;

}  // namespace

int main(int argc, char** argv)
{
    const PsgRenderer renderers[] = {PsgRenderer::kEventBased, PsgRenderer::kPerFrame};
    for (int c = 0; c < kBenchCaseCount; ++c) {
        const auto which = static_cast<PsgBenchCase>(c);
        for (const PsgRenderer r : renderers) {
            const std::string name = std::string("Case/") + PsgBenchCaseName(which) + "/" + PsgRendererName(r);
            benchmark::RegisterBenchmark(name.c_str(), RenderCase, which, r);
        }
    }
    benchmark::RegisterBenchmark("Clock", Clock);
    benchmark::RegisterBenchmark("SilentCall", SilentCall)->Arg(1)->Arg(735)->Arg(kMaxRenderFrames);
    benchmark::RegisterBenchmark("Device/Speech", DeviceSpeech);
    benchmark::RegisterBenchmark("Device/SilentChip1", SilentChip1, true)->Arg(1)->Arg(6)->Arg(735);
    benchmark::RegisterBenchmark("Chip0Alone", SilentChip1, false)->Arg(1)->Arg(6)->Arg(735);

    std::vector<std::string> errors;
    corpus = LoadCorpus(QUARIX_CORPUS_DIR, &errors);
    for (const std::string& e : errors) {
        std::fprintf(stderr, "psg_bench: left out %s\n", e.c_str());
    }
    if (corpus.empty()) {
        std::fprintf(stderr, "psg_bench: no music in %s; music benchmarks skipped\n", QUARIX_CORPUS_DIR);
    } else {
        singles.reserve(corpus.size());
        for (const Song& s : corpus) {
            singles.push_back({s});
        }
        for (const PsgRenderer r : renderers) {
            for (const auto& single : singles) {
                const std::string name = "Music/" + single[0].name + "/" + PsgRendererName(r);
                benchmark::RegisterBenchmark(name.c_str(), ReplaySongs, &single, r);
            }
            const std::string name = std::string("Music/Corpus/") + PsgRendererName(r);
            benchmark::RegisterBenchmark(name.c_str(), ReplaySongs, &corpus, r);
        }
        benchmark::RegisterBenchmark("Device/Music/Corpus", DeviceMusic, &corpus);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
