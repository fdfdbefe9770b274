// Live seeks on the clean path near the end of a song of six minutes
// (gme_blast_processing_power four times through, 5:58): the time from the
// seek to the first frame heard at its target. Back plays kept frames again;
// on renders five seconds ahead unheard; back after a channel change starts
// the song again and renders up to the target unheard. Each iteration plays
// the first 300 s before it seeks, untimed.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/fade.h"
#include "host/frame_chain.h"
#include "host/native_binding.h"
#include "host/port_bus.h"
#include "host/resample_stage.h"
#include "host/sound_hub.h"
#include "host/source.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class SeekKind { Back, On, BackAfterChange };

constexpr uint64_t kSeekAtSeconds = 300;
constexpr uint64_t kStepSeconds = 5;

// Seeks once the chain reaches the moment, then times the heard sink up to
// the target's frame and ends the play there.
class Seeker final : public PlayControl, public PcmSink {
public:
    Seeker(FrameChain& frameChain, SeekKind seekKind, uint64_t rateHz)
        : chain(frameChain), kind(seekKind), at(kSeekAtSeconds * rateHz),
          target(kind == SeekKind::On ? at + kStepSeconds * rateHz : at - kStepSeconds * rateHz)
    {
    }

    bool GoOn() override
    {
        if (!sought && chain.Position() >= at) {
            sought = true;
            start = Clock::now();
            if (kind == SeekKind::BackAfterChange) {
                chain.ForgetHeard(chain.Position());
            }
            chain.SeekTo(target);
        }
        return !landed && !chain.RestartPending();
    }

    void Take(std::span<const PcmFrame> frames) override
    {
        if (sought && !landed && chain.HeardEnd() > target && chain.HeardEnd() - frames.size() <= target) {
            landed = true;
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
        }
    }

    double seconds = 0;
    bool landed = false;

private:
    FrameChain& chain;
    SeekKind kind;
    uint64_t at;
    uint64_t target;
    bool sought = false;
    Clock::time_point start;
};

void Seek(benchmark::State& state, SeekKind kind)
{
    std::unique_ptr<Source> source;
    const std::string path = std::string(QUARIX_CORPUS_DIR) + "/gme_blast_processing_power.vgz";
    PlayOptions options;
    options.clean = true;
    options.loops = 4;
    PlayPlan plan;
    if (!LoadSource(path, &source).Ok() || !source->Plan(options, &plan).Ok()) {
        state.SkipWithError(("cannot play " + path).c_str());
        return;
    }
    for (auto _ : state) {
        FrameChain chain;
        FadeStage fade(plan.fadeStartFrame, plan.fadeFrames);
        std::unique_ptr<ResampleStage> resample;
        if (!ResampleStage::Create(plan.frameRate, plan.hostRateHz, plan.totalFrames, plan.outputFrames, &resample)
                 .Ok()) {
            state.SkipWithError("no resampler");
            return;
        }
        chain.AddStage(&fade);
        chain.AddStage(resample.get());
        Seeker seeker(chain, kind, static_cast<uint64_t>(plan.hostRateHz));
        chain.AddHeardSink(&seeker);
        PortBus bus;
        SoundHub hub(&chain);
        NativeBinding binding;
        if (!binding.Bind(bus, hub).Ok()) {
            state.SkipWithError("cannot bind the device");
            return;
        }
        PlayAcrossSeeks(*source, plan, bus, hub, chain, &seeker);
        binding.Release();
        if (!seeker.landed) {
            state.SkipWithError("the seek did not land");
            return;
        }
        state.SetIterationTime(seeker.seconds);
    }
}

}  // namespace

BENCHMARK_CAPTURE(Seek, Back, SeekKind::Back)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Seek, On, SeekKind::On)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Seek, BackAfterChange, SeekKind::BackAfterChange)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
