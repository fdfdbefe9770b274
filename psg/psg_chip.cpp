#include "psg/psg_chip.h"

#include "psg/psg_test_access.h"

namespace {

PsgChip chips[2];  // zero at load; the device resets both before use

constexpr double kGainFactor = 1.023292992;                // 0.2 dB per gain unit
constexpr double kAttenuationStep = 0.79432823459440981;  // 2 dB: 10^(-2/20)

// Tone period in frame units; a register value of 0 acts as 1.
int32_t TonePeriod(const PsgChip& c, int32_t reg)
{
    const int32_t units = c.regs[reg] * c.step;
    return units == 0 ? c.step : units;
}

void UpdateTonePeriod(PsgChip& c, int32_t reg)
{
    c.period[reg / 2] = TonePeriod(c, reg);
    // Shift rate 3: the noise shifts once per full period of tone 2.
    if (reg == 4 && (c.regs[6] & 3) == 3) {
        c.period[3] = 2 * c.period[2];
    }
}

void ShiftNoise(PsgChip& c)
{
    if (c.lfsr & 1u) {
        c.lfsr ^= c.noiseTaps;
    }
    c.lfsr >>= 1;
    c.output[3] = static_cast<int32_t>(c.lfsr & 1u);
}

// On-time of a tone channel over one frame; two events per loop pass.
int32_t RenderToneFrame(int32_t& counter, int32_t& output, int32_t period)
{
    int32_t onTime = 0;
    if (output) {
        onTime += counter;
    }
    counter -= kFrameUnits;
    while (counter <= 0) {
        counter += period;
        if (counter > 0) {
            output ^= 1;
            if (output) {
                onTime += period;
            }
            break;
        }
        counter += period;  // a second toggle in the same frame
        onTime += period;
    }
    if (output) {
        onTime -= counter;
    }
    return onTime;
}

int32_t RenderNoiseFrame(PsgChip& c)
{
    int32_t onTime = 0;
    int32_t remaining = kFrameUnits;
    do {
        const int32_t piece = remaining > c.counter[3] ? c.counter[3] : remaining;
        if (c.output[3]) {
            onTime += c.counter[3];
        }
        c.counter[3] -= piece;
        if (c.counter[3] <= 0) {
            ShiftNoise(c);
            c.counter[3] += c.period[3];
            if (c.output[3]) {
                onTime += c.period[3];
            }
        }
        if (c.output[3]) {
            onTime -= c.counter[3];
        }
        remaining -= piece;
    } while (remaining > 0);
    return onTime;
}

}  // namespace

PsgChip& PsgTestChip(int chip)
{
    return chips[chip];
}

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

void PsgReset(int chip, int32_t clockHz, int32_t rateHz)
{
    PsgChip& c = chips[chip];
    c.sampleRate = rateHz;
    c.step = PsgStepFor(clockHz, rateHz);
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
}

void PsgBuildLevels(int chip, int32_t gain)
{
    PsgChip& c = chips[chip];
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

void PsgWrite(int chip, uint32_t value)
{
    PsgChip& c = chips[chip];
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
            c.period[3] = (m & 3) == 3 ? 2 * c.period[2] : c.step << ((m & 3) + 5);
            c.lfsr = kNoiseSeed;
            c.output[3] = 1;
            break;
        }
        default:  // 1, 3, 5, 7: attenuation, sampled from the level table now
            c.amplitude[r / 2] = c.levels.level[value & 0x0Fu];
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

void PsgRender(int chip, StereoFrame* frames, int32_t count)
{
    if (count <= 0) {
        return;
    }
    PsgChip& c = chips[chip];
    // Silent channels whose next event falls inside the call are held: no
    // toggle or shift while inaudible, and the counter ends where it began.
    const int32_t span = count * kFrameUnits;
    for (int i = 0; i < 4; ++i) {
        if (c.amplitude[i] == 0 && c.counter[i] <= span) {
            c.counter[i] += span;
        }
    }
    for (int32_t f = 0; f < count; ++f) {
        const int32_t t0 = RenderToneFrame(c.counter[0], c.output[0], c.period[0]);
        const int32_t t1 = RenderToneFrame(c.counter[1], c.output[1], c.period[1]);
        const int32_t t2 = RenderToneFrame(c.counter[2], c.output[2], c.period[2]);
        const int32_t t3 = RenderNoiseFrame(c);
        uint32_t sum = static_cast<uint32_t>(c.amplitude[0]) * static_cast<uint32_t>(t0)
                     + static_cast<uint32_t>(c.amplitude[1]) * static_cast<uint32_t>(t1)
                     + static_cast<uint32_t>(c.amplitude[2]) * static_cast<uint32_t>(t2)
                     + static_cast<uint32_t>(c.amplitude[3]) * static_cast<uint32_t>(t3);
        if (sum > 0x7FFF0000u) {
            sum = 0x7FFF0000u;
        }
        const uint32_t value = sum >> 16;
        frames[f].left = static_cast<int32_t>(static_cast<uint32_t>(frames[f].left) + value);
        frames[f].right = static_cast<int32_t>(static_cast<uint32_t>(frames[f].right) + value);
    }
}
