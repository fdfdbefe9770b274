// The renderer's per-frame channels: tones and noise with events in every
// frame, mixed into a block of sums in closed form or by table.
#include "psg/psg_render.h"

#include <bit>
#include <cstddef>

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
// to full - 1 in the off half. The phase is half - due while the output is
// 1, a half more while it is 0, and the on-time from the period's start to
// it is the phase or half. Per frame the phase moves on by the rest, and
// the on-time is that of the whole periods, less the on-time to the old
// phase, plus that to the new one (a half more when the phase wrapped). A
// frame that ends exactly on a toggle has made it, as an event at the frame
// end does.
struct TonePhase {
    uint32_t phase;
    uint32_t onBefore;  // on-time from the period's start to the phase
};

// A tone's constants for its closed form, from the record.
struct ToneCycle {
    uint32_t amplitude;
    uint32_t half;
    uint32_t full;
    uint32_t rest;     // the frame modulo full
    uint32_t wholeOn;  // on-time of the frame's whole periods
};

[[gnu::always_inline]] inline ToneCycle CycleOf(const PsgChip& c, int i)
{
    return {static_cast<uint32_t>(c.amplitude[i]), static_cast<uint32_t>(c.period[i]),
            static_cast<uint32_t>(c.cycle[i]), static_cast<uint32_t>(c.cycleRest[i]),
            static_cast<uint32_t>(c.wholeOn[i])};
}

// From a counter (due, 1 to half) and an output, and back. Without
// branches: the output is as likely 0 as 1.
[[gnu::always_inline]] inline TonePhase PhaseOf(uint32_t half, uint32_t due, uint32_t output)
{
    return {half - due + (half & (output - 1u)), half - (due & (0u - output))};
}

[[gnu::always_inline]] inline void StoreTone(PsgChip& c, int i, const ToneCycle& t, uint32_t phase)
{
    const uint32_t on = Mask(phase < t.half);
    c.counter[i] = static_cast<int32_t>(t.half - phase + (t.half & ~on));
    c.output[i] = static_cast<int32_t>(on & 1u);
}

// The tone from phase p over count frames (at least one), its on-time times
// its amplitude going: with kFirst into sums, otherwise added to sums; with
// kLast, the frame's whole sum goes on into the frames as its value
// instead. Returns the phase after them.
template <bool kFirst, bool kLast>
[[gnu::always_inline]] inline uint32_t AddPhases(const ToneCycle& t, TonePhase p, uint32_t* sums,
                                                 StereoFrame* frames, uint32_t count)
{
    std::size_t f = 0;  // as wide as a pointer: no widening per frame
    do {
        uint32_t next = p.phase + t.rest;  // below two full periods
        uint32_t onTime = t.wholeOn - p.onBefore;
        if (next >= t.full) {
            next -= t.full;
            onTime += t.half;
        }
        p.onBefore = Min(next, t.half);
        const uint32_t sum = (kFirst ? 0u : sums[f]) + t.amplitude * (onTime + p.onBefore);
        if constexpr (kLast) {
            AddToFrame(frames[f], sum >> kFrameShift);  // no clamp: see kSmallTonesCalls
        } else {
            sums[f] = sum;
        }
        p.phase = next;
    } while (++f != count);
    return p.phase;
}

// Tone i from its counter and output, and back, over n frames.
template <bool kFirst>
[[gnu::always_inline]] inline void AddFastTone(PsgChip& c, int i, uint32_t* sums, uint32_t n)
{
    const ToneCycle t = CycleOf(c, i);
    uint32_t due = static_cast<uint32_t>(c.counter[i]);
    uint32_t output = static_cast<uint32_t>(c.output[i]);
    uint32_t* const end = sums + n;
    if (due > t.half) [[unlikely]] {
        sums = CatchUp<kFirst>(t.amplitude, t.half, due, output, sums, end);
    }
    if (sums == end) [[unlikely]] {
        c.counter[i] = static_cast<int32_t>(due);
        c.output[i] = static_cast<int32_t>(output);
        return;
    }
    const uint32_t frames = static_cast<uint32_t>(end - sums);
    StoreTone(c, i, t, AddPhases<kFirst, false>(t, PhaseOf(t.half, due, output), sums, nullptr, frames));
}

// The short call, made for each set of tones that may sound (kTones, bits
// 0 to 2), so that each tone costs little more than its loop: the first
// stores its sums into a small scratch, the next add to them, and the last
// adds the frames' values straight into the host's frames. A single tone
// needs no scratch at all.
template <int i, uint32_t kTones>
[[gnu::always_inline]] inline void SmallTone(PsgChip& c, uint32_t* sums, StereoFrame* frames, uint32_t count)
{
    if constexpr (((kTones >> i) & 1u) != 0) {
        constexpr bool kFirst = std::countr_zero(kTones) == i;
        constexpr bool kLast = std::bit_width(kTones) == i + 1;
        const ToneCycle t = CycleOf(c, i);
        const TonePhase start = PhaseOf(t.half, static_cast<uint32_t>(c.counter[i]),
                                        static_cast<uint32_t>(c.output[i]));
        StoreTone(c, i, t, AddPhases<kFirst, kLast>(t, start, sums, frames, count));
    }
}

// Whether the tones are in step: the count-down that was running when a
// period was written may end later than a half-period ahead.
template <uint32_t kTones>
[[gnu::always_inline]] inline bool InStep(const PsgChip& c)
{
    bool late = false;
    for (int i = 0; i < 3; ++i) {
        late = late || (((kTones >> i) & 1u) != 0 && c.counter[i] > c.period[i]);
    }
    return !late;
}

template <uint32_t kTones>
void SmallTones(PsgChip& c, StereoFrame* frames, uint32_t count)
{
    if (!InStep<kTones>(c)) [[unlikely]] {
        BlockCall(c, nullptr, frames, count);
        return;
    }
    uint32_t sums[kSmallFrames];
    SmallTone<0, kTones>(c, sums, frames, count);
    SmallTone<1, kTones>(c, sums, frames, count);
    SmallTone<2, kTones>(c, sums, frames, count);
}

}  // namespace

void AddFastTones(PsgChip& c, uint32_t mask, uint32_t* sums, uint32_t n, bool store)
{
    const int first = std::countr_zero(mask);
    if (store) {
        AddFastTone<true>(c, first, sums, n);
    } else {
        AddFastTone<false>(c, first, sums, n);
    }
    for (int i = first + 1; i < 3; ++i) {
        if ((mask >> i) & 1u) {
            AddFastTone<false>(c, i, sums, n);
        }
    }
}

const SmallCall kSmallTonesCalls[8] = {nullptr,        &SmallTones<1>, &SmallTones<2>, &SmallTones<3>,
                                       &SmallTones<4>, &SmallTones<5>, &SmallTones<6>, &SmallTones<7>};

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
