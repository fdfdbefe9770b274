// The renderer's per-frame channels: tones and noise with events in every
// frame, mixed into a block of sums in closed form or by table.
#include "psg/psg_render.h"

namespace psg_render {

namespace {

// Several noise shifts at once, by table. n shifts (1 to kTableShifts) XOR
// the register shifted right by n with a value that depends only on its low
// n bits, and the outputs after the first n - 1 shifts also depend only on
// those: a feedback bit above bit 0 reaches bit 0 no sooner than 13 shifts
// after it enters. Entry (1 << n) - 2 + low holds that value in its low 16
// bits and the count of those outputs that are 1 above them. A shift made
// by table costs one load instead of a chain of dependent operations.
constexpr uint32_t kTableShifts = 8;
constexpr uint32_t kTableEntries = 2 * ((1u << kTableShifts) - 1);  // sum of 2^n for n = 1 to 8
constexpr uint32_t kTableOnesShift = 16;       // the count of ones sits above the register
constexpr uint32_t kTableLfsrMask = 0xFFFFu;

struct NoiseShiftTable {
    uint32_t entry[kTableEntries];
};

constexpr NoiseShiftTable MakeNoiseShiftTable(uint32_t taps)
{
    NoiseShiftTable t{};
    const uint32_t feedback = taps >> 1;
    for (uint32_t n = 1; n <= kTableShifts; ++n) {
        for (uint32_t low = 0; low < (1u << n); ++low) {
            uint32_t lfsr = low;
            uint32_t ons = 0;
            for (uint32_t k = 1; k <= n; ++k) {
                lfsr = (lfsr >> 1) ^ ((lfsr & 1u) != 0 ? feedback : 0u);
                ons += k < n ? (lfsr & 1u) : 0u;
            }
            t.entry[(1u << n) - 2 + low] = lfsr | (ons << kTableOnesShift);
        }
    }
    return t;
}

constexpr NoiseShiftTable kWhiteShifts = MakeNoiseShiftTable(kWhiteNoiseTaps);
constexpr NoiseShiftTable kPeriodicShifts = MakeNoiseShiftTable(kPeriodicNoiseTaps);

}  // namespace

FastTone MakeFastTone(int channel, uint32_t amplitude, uint32_t period, uint32_t due, uint32_t output)
{
    FastTone t{};
    t.channel = channel;
    t.amplitude = amplitude;
    t.half = period;
    t.full = 2 * period;
    const uint32_t whole = kUnits / t.full;
    t.rest = kUnits - whole * t.full;
    t.wholeOn = whole * period;
    t.due = due;
    t.output = output;
    return t;
}

void AddFastTone(FastTone& t, uint32_t* sums, uint32_t first, uint32_t count)
{
    uint32_t f = 0;
    while (!t.inStep && f < count) {
        const uint32_t frameStart = (first + f) << kFrameShift;
        if (t.due - frameStart <= t.half) {
            t.phase = (t.output ? t.half : t.full) - (t.due - frameStart);
            t.inStep = true;
            break;
        }
        // Not in step yet: the count-down that was running when the period
        // was written ends later than a half-period from here.
        const uint32_t frameEnd = frameStart + kUnits;
        uint32_t onTime = t.output << kFrameShift;
        while (t.due <= frameEnd) {
            t.output ^= 1u;
            onTime = t.output ? onTime + (frameEnd - t.due) : onTime - (frameEnd - t.due);
            t.due += t.half;
        }
        sums[f] += t.amplitude * onTime;
        ++f;
    }
    uint32_t phase = t.phase;
    uint32_t onBefore = Min(phase, t.half);  // on-time from the period's start to the phase
    for (; f < count; ++f) {
        uint32_t end = phase + t.rest;  // below two full periods
        uint32_t onTime = t.wholeOn - onBefore;
        if (end >= t.full) {
            end -= t.full;
            onTime += t.half;
        }
        // A frame that ends exactly on a toggle has made it, as an event at
        // the frame end does.
        onBefore = Min(end, t.half);
        sums[f] += t.amplitude * (onTime + onBefore);
        phase = end;
    }
    t.phase = phase;
}

uint32_t FastToneOutput(const FastTone& t, uint32_t callEnd, uint32_t& due)
{
    if (!t.inStep) {
        due = t.due;
        return t.output;
    }
    const uint32_t output = t.phase < t.half ? 1u : 0u;
    due = callEnd + (output ? t.half : t.full) - t.phase;
    return output;
}


FastNoise MakeFastNoise(uint32_t amplitude, uint32_t period, uint32_t due, uint32_t output, uint32_t lfsr,
                        uint32_t taps)
{
    FastNoise n{};
    n.amplitude = amplitude;
    n.period = period;
    n.due = due;
    n.output = output;
    n.lfsr = lfsr;
    n.taps = taps;
    n.whole = period != 0 ? kUnits / period : kUnits;
    n.rest = kUnits - n.whole * period;
    // Up to whole + 1 shifts fall in a frame. With one or two, shifting one
    // by one is as quick.
    if (n.whole >= 2 && n.whole < kTableShifts) {
        n.shiftTable = taps == kWhiteNoiseTaps    ? kWhiteShifts.entry
                       : taps == kPeriodicNoiseTaps ? kPeriodicShifts.entry
                                                    : nullptr;
    }
    return n;
}

// With n shifts in a frame, the output o0 before them
// lasting from the frame start to the first, the outputs o1 to on after each
// lasting a whole period, and on running on a period past the frame end:
// on-time = o0 * (first shift - frame start) + period * (o1 + ... + on)
//           - on * (next shift - frame end).
void AddFastNoise(FastNoise& n, uint32_t* sums, uint32_t first, uint32_t count)
{
    const uint32_t feedback = n.taps >> 1;
    uint32_t frameStart = first << kFrameShift;
    uint32_t f = 0;
    // One by one while the count-down that was running when the period was
    // written has not yet come within a period of the frame start.
    for (; f < count && (n.shiftTable == nullptr || n.due - frameStart > n.period); ++f) {
        const uint32_t frameEnd = frameStart + kUnits;
        uint32_t onTime = n.output * (n.due - frameStart);
        uint32_t ons = 0;
        while (n.due <= frameEnd) {
            n.lfsr = (n.lfsr >> 1) ^ (feedback & Mask(n.lfsr & 1u));
            ons += n.lfsr & 1u;
            n.due += n.period;
        }
        n.output = n.lfsr & 1u;
        onTime += n.period * ons - n.output * (n.due - frameEnd);
        sums[f] += n.amplitude * onTime;
        frameStart = frameEnd;
    }
    if (f == count) {
        return;
    }
    // In step: the first shift of a frame is 1 to period units after its
    // start, so a frame holds whole + 1 shifts when that is at most rest,
    // else whole.
    uint32_t toShift = n.due - frameStart;
    uint32_t lfsr = n.lfsr;
    uint32_t output = n.output;
    for (; f < count; ++f) {
        const uint32_t more = Mask(toShift <= n.rest);
        const uint32_t shifts = n.whole + (more & 1u);
        const uint32_t toNext = toShift + (n.period & more) - n.rest;
        const uint32_t low = (1u << shifts) - 1u;
        const uint32_t entry = n.shiftTable[low - 1u + (lfsr & low)];
        lfsr = (lfsr >> shifts) ^ (entry & kTableLfsrMask);
        const uint32_t last = lfsr & 1u;
        const uint32_t onTime = output * toShift + n.period * ((entry >> kTableOnesShift) + last) - last * toNext;
        sums[f] += n.amplitude * onTime;
        output = last;
        toShift = toNext;
    }
    n.due = ((first + count) << kFrameShift) + toShift;
    n.lfsr = lfsr;
    n.output = output;
}

}  // namespace psg_render
