#include "psg/psg_chip.h"

#include <cassert>

#include "psg/psg_render.h"

namespace {

constexpr double kGainFactor = 1.023292992;               // 0.2 dB per gain unit: 10^(0.2/20), to 10 digits
constexpr double kAttenuationStep = 0.79432823459440981;  // 2 dB: 10^(-2/20)

// Tone period in frame units; a register value of 0 acts as 1.
int32_t TonePeriod(const PsgChip& c, int32_t reg)
{
    const int32_t units = c.regs[reg] * c.step;
    return units == 0 ? c.step : units;
}

uint32_t WithBit(uint32_t mask, int bit, bool set)
{
    return (mask & ~(1u << bit)) | (set ? 1u << bit : 0u);
}

// A channel sounds when its amplitude is not 0. On a chip never reset every
// period is 0, and such a channel would never finish a frame: it is kept
// silent, so that a render before the first reset adds nothing.
void DeriveSounding(PsgChip& c, int i)
{
    c.sounding = WithBit(c.sounding, i, c.amplitude[i] != 0 && c.period[i] >= 1);
}

// The derived fields that follow channel i's period. A channel shorter than
// a frame is rendered frame by frame from whole cycles and a rest; the
// division that takes is made here, once per write.
void DeriveTiming(PsgChip& c, int i)
{
    const int32_t period = c.period[i];
    const bool fast = period >= 1 && period < kFrameUnits;
    const int32_t cycle = i < 3 ? 2 * period : period;  // a tone's cycle is two toggles
    c.fast = WithBit(c.fast, i, fast);
    c.wholeCycles[i] = fast ? kFrameUnits / cycle : 0;
    c.cycleRest[i] = fast ? kFrameUnits - c.wholeCycles[i] * cycle : 0;
    DeriveSounding(c, i);
}

// The derived fields that follow channel i's amplitude.
void DeriveLevel(PsgChip& c, int i)
{
    DeriveSounding(c, i);
    c.loudness = c.amplitude[0] + c.amplitude[1] + c.amplitude[2] + c.amplitude[3];
}

void UpdateTonePeriod(PsgChip& c, int32_t reg)
{
    c.period[reg / 2] = TonePeriod(c, reg);
    DeriveTiming(c, reg / 2);
    // Shift rate 3: the noise shifts once per full period of tone 2.
    if (reg == 4 && (c.regs[6] & 3) == 3) {
        c.period[3] = 2 * c.period[2];
        DeriveTiming(c, 3);
    }
}

}  // namespace

int32_t PsgStepFor(int32_t clockHz, int32_t rateHz)
{
    const double step = static_cast<double>(rateHz) * 65536.0 * 16.0 / static_cast<double>(clockHz);
    // Out-of-range values saturate: a float-to-int conversion that does not
    // fit is undefined behaviour.
    if (!(step < 2147483647.0)) {
        return step > 0 ? INT32_MAX : 0;
    }
    if (step < -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(step);
}

void PsgReset(PsgChip& c, int32_t clockHz, int32_t rateHz)
{
    c.sampleRate = rateHz;
    c.step = PsgStepFor(clockHz, rateHz);
    assert(c.step >= 1 && c.step <= kMaxStep);
    c.latched = 0;
    for (int r = 0; r < 8; ++r) {
        c.regs[r] = (r & 1) ? 15 : 0;
    }
    for (int i = 0; i < 4; ++i) {
        c.amplitude[i] = 0;
        c.output[i] = 0;
        c.counter[i] = c.step;
        c.period[i] = c.step;
    }
    c.lfsr = kNoiseSeed;
    c.output[3] = static_cast<int32_t>(c.lfsr & 1u);
    for (int i = 0; i < 4; ++i) {
        DeriveTiming(c, i);
        DeriveLevel(c, i);
    }
}

void PsgBuildLevels(PsgChip& c, int32_t gain)
{
    const uint32_t n = static_cast<uint32_t>(gain) & 0xFFu;
    double a = kFullScale;
    for (uint32_t i = 0; i < n; ++i) {
        a *= kGainFactor;
    }
    for (int i = 0; i < 15; ++i) {
        c.levels.level[i] = a > kFullScale ? kFullScale : static_cast<int32_t>(a);
        a *= kAttenuationStep;
    }
    c.levels.level[15] = 0;
}

void PsgWrite(PsgChip& c, uint32_t value)
{
    if (value & 0x80u) {
        const int32_t r = static_cast<int32_t>((value >> 4) & 7u);
        c.latched = r;
        c.regs[r] = (c.regs[r] & 0x3F0) | static_cast<int32_t>(value & 0x0Fu);
        switch (r) {
        case 0:
        case 2:
        case 4:
            UpdateTonePeriod(c, r);
            break;
        case 6: {
            const int32_t m = c.regs[6];
            c.noiseTaps = (m & 4) ? kWhiteNoiseTaps : kPeriodicNoiseTaps;
            c.noiseKind = (m & 4) ? kWhiteTaps : kPeriodicTaps;
            c.period[3] = (m & 3) == 3 ? 2 * c.period[2] : c.step << ((m & 3) + 5);
            DeriveTiming(c, 3);
            c.lfsr = kNoiseSeed;
            c.output[3] = 1;
            break;
        }
        default:  // 1, 3, 5, 7: attenuation, sampled from the level table now
            c.amplitude[r / 2] = c.levels.level[value & 0x0Fu];
            DeriveLevel(c, r / 2);
            break;
        }
        return;
    }
    const int32_t r = c.latched;
    if (r != 0 && r != 2 && r != 4) {
        return;  // data after an attenuation or noise-control latch is dropped
    }
    c.regs[r] = (c.regs[r] & 0x0F) | static_cast<int32_t>((value & 0x3Fu) << 4);
    UpdateTonePeriod(c, r);
}

void PsgRender(PsgChip& c, StereoFrame* frames, int32_t count)
{
    // Longer calls than the counters allow render as consecutive calls.
    while (count > 0) {
        const int32_t piece = count < kMaxRenderFrames ? count : kMaxRenderFrames;
        if (c.sounding == 0) {
            psg_render::HoldSilent(c, static_cast<uint32_t>(piece) << kFrameShift);  // adds nothing
        } else {
            psg_render::RenderCall(c, nullptr, frames, static_cast<uint32_t>(piece));
        }
        frames += piece;
        count -= piece;
    }
}

void PsgRenderPair(PsgChip& first, PsgChip& second, StereoFrame* frames, int32_t count)
{
    assert(&first != &second);
    if (count > 0 && count <= kMaxRenderFrames && (first.sounding | second.sounding) != 0) {
        psg_render::RenderCall(first, &second, frames, static_cast<uint32_t>(count));  // the usual call
        return;
    }
    while (count > 0) {
        const int32_t piece = count < kMaxRenderFrames ? count : kMaxRenderFrames;
        if ((first.sounding | second.sounding) == 0) {
            // Two silent chips, the usual state of the second: constant time.
            psg_render::HoldSilent(first, static_cast<uint32_t>(piece) << kFrameShift);
            psg_render::HoldSilent(second, static_cast<uint32_t>(piece) << kFrameShift);
        } else {
            psg_render::RenderCall(first, &second, frames, static_cast<uint32_t>(piece));
        }
        frames += piece;
        count -= piece;
    }
}