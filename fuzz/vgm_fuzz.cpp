// Fuzz target for the host's input side: gzip unpacking, the VGM reader, its
// GD3 tags and the port-script parser, and short plays through the device
// linked in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "host/gd3_tags.h"
#include "host/input_file.h"
#include "host/native_binding.h"
#include "host/player.h"
#include "host/port_script.h"
#include "host/vgm_reader.h"

namespace {

constexpr size_t kUnpackLimit = size_t{1} << 20;  // keeps each run short
constexpr uint64_t kMaxPlayedFrames = 1u << 16;

void Play(const VgmSong* song, const PortScript* script, const PlayPlan& plan)
{
    if (plan.totalFrames > kMaxPlayedFrames) {
        return;
    }
    PortBus bus;
    SoundHub hub(nullptr);
    NativeBinding binding;
    Check(binding.Bind(bus, hub).Ok());
    Check(song != nullptr ? PlayVgm(*song, plan, bus, hub, nullptr) : PlayScript(*script, plan, bus, hub, nullptr));
    Check(hub.Now() == plan.totalFrames);
    binding.Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    InputKind kind;
    const Result prepared = PrepareInput(&bytes, kUnpackLimit, &kind);
    if (!prepared.Ok()) {
        Check(!prepared.Message().empty());
        return 0;
    }
    PlayOptions options;
    options.loops = 2;
    PlayPlan plan;
    if (kind == InputKind::PortScript) {
        PortScript script;
        if (ParsePortScript(bytes.data(), bytes.size(), &script).Ok() && PlanScript(script, options, &plan).Ok()) {
            Play(nullptr, &script, plan);
        }
        return 0;
    }
    VgmSong song;
    const Result parsed = ParseVgm(bytes.data(), bytes.size(), &song);
    if (!parsed.Ok()) {
        Check(!parsed.Message().empty());
        return 0;
    }
    Gd3Tags tags;
    const Result tagged = ReadGd3Tags(bytes.data(), bytes.size(), song.gd3Offset, &tags);
    Check(tagged.Ok() == tagged.Message().empty());
    // What the reader hands on is consistent with itself.
    uint64_t samples = 0;
    uint64_t beforeLoop = 0;
    for (size_t i = 0; i < song.events.size(); ++i) {
        const VgmEvent& e = song.events[i];
        if (i == song.loopEvent) {
            beforeLoop = samples;
        }
        if (e.kind == VgmEvent::Kind::Wait) {
            Check(e.samples > 0);
            samples += e.samples;
        } else {
            Check(e.chip == 0 || (e.chip == 1 && song.dualChip));
        }
    }
    Check(song.loopEvent == kNoLoop || song.loopEvent <= song.events.size());
    Check(samples == song.TotalSamples());
    if (song.loopEvent != kNoLoop && song.loopEvent < song.events.size()) {
        Check(beforeLoop == song.introSamples);
    }
    Check(song.snClockHz > 0 && song.dataStart >= 0x40 && song.dataStart <= bytes.size());
    if (PlanVgm(song, options, &plan).Ok()) {
        Check(plan.totalFrames == FrameAtSample(VgmPlaySamples(song, 2), plan.frameRate));
        Play(&song, nullptr, plan);
        // The clean path takes the same songs and makes as many output frames.
        PlayOptions clean = options;
        clean.clean = true;
        PlayPlan cleanPlan;
        Check(PlanVgm(song, clean, &cleanPlan).Ok() && cleanPlan.outputFrames == plan.totalFrames);
        Play(&song, nullptr, cleanPlan);
    }
    return 0;
}
