#include "host/player.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Hours(double hours)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", hours);
    return text;
}

bool CheckLength(uint64_t frames, int32_t rateHz, double maxHours, std::string* error)
{
    const double hours = static_cast<double>(frames) / rateHz / 3600.0;
    if (hours > maxHours) {
        *error = "would play " + Hours(hours) + " hours, more than the limit of " + Hours(maxHours) +
                 " (--max-hours)";
        return false;
    }
    return true;
}

bool CheckHostRate(int32_t rateHz, std::string* error)
{
    if (rateHz < kMinHostRateHz || rateHz > kMaxHostRateHz) {
        *error = "rate " + std::to_string(rateHz) + " Hz is outside " + std::to_string(kMinHostRateHz) + " to " +
                 std::to_string(kMaxHostRateHz);
        return false;
    }
    return true;
}

// Moves the hub's clock to frame target, mixing at every block boundary.
void AdvanceTo(SoundHub& hub, uint64_t target)
{
    while (hub.Now() < target) {
        const uint64_t boundary = (hub.Now() / kMixBlockFrames + 1) * kMixBlockFrames;
        const uint64_t next = boundary < target ? boundary : target;
        hub.Advance(static_cast<uint32_t>(next - hub.Now()));
        if (next == boundary) {
            hub.RenderAll();
        }
    }
}

}  // namespace

int64_t PitchFixedRate(int32_t hostRateHz, uint32_t clockHz)
{
    const uint64_t numerator = static_cast<uint64_t>(hostRateHz) * static_cast<uint64_t>(kChipClockHz);
    return static_cast<int64_t>((numerator + clockHz / 2) / clockHz);
}

uint64_t FrameAtSample(uint64_t sample, int32_t hostRateHz)
{
    // sample < 2^44 after the length check, rate < 2^20: the product fits.
    return sample * static_cast<uint64_t>(hostRateHz) / kVgmSampleRate;
}

bool PlanVgm(const VgmSong& song, const PlayOptions& options, PlayPlan* plan, std::string* error)
{
    if (!CheckHostRate(options.rateHz, error)) {
        return false;
    }
    plan->hostRateHz = options.rateHz;
    plan->chipRateHz = options.rateHz;
    if (options.pitchFix) {
        if (song.snClockHz > kMaxPitchFixClockHz) {
            *error = "SN76489 clock " + std::to_string(song.snClockHz) + " Hz is beyond any real chip (at most " +
                     std::to_string(kMaxPitchFixClockHz) + " Hz with the pitch fix; try --no-pitch-fix)";
            return false;
        }
        const int64_t chipRate = PitchFixedRate(options.rateHz, song.snClockHz);
        if (chipRate < kMinChipRateHz || chipRate > kMaxChipRateHz) {
            *error = "SN76489 clock " + std::to_string(song.snClockHz) + " Hz cannot be played at the right pitch "
                     "(chip rate " + std::to_string(chipRate) + " Hz is out of range; try --no-pitch-fix)";
            return false;
        }
        plan->chipRateHz = static_cast<int32_t>(chipRate);
    }
    const uint64_t samples = VgmPlaySamples(song, options.loops);
    const bool looping = song.loopEvent != kNoLoop && song.loopSamples > 0;
    // The fade's length in samples of VGM time counts towards the limit too.
    const uint64_t fadeSamples = looping ? uint64_t{options.fadeMs} * kVgmSampleRate / 1000 : 0;
    const double hours = (static_cast<double>(samples) + static_cast<double>(fadeSamples)) / kVgmSampleRate / 3600.0;
    if (hours > options.maxHours) {
        *error = "would play " + Hours(hours) + " hours, more than the limit of " + Hours(options.maxHours) +
                 " (--max-hours)";
        return false;
    }
    plan->fadeStartFrame = FrameAtSample(samples, options.rateHz);
    plan->fadeFrames = looping ? uint64_t{options.fadeMs} * static_cast<uint64_t>(options.rateHz) / 1000 : 0;
    plan->totalFrames = plan->fadeStartFrame + plan->fadeFrames;
    return true;
}

bool PlanScript(const PortScript& script, const PlayOptions& options, PlayPlan* plan, std::string* error)
{
    // A rate line in the script is part of the exact recipe and wins over --rate.
    plan->hostRateHz = script.rateHz != 0 ? script.rateHz : options.rateHz;
    if (script.rateHz == 0 && !CheckHostRate(options.rateHz, error)) {
        return false;
    }
    plan->chipRateHz = plan->hostRateHz;
    plan->totalFrames = script.totalFrames;
    plan->rateChangeLine = 0;
    for (const LateRate& late : script.lateRates) {
        if (late.rateHz != plan->hostRateHz) {
            plan->rateChangeLine = late.line;
            break;
        }
    }
    return CheckLength(script.totalFrames, plan->hostRateHz, options.maxHours, error);
}

void PlayVgm(const VgmSong& song, const PlayOptions& options, const PlayPlan& plan, PortBus& bus, SoundHub& hub)
{
    hub.SetRate(plan.chipRateHz);
    uint64_t sample = 0;
    const bool looping = song.loopEvent != kNoLoop && song.loopSamples > 0;
    const uint32_t passes = looping && options.loops > 1 ? options.loops : 1;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        for (size_t i = pass == 0 ? 0 : song.loopEvent; i < song.events.size(); ++i) {
            const VgmEvent& e = song.events[i];
            if (e.kind == VgmEvent::Kind::Write) {
                bus.Write(e.chip == 0 ? kChip0Port : kChip1Port, PortByteFor(e.value));
            } else {
                sample += e.samples;
                AdvanceTo(hub, FrameAtSample(sample, plan.hostRateHz));
            }
        }
    }
    // The fade goes on with the looped part, cut off where it ends.
    while (plan.fadeFrames > 0 && looping && hub.Now() < plan.totalFrames) {
        for (size_t i = song.loopEvent; i < song.events.size() && hub.Now() < plan.totalFrames; ++i) {
            const VgmEvent& e = song.events[i];
            if (e.kind == VgmEvent::Kind::Write) {
                bus.Write(e.chip == 0 ? kChip0Port : kChip1Port, PortByteFor(e.value));
            } else {
                sample += e.samples;
                const uint64_t frame = FrameAtSample(sample, plan.hostRateHz);
                AdvanceTo(hub, frame < plan.totalFrames ? frame : plan.totalFrames);
            }
        }
    }
    hub.RenderAll();
}

void PlayScript(const PortScript& script, const PlayPlan& plan, PortBus& bus, SoundHub& hub)
{
    hub.SetRate(plan.hostRateHz);
    for (const ScriptStep& step : script.steps) {
        switch (step.kind) {
        case ScriptStep::Kind::Rate:
            hub.SetRate(static_cast<int32_t>(step.value));
            break;
        case ScriptStep::Kind::Out:
            bus.Write(step.port, step.value);
            break;
        case ScriptStep::Kind::Mix:
            hub.Advance(step.value);
            hub.RenderAll();
            break;
        }
    }
    hub.RenderAll();
}
