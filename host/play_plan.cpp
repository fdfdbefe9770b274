#include "host/play_plan.h"

#include "host/text.h"

namespace {

Result CheckLength(double seconds, double maxHours)
{
    if (seconds / 3600.0 > maxHours) {
        return Result::Failure("would play " + FormatDuration(seconds, DurationStyle::Hours) +
                               ", more than the limit of " + FormatDuration(maxHours * 3600.0, DurationStyle::Hours) +
                               " (--max-hours)");
    }
    return {};
}

Result CheckHostRate(int32_t rateHz)
{
    if (rateHz < kMinHostRateHz || rateHz > kMaxHostRateHz) {
        return Result::Failure("rate " + std::to_string(rateHz) + " Hz is outside " +
                               std::to_string(kMinHostRateHz) + " to " + std::to_string(kMaxHostRateHz));
    }
    return {};
}

Result PitchFixedChipRate(const VgmSong& song, int32_t rateHz, int32_t* chipRateHz)
{
    const std::string clock = "SN76489 clock " + std::to_string(song.snClockHz) + " Hz";
    if (song.snClockHz > kMaxPitchFixClockHz) {
        return Result::Failure(clock + " is beyond any real chip (at most " + std::to_string(kMaxPitchFixClockHz) +
                               " Hz with the pitch fix; try --no-pitch-fix)");
    }
    const int64_t chipRate = PitchFixedRate(rateHz, song.snClockHz);
    if (chipRate < kMinChipRateHz || chipRate > kMaxChipRateHz) {
        return Result::Failure(clock + " cannot be played at the right pitch (chip rate " + std::to_string(chipRate) +
                               " Hz is out of range; try --no-pitch-fix)");
    }
    *chipRateHz = static_cast<int32_t>(chipRate);
    return {};
}

}  // namespace

int64_t PitchFixedRate(int32_t hostRateHz, uint32_t clockHz)
{
    const uint64_t numerator = static_cast<uint64_t>(hostRateHz) * static_cast<uint64_t>(kChipClockHz);
    return static_cast<int64_t>((numerator + clockHz / 2) / clockHz);
}

uint64_t ScaleFrames(uint64_t count, uint64_t multiplier, uint64_t divisor)
{
    // The remainder times the multiplier stays below 2^64.
    return count / divisor * multiplier + count % divisor * multiplier / divisor;
}

std::string FormatFrameRate(FrameRate rate)
{
    std::string text = std::to_string(rate.numerator / rate.denominator);
    uint64_t rest = rate.numerator % rate.denominator;
    if (rest != 0) {
        text += '.';
    }
    for (int digits = 0; rest != 0 && digits < 6; ++digits) {
        rest *= 10;
        text += static_cast<char>('0' + rest / rate.denominator);
        rest %= rate.denominator;
    }
    return text;
}

uint64_t FrameAtSample(uint64_t sample, FrameRate rate)
{
    return ScaleFrames(sample, rate.numerator, uint64_t{rate.denominator} * kVgmSampleRate);
}

bool Loops(const VgmSong& song)
{
    return song.loopEvent != kNoLoop && song.loopSamples > 0;
}

Result PlanVgm(const VgmSong& song, const PlayOptions& options, PlayPlan* plan)
{
    plan->hostRateHz = options.rateHz;
    plan->chipRateHz = options.rateHz;
    Result checked = CheckHostRate(options.rateHz);
    if (checked.Ok() && options.pitchFix) {
        checked = PitchFixedChipRate(song, options.rateHz, &plan->chipRateHz);
    }
    const uint64_t samples = VgmPlaySamples(song, options.loops);
    const bool looping = Loops(song);
    // The fade's length in samples of VGM time counts towards the limit too.
    const uint64_t fadeSamples = looping ? uint64_t{options.fadeMs} * kVgmSampleRate / 1000 : 0;
    if (checked.Ok()) {
        checked = CheckLength((static_cast<double>(samples) + static_cast<double>(fadeSamples)) / kVgmSampleRate,
                              options.maxHours);
    }
    if (!checked.Ok()) {
        return checked;
    }
    const FrameRate output = {static_cast<uint64_t>(options.rateHz), 1};
    plan->frameRate = output;
    plan->resampled = options.clean;
    if (options.clean) {
        // The chips at their tick rate; a file logged for clock C ticks C / 16
        // times a second, so its frames stand for that much time.
        plan->chipRateHz = kTickRateHz;
        plan->frameRate = options.pitchFix ? FrameRate{song.snClockHz, 16} : FrameRate{kTickRateHz, 1};
    }
    plan->passes = looping && options.loops > 1 ? options.loops : 1;
    plan->fadeStartFrame = FrameAtSample(samples, plan->frameRate);
    plan->fadeFrames = looping ? ScaleFrames(options.fadeMs, plan->frameRate.numerator,
                                             uint64_t{plan->frameRate.denominator} * 1000)
                               : 0;
    plan->totalFrames = plan->fadeStartFrame + plan->fadeFrames;
    // As many output frames as the exact path gives.
    const uint64_t outputFade = looping ? uint64_t{options.fadeMs} * output.numerator / 1000 : 0;
    plan->outputFrames = FrameAtSample(samples, output) + outputFade;
    return {};
}

Result PlanScript(const PortScript& script, const PlayOptions& options, PlayPlan* plan)
{
    // A rate line in the script is part of the exact recipe and wins over --rate.
    plan->hostRateHz = script.rateHz != 0 ? script.rateHz : options.rateHz;
    if (script.rateHz == 0) {
        const Result checked = CheckHostRate(options.rateHz);
        if (!checked.Ok()) {
            return checked;
        }
    }
    plan->chipRateHz = plan->hostRateHz;
    plan->frameRate = {static_cast<uint64_t>(plan->hostRateHz), 1};
    plan->totalFrames = script.totalFrames;
    plan->outputFrames = script.totalFrames;
    plan->rateChangeLine = 0;
    for (const LateRate& late : script.lateRates) {
        if (late.rateHz != plan->hostRateHz) {
            plan->rateChangeLine = late.line;
            break;
        }
    }
    return CheckLength(static_cast<double>(script.totalFrames) / plan->hostRateHz, options.maxHours);
}
