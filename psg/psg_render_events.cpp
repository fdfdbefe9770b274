// The renderer's slow channels: a period of a frame or more, so at most one
// event a frame. Between two events of such channels every frame has the
// same sum, the level (the amplitudes whose output is 1) times a frame. A
// frame with events starts from the level, and each event that changes an
// output moves the sum by the change times the rest of the frame.
//
// A block goes in two steps. First each channel, on its own, drops its
// events into the frames they fall in: no channel waits for another, and a
// frame's events add up whatever their order. Then one walk over the marked
// frames, in order, stores the constant stretches between them and the sum
// of each frame with events. The noise counts only the shifts that change
// its output bit; they are found several shifts at a time.
//
// Stretches are stored a fixed number of entries at a time, past their end
// if need be (what follows overwrites that): their lengths then steer no
// branch, and mispredicted branches, not instructions, would cost the most.
#include "psg/psg_render.h"

#include <bit>

namespace psg_render {

namespace {

// Noise shifts many at a time. A shift is (lfsr >> 1) ^ (bit 0 ? feedback :
// 0), with feedback = taps >> 1. A feedback bit at position q reaches bit 0
// only q shifts after it enters, so the outputs of the next `reach` shifts
// follow from the register alone: with feedback bit 0 set (white noise) the
// output flips at shift k when bit k of the register is 1; without it the
// output after shift k is bit k. While the output stays, the feedback
// enters at every shift or at none.
struct NoiseJumps {
    uint32_t reach;       // 1 to 16
    uint32_t reachMask;   // the low reach bits
    uint32_t flips;       // all ones when feedback bit 0 is set, else 0
    uint32_t spread[17];  // [n]: the feedback of n shifts in a row
};

constexpr NoiseJumps MakeNoiseJumps(uint32_t taps)
{
    NoiseJumps j{};
    const uint32_t feedback = taps >> 1;
    j.reach = 16;
    for (uint32_t bit = 15; bit >= 1; --bit) {
        if ((feedback >> bit) & 1u) {
            j.reach = bit;
        }
    }
    j.reachMask = (1u << j.reach) - 1u;
    j.flips = (feedback & 1u) != 0 ? 0xFFFFFFFFu : 0u;
    for (uint32_t n = 0; n < 16; ++n) {
        j.spread[n + 1] = j.spread[n] ^ (feedback >> n);
    }
    return j;
}

// By noiseKind: the taps a record can hold.
constexpr NoiseJumps kNoiseJumps[3] = {MakeNoiseJumps(0), MakeNoiseJumps(kWhiteNoiseTaps),
                                       MakeNoiseJumps(kPeriodicNoiseTaps)};

// An event at time t (1 to the block's end) whose level change is change.
// A frame's entry counts only once its mark is set: the first event in it
// replaces what the entry held, so the entries need no clearing.
[[gnu::always_inline]] inline void Place(EventBlock& b, uint32_t t, uint32_t change)
{
    const uint32_t i = (t - 1) >> kFrameShift;  // an event at the frame end belongs to it
    const uint32_t rest = (0u - t) & (kUnits - 1);  // of the frame after the event
    const uint64_t bit = uint64_t{1} << (i % 64);
    const uint64_t word = b.marks[i / 64];
    EventFrame& e = b.frames[i];
    const bool held = (word & bit) != 0;  // rare: two events in one frame
    e.partial = (held ? e.partial : 0u) + change * rest;
    e.levelChange = (held ? e.levelChange : 0u) + change;
    b.marks[i / 64] = word | bit;
}

// A channel's level change at its next event: its amplitude, negated while
// its output is 1.
uint32_t NextChange(const PsgChip& c, int i)
{
    const uint32_t amplitude = static_cast<uint32_t>(c.amplitude[i]);
    return c.output[i] ? 0u - amplitude : amplitude;
}

void PlaceToneEvents(PsgChip& c, int i, EventBlock& b, uint32_t end)
{
    const uint32_t period = static_cast<uint32_t>(c.period[i]);
    uint32_t due = static_cast<uint32_t>(c.counter[i]);
    uint32_t change = NextChange(c, i);
    while (due <= end) {
        Place(b, due, change);
        change = 0u - change;
        due += period;
    }
    c.counter[i] = static_cast<int32_t>(due - end);
    c.output[i] = change == static_cast<uint32_t>(c.amplitude[i]) ? 0 : 1;
}

// Makes every shift up to the block's end, and places those that change
// the output.
void PlaceNoiseEvents(PsgChip& c, EventBlock& b, uint32_t end)
{
    const NoiseJumps& j = kNoiseJumps[c.noiseKind < 3 ? c.noiseKind : kNoTaps];
    const uint32_t period = static_cast<uint32_t>(c.period[3]);
    uint32_t shiftDue = static_cast<uint32_t>(c.counter[3]);  // next shift not made yet
    uint32_t change = NextChange(c, 3);
    uint32_t lfsr = c.lfsr;
    while (shiftDue <= end) {
        // Bit k - 1 is set when shift k changes the output.
        const uint32_t changes = ((lfsr >> 1) ^ (lfsr & ~j.flips)) & j.reachMask;
        uint32_t shifts = changes != 0 ? static_cast<uint32_t>(std::countr_zero(changes)) + 1 : j.reach;
        const bool beyond = shiftDue + uint64_t{shifts - 1} * period > end;
        if (beyond) {
            shifts = (end - shiftDue) / period + 1;  // the others fall after the block
        }
        lfsr = (lfsr >> shifts) ^ (j.spread[shifts] & Mask((lfsr & 1u) != 0));
        const uint32_t at = shiftDue + (shifts - 1) * period;
        shiftDue = at + period;
        if (changes != 0 && !beyond) {
            Place(b, at, change);
            change = 0u - change;
        }
    }
    c.counter[3] = static_cast<int32_t>(shiftDue - end);
    c.output[3] = static_cast<int32_t>(lfsr & 1u);
    c.lfsr = lfsr;
}

// Stores the block's n sums from level, the sum of the amplitudes whose
// output is 1 at its start, and the marked frames: clamped, unless the fast
// channels are still to add theirs.
template <bool kClamp>
void Walk(uint32_t level, const EventBlock& b, uint32_t* sums, uint32_t n)
{
    const auto entry = [](uint32_t sum) { return kClamp ? Min(sum, kClampedSum) : sum; };
    uint32_t f = 0;
    for (uint32_t w = 0; w < (n + 63) / 64; ++w) {
        for (uint64_t bits = b.marks[w]; bits != 0; bits &= bits - 1) {
            const uint32_t i = w * 64 + static_cast<uint32_t>(std::countr_zero(bits));
            const uint32_t levelSum = level << kFrameShift;
            StoreRun(sums + f, i - f, entry(levelSum));
            sums[i] = entry(levelSum + b.frames[i].partial);
            level += b.frames[i].levelChange;
            f = i + 1;
        }
    }
    StoreRun(sums + f, n - f, entry(level << kFrameShift));
}

}  // namespace

void SlowSums(PsgChip& c, uint32_t mask, EventBlock& b, uint32_t* sums, uint32_t n, bool clamp)
{
    uint32_t level = 0;
    for (int i = 0; i < 4; ++i) {
        level += static_cast<uint32_t>(c.amplitude[i] * c.output[i]) & Mask(((mask >> i) & 1u) != 0);
    }
    for (uint32_t w = 0; w < (n + 63) / 64; ++w) {
        b.marks[w] = 0;
    }
    const uint32_t end = n << kFrameShift;
    for (int i = 0; i < 3; ++i) {
        if ((mask >> i) & 1u) {
            PlaceToneEvents(c, i, b, end);
        }
    }
    if (mask & 8u) {
        PlaceNoiseEvents(c, b, end);
    }
    if (clamp) {
        Walk<true>(level, b, sums, n);
    } else {
        Walk<false>(level, b, sums, n);
    }
}

}  // namespace psg_render
