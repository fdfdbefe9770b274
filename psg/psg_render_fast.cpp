// The renderer's per-frame channels: tones and noise with events in every
// frame, mixed into a block of sums in closed form or by table.
#include "psg/psg_render.h"

#include <bit>

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

// The tone frame by frame while it is not in step: the count-down that was
// running when its period was written ends later than a half-period
// ahead. Returns where it stopped; due is then the next toggle from the
// start of that frame.
template <bool kStore>
uint32_t* CatchUp(uint32_t amplitude, uint32_t half, uint32_t& due, uint32_t& output, uint32_t* sums,
                  uint32_t* const end)
{
    for (; sums != end && due > half; ++sums) {
        uint32_t onTime = output << kFrameShift;
        while (due <= kUnits) {
            output ^= 1u;
            onTime = output ? onTime + (kUnits - due) : onTime - (kUnits - due);
            due += half;
        }
        *sums = (kStore ? 0u : *sums) + amplitude * onTime;
        due -= kUnits;
    }
    return sums;
}

// In step, the tone's state is a phase: 0 to half - 1 in the on half, half
// to full - 1 in the off half. Per frame the phase moves on by the rest, and
// the on-time is that of the whole periods, less the on-time from the
// period's start to the old phase, plus that to the new one (a half more
// when the phase wrapped). A frame that ends exactly on a toggle has made
// it, as an event at the frame end does.
template <bool kStore>
[[gnu::always_inline]] inline void AddFastTone(PsgChip& c, int i, uint32_t* sums, uint32_t* const end)
{
    const uint32_t amplitude = static_cast<uint32_t>(c.amplitude[i]);
    const uint32_t half = static_cast<uint32_t>(c.period[i]);
    uint32_t due = static_cast<uint32_t>(c.counter[i]);
    uint32_t output = static_cast<uint32_t>(c.output[i]);
    if (due > half) {
        sums = CatchUp<kStore>(amplitude, half, due, output, sums, end);
    }
    if (sums != end) {
        const uint32_t full = 2 * half;
        const uint32_t rest = static_cast<uint32_t>(c.cycleRest[i]);
        const uint32_t wholeOn = static_cast<uint32_t>(c.wholeCycles[i]) * half;
        uint32_t phase = (output ? half : full) - due;
        uint32_t onBefore = Min(phase, half);  // on-time from the period's start to the phase
        for (; sums != end; ++sums) {
            uint32_t next = phase + rest;  // below two full periods
            uint32_t onTime = wholeOn - onBefore;
            if (next >= full) {
                next -= full;
                onTime += half;
            }
            onBefore = Min(next, half);
            *sums = (kStore ? 0u : *sums) + amplitude * (onTime + onBefore);
            phase = next;
        }
        output = phase < half ? 1u : 0u;
        due = (output ? half : full) - phase;
    }
    c.counter[i] = static_cast<int32_t>(due);
    c.output[i] = static_cast<int32_t>(output);
}

}  // namespace

void AddFastTones(PsgChip& c, uint32_t mask, uint32_t* sums, uint32_t n, bool store)
{
    const int first = std::countr_zero(mask);
    if (store) {
        AddFastTone<true>(c, first, sums, sums + n);
    } else {
        AddFastTone<false>(c, first, sums, sums + n);
    }
    for (int i = first + 1; i < 3; ++i) {
        if ((mask >> i) & 1u) {
            AddFastTone<false>(c, i, sums, sums + n);
        }
    }
}

// With k shifts in a frame, the output o0 before them lasting from the
// frame start to the first, the outputs o1 to ok after each lasting a whole
// period, and ok running on a period past the frame end:
// on-time = o0 * (first shift - frame start) + period * (o1 + ... + ok)
//           - ok * (next shift - frame end).
void AddFastNoise(PsgChip& c, uint32_t* sums, uint32_t n)
{
    const uint32_t amplitude = static_cast<uint32_t>(c.amplitude[3]);
    const uint32_t period = static_cast<uint32_t>(c.period[3]);
    const uint32_t feedback = c.noiseTaps >> 1;
    const uint32_t whole = static_cast<uint32_t>(c.wholeCycles[3]);
    const uint32_t rest = static_cast<uint32_t>(c.cycleRest[3]);
    uint32_t toShift = static_cast<uint32_t>(c.counter[3]);  // from the frame's start
    uint32_t output = static_cast<uint32_t>(c.output[3]);
    uint32_t lfsr = c.lfsr;
    // Up to whole + 1 shifts fall in a frame. With one or two, shifting one
    // by one is as quick; without taps, too.
    const uint32_t* table = nullptr;
    if (whole >= 2 && whole < kTableShifts && c.noiseKind != kNoTaps) {
        table = c.noiseKind == kWhiteTaps ? kWhiteShifts.entry : kPeriodicShifts.entry;
    }
    uint32_t f = 0;
    // One by one while the count-down that was running when the period was
    // written has not yet come within a period of the frame start.
    for (; f < n && (table == nullptr || toShift > period); ++f) {
        uint32_t onTime = output * toShift;
        uint32_t ons = 0;
        while (toShift <= kUnits) {
            lfsr = (lfsr >> 1) ^ (feedback & Mask((lfsr & 1u) != 0));
            ons += lfsr & 1u;
            toShift += period;
        }
        output = lfsr & 1u;
        toShift -= kUnits;
        onTime += period * ons - output * toShift;
        sums[f] += amplitude * onTime;
    }
    // In step: the first shift of a frame is 1 to period units after its
    // start, so a frame holds whole + 1 shifts when that is at most rest,
    // else whole.
    for (; f < n; ++f) {
        const uint32_t more = Mask(toShift <= rest);
        const uint32_t shifts = whole + (more & 1u);
        const uint32_t toNext = toShift + (period & more) - rest;
        const uint32_t low = (1u << shifts) - 1u;
        const uint32_t entry = table[low - 1u + (lfsr & low)];
        lfsr = (lfsr >> shifts) ^ (entry & kTableLfsrMask);
        const uint32_t last = lfsr & 1u;
        const uint32_t onTime = output * toShift + period * ((entry >> kTableOnesShift) + last) - last * toNext;
        sums[f] += amplitude * onTime;
        output = last;
        toShift = toNext;
    }
    c.counter[3] = static_cast<int32_t>(toShift);
    c.output[3] = static_cast<int32_t>(output);
    c.lfsr = lfsr;
}

}  // namespace psg_render
