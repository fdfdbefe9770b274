#include "tests/support/reference_render.h"

namespace {

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

void ReferenceRender(PsgChip& c, StereoFrame* frames, int32_t count)
{
    if (count <= 0) {
        return;
    }
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
