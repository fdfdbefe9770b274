#include "psg/psg_chip.h"

#include "psg/psg_test_access.h"

#include <bit>
#include <cstring>

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

// Rendering. The work goes by events, not by frames:
// - A silent channel has no event within a call (it is held, or its event
//   falls after the call), so only sounding channels are looked at.
// - A sounding channel whose period is a frame or more has at most one event
//   in a frame, and between two events of such channels every frame has the
//   same sum: the level (the amplitudes whose output is 1) times a frame. A
//   frame with events starts from the level, and each event that changes an
//   output moves the sum by the amplitude times the rest of the frame, up or
//   down. The noise counts only the shifts that change its output bit; they
//   are found ahead, several shifts at a time.
// - A channel with a shorter period has events in every frame and is mixed
//   per frame: a tone in closed form, the noise a frame's shifts at a time
//   by table, or shift by shift.
// Sums go into a block of scratch first, then into the host's frames. Runs
// are stored a fixed number of entries at a time, past their end if need be
// (what follows overwrites that), and every slow channel looks at an event
// frame without a branch: the event times steer hardly any branch, and
// mispredicted branches, not instructions, would otherwise cost the most.
//
// State is copied into locals, so that stores into the host's frames cannot
// alias it. Event times count from the start of the call: at most 16383
// frames plus the longest period, 2046 * kMaxStep, which stays below 2^32.
// Sums are unsigned and wrap modulo 2^32 as the chip's own mix does, so a
// frame's sum can be built from changes of either sign.

constexpr uint32_t kNoEvent = 0xFFFFFFFFu;  // later than the end of any call
constexpr uint32_t kClampedSum = 0x7FFF0000u;
constexpr uint32_t kUnits = static_cast<uint32_t>(kFrameUnits);
constexpr uint32_t kBlockFrames = 1024;  // frames summed in scratch at a time
constexpr uint32_t kRunStores = 32;      // entries of a run stored at a time
constexpr uint32_t kNoiseBatch = 64;     // noise output changes found ahead at a time

// Noise shifts many at a time. A shift is (lfsr >> 1) ^ (bit 0 ? feedback :
// 0), with feedback = taps >> 1. A feedback bit at position q reaches bit 0
// only q shifts after it enters, so the outputs of the next `reach` shifts
// follow from the register alone: with feedback bit 0 set (white noise) the
// output flips at shift k when bit k of the register is 1; without it the
// output after shift k is bit k. While the output stays, the feedback
// enters at every shift or at none.
struct NoiseJumps {
    uint32_t reach;       // 1 to 16
    uint32_t flips;       // all ones when feedback bit 0 is set, else 0
    uint32_t spread[17];  // [n]: the feedback of n shifts in a row
};

// Sounding channels with a period of a frame or more.
struct SlowChannels {
    uint32_t due[4];     // next event from the start of the call, kNoEvent if
                         // none; tones in the first slots, the noise in slot 3
    uint32_t change[4];  // the level change at that event: the amplitude,
                         // negated while the output is 1
    uint32_t period[3];
    int channel[3];      // the tone in each slot
    uint32_t level;      // sum of the amplitudes whose output is 1
    // The noise's output changes found ahead; changeAt[noiseNext] is due[3].
    uint32_t changeAt[kNoiseBatch + 1];
    uint32_t noiseNext;
    uint32_t noiseRefill;  // noiseNext that calls for more, or beyond the batch
    uint32_t noisePeriod;
    uint32_t lfsr;         // shifted up to the last change found
    uint32_t shiftDue;     // next shift not made yet
    uint32_t callEnd;
    NoiseJumps jumps;
};

// A tone with a half-period shorter than a frame. Its whole periods within a
// frame add a fixed on-time and leave its phase alone, so a frame comes down
// to those plus a rest shorter than one full period. Once the tone is in
// step (its next toggle at most a half-period away) its state is a phase:
// 0 to half - 1 in the on half, half to full - 1 in the off half.
struct FastTone {
    int channel;
    uint32_t amplitude;
    uint32_t half;     // half-period
    uint32_t full;     // full period, two toggles
    uint32_t rest;     // frame length modulo the full period
    uint32_t wholeOn;  // on-time of the whole periods in a frame
    bool inStep;
    uint32_t due;      // before it is in step, as in SlowChannels
    uint32_t output;
    uint32_t phase;    // once in step
};

// Noise that shifts more often than once a frame.
struct FastNoise {
    uint32_t amplitude;  // 0: none
    uint32_t period;
    uint32_t due;
    uint32_t output;
    uint32_t lfsr;
    uint32_t taps;
    const uint32_t* shiftTable;  // null: shift one by one
    uint32_t whole;              // whole periods in a frame
    uint32_t rest;               // frame length modulo the period
};

uint32_t Min(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

uint32_t Mask(bool b)
{
    return 0u - static_cast<uint32_t>(b);
}

uint32_t FrameValue(uint32_t sum)
{
    return (sum > kClampedSum ? kClampedSum : sum) >> 16;
}

void AddToFrame(StereoFrame& frame, uint32_t value)
{
    frame.left = static_cast<int32_t>(static_cast<uint32_t>(frame.left) + value);
    frame.right = static_cast<int32_t>(static_cast<uint32_t>(frame.right) + value);
}

// Adds count values to the frames. The eight adds are spelled out: the
// compiler turns them into a few vector adds without being asked to unroll.
void AddValues(StereoFrame* frames, const uint32_t* values, uint32_t count)
{
    const uint32_t* const end = values + count;
    const uint32_t* const eights = values + (count & ~7u);
    while (values != eights) {
        const uint32_t a = values[0];
        const uint32_t b = values[1];
        const uint32_t c = values[2];
        const uint32_t d = values[3];
        const uint32_t e = values[4];
        const uint32_t f = values[5];
        const uint32_t g = values[6];
        const uint32_t h = values[7];
        AddToFrame(frames[0], a);
        AddToFrame(frames[1], b);
        AddToFrame(frames[2], c);
        AddToFrame(frames[3], d);
        AddToFrame(frames[4], e);
        AddToFrame(frames[5], f);
        AddToFrame(frames[6], g);
        AddToFrame(frames[7], h);
        values += 8;
        frames += 8;
    }
    while (values != end) {
        AddToFrame(*frames++, *values++);
    }
}

// The helpers of the event loop are forced inline: the loop is instantiated
// for each set of channels, and the inliner gives up on some copies.

// Writes value into count entries and possibly up to kRunStores - 1 beyond.
// The stores are spelled out, so that they need no loop of their own.
[[gnu::always_inline]] inline void StoreRun(uint32_t* out, uint32_t count, uint32_t value)
{
    static_assert(kRunStores == 32, "four stores of eight entries");
    const uint64_t pair = (static_cast<uint64_t>(value) << 32) | value;
    const uint64_t eight[4] = {pair, pair, pair, pair};
    uint32_t f = 0;
    do {
        uint32_t* const p = out + f;
        std::memcpy(p, eight, sizeof eight);
        std::memcpy(p + 8, eight, sizeof eight);
        std::memcpy(p + 16, eight, sizeof eight);
        std::memcpy(p + 24, eight, sizeof eight);
        f += kRunStores;
    } while (f < count);
}

// Slot's event, if it falls by frameEnd: moves the frame's sum by the level
// change times the rest of the frame.
[[gnu::always_inline]] inline uint32_t TakeEvent(SlowChannels& ch, int slot, uint32_t frameEnd, uint32_t& sum)
{
    const uint32_t due = Mask(ch.due[slot] <= frameEnd);
    const uint32_t change = ch.change[slot] & due;
    sum += change * (frameEnd - ch.due[slot]);
    ch.level += change;
    ch.change[slot] -= 2 * change;
    return due;
}

NoiseJumps MakeNoiseJumps(uint32_t taps)
{
    NoiseJumps j{};
    const uint32_t feedback = taps >> 1;
    j.reach = 16;
    for (uint32_t bit = 15; bit >= 1; --bit) {
        if ((feedback >> bit) & 1u) {
            j.reach = bit;
        }
    }
    j.flips = Mask((feedback & 1u) != 0);
    for (uint32_t n = 0; n < 16; ++n) {
        j.spread[n + 1] = j.spread[n] ^ (feedback >> n);
    }
    return j;
}

// Finds the noise shifts that change the output bit, up to kNoiseBatch of
// them, making every shift up to the last one found, and sets due[3] to the
// first. After the last change in the call, due[3] becomes kNoEvent, with
// every shift up to the end of the call made.
void FindNoiseChanges(SlowChannels& ch)
{
    const NoiseJumps& j = ch.jumps;
    const uint32_t period = ch.noisePeriod;
    uint32_t found = 0;
    while (found < kNoiseBatch && ch.shiftDue <= ch.callEnd) {
        // Bit k - 1 is set when shift k changes the output.
        const uint32_t changes = ((ch.lfsr >> 1) ^ (ch.lfsr & ~j.flips)) & ((1u << j.reach) - 1u);
        uint32_t shifts = changes != 0 ? static_cast<uint32_t>(std::countr_zero(changes)) + 1 : j.reach;
        const bool beyond = ch.shiftDue + uint64_t{shifts - 1} * period > ch.callEnd;
        if (beyond) {
            shifts = (ch.callEnd - ch.shiftDue) / period + 1;  // the others fall after the call
        }
        ch.lfsr = (ch.lfsr >> shifts) ^ (j.spread[shifts] & Mask(ch.lfsr & 1u));
        const uint32_t at = ch.shiftDue + (shifts - 1) * period;
        ch.shiftDue = at + period;
        ch.changeAt[found] = at;
        found += changes != 0 && !beyond ? 1u : 0u;
    }
    const bool more = found == kNoiseBatch;
    ch.changeAt[found] = kNoEvent;
    ch.noiseNext = 0;
    ch.noiseRefill = more ? found : kNoiseBatch + 1;
    ch.due[3] = ch.changeAt[0];
}

template <int kTones, bool kNoise>
uint32_t NextEvent(const SlowChannels& ch)
{
    const uint32_t first = Min(kTones > 0 ? ch.due[0] : kNoEvent, kTones > 1 ? ch.due[1] : kNoEvent);
    const uint32_t second = Min(kTones > 2 ? ch.due[2] : kNoEvent, kNoise ? ch.due[3] : kNoEvent);
    return Min(first, second);
}

// Sums, or values when kValues, of frames first to first + count - 1 (at
// most kBlockFrames) from the first kTones tone slots and, if kNoise, the
// noise of ch, into out (with room for kRunStores more).
template <int kTones, bool kNoise, bool kValues>
void SlowSums(SlowChannels& ch, uint32_t* out, uint32_t first, uint32_t count)
{
    const uint32_t end = first + count;
    uint32_t f = first;
    for (;;) {
        const uint32_t eventFrame = (NextEvent<kTones, kNoise>(ch) - 1) >> 16;  // an event at the frame end belongs to it
        const uint32_t levelSum = ch.level << 16;
        StoreRun(out + (f - first), Min(eventFrame, end) - f, kValues ? FrameValue(levelSum) : levelSum);
        if (eventFrame >= end) {
            return;
        }
        const uint32_t frameEnd = (eventFrame + 1) << 16;
        uint32_t sum = levelSum;
        if (kTones > 0) {
            ch.due[0] += ch.period[0] & TakeEvent(ch, 0, frameEnd, sum);
        }
        if (kTones > 1) {
            ch.due[1] += ch.period[1] & TakeEvent(ch, 1, frameEnd, sum);
        }
        if (kTones > 2) {
            ch.due[2] += ch.period[2] & TakeEvent(ch, 2, frameEnd, sum);
        }
        if (kNoise) {
            ch.noiseNext += TakeEvent(ch, 3, frameEnd, sum) & 1u;
            if (ch.noiseNext == ch.noiseRefill) {
                FindNoiseChanges(ch);
            } else {
                ch.due[3] = ch.changeAt[ch.noiseNext];
            }
        }
        out[eventFrame - first] = kValues ? FrameValue(sum) : sum;
        f = eventFrame + 1;
    }
}

template <bool kValues>
void SlowSums(SlowChannels& ch, int tones, bool noise, uint32_t* out, uint32_t first, uint32_t count)
{
    switch (tones * 2 + (noise ? 1 : 0)) {
    case 0:
        StoreRun(out, count, kValues ? FrameValue(ch.level << 16) : ch.level << 16);
        break;
    case 1:
        SlowSums<0, true, kValues>(ch, out, first, count);
        break;
    case 2:
        SlowSums<1, false, kValues>(ch, out, first, count);
        break;
    case 3:
        SlowSums<1, true, kValues>(ch, out, first, count);
        break;
    case 4:
        SlowSums<2, false, kValues>(ch, out, first, count);
        break;
    case 5:
        SlowSums<2, true, kValues>(ch, out, first, count);
        break;
    case 6:
        SlowSums<3, false, kValues>(ch, out, first, count);
        break;
    default:
        SlowSums<3, true, kValues>(ch, out, first, count);
        break;
    }
}

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

// Adds the tone's amplitude times its on-time to the sums of frames first
// to first + count - 1.
void AddFastTone(FastTone& t, uint32_t* sums, uint32_t first, uint32_t count)
{
    uint32_t f = 0;
    while (!t.inStep && f < count) {
        const uint32_t frameStart = (first + f) << 16;
        if (t.due - frameStart <= t.half) {
            t.phase = (t.output ? t.half : t.full) - (t.due - frameStart);
            t.inStep = true;
            break;
        }
        // Not in step yet: the count-down that was running when the period
        // was written ends later than a half-period from here.
        const uint32_t frameEnd = frameStart + kUnits;
        uint32_t onTime = t.output << 16;
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

// The tone's output bit after the call that ends at callEnd; due becomes its
// next toggle as a time from the call's start.
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

// Several noise shifts at once, by table. n shifts (1 to kTableShifts) XOR
// the register shifted right by n with a value that depends only on its low
// n bits, and the outputs after the first n - 1 shifts also depend only on
// those: a feedback bit above bit 0 reaches bit 0 no sooner than 13 shifts
// after it enters. Entry (1 << n) - 2 + low holds that value in its low 16
// bits and the count of those outputs that are 1 above them. A shift made
// by table costs one load instead of a chain of dependent operations.
constexpr uint32_t kTableShifts = 8;
constexpr uint32_t kTableEntries = 2 * ((1u << kTableShifts) - 1);

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
            t.entry[(1u << n) - 2 + low] = lfsr | (ons << 16);
        }
    }
    return t;
}

constexpr NoiseShiftTable kWhiteShifts = MakeNoiseShiftTable(kWhiteNoiseTaps);
constexpr NoiseShiftTable kPeriodicShifts = MakeNoiseShiftTable(kPeriodicNoiseTaps);

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

// Adds the noise's amplitude times its on-time to the sums of frames first
// to first + count - 1. With n shifts in a frame, the output o0 before them
// lasting from the frame start to the first, the outputs o1 to on after each
// lasting a whole period, and on running on a period past the frame end:
// on-time = o0 * (first shift - frame start) + period * (o1 + ... + on)
//           - on * (next shift - frame end).
void AddFastNoise(FastNoise& n, uint32_t* sums, uint32_t first, uint32_t count)
{
    const uint32_t feedback = n.taps >> 1;
    uint32_t frameStart = first << 16;
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
        lfsr = (lfsr >> shifts) ^ (entry & 0xFFFFu);
        const uint32_t last = lfsr & 1u;
        const uint32_t onTime = output * toShift + n.period * ((entry >> 16) + last) - last * toNext;
        sums[f] += n.amplitude * onTime;
        output = last;
        toShift = toNext;
    }
    n.due = ((first + count) << 16) + toShift;
    n.lfsr = lfsr;
    n.output = output;
}

// One call of 1 to kMaxRenderFrames frames.
void RenderCall(PsgChip& c, StereoFrame* frames, uint32_t count)
{
    const uint32_t span = count << 16;
    SlowChannels slow;  // the noise's batch is filled as it is needed
    for (int i = 0; i < 4; ++i) {
        slow.due[i] = kNoEvent;  // an unused slot
        slow.change[i] = 0;
    }
    slow.level = 0;
    int slowTones = 0;
    bool slowNoise = false;
    FastTone fast[3];
    int fastTones = 0;
    FastNoise noise{};
    for (int i = 0; i < 4; ++i) {
        const uint32_t amplitude = static_cast<uint32_t>(c.amplitude[i]);
        const uint32_t period = static_cast<uint32_t>(c.period[i]);
        const uint32_t due = static_cast<uint32_t>(c.counter[i]);
        const uint32_t output = static_cast<uint32_t>(c.output[i]);
        if (amplitude == 0) {
            // No event in this call: a held channel ends where it began,
            // the others count down.
            if (c.counter[i] > static_cast<int32_t>(span)) {
                c.counter[i] -= static_cast<int32_t>(span);
            }
            continue;
        }
        const uint32_t change = output ? 0u - amplitude : amplitude;
        if (i == 3 && period < kUnits) {
            noise = MakeFastNoise(amplitude, period, due, output, c.lfsr, c.noiseTaps);
        } else if (i == 3) {
            slowNoise = true;
            slow.change[3] = change;
            slow.level += amplitude * output;
            slow.noisePeriod = period;
            slow.lfsr = c.lfsr;
            slow.shiftDue = due;
            slow.callEnd = span;
            slow.jumps = MakeNoiseJumps(c.noiseTaps);
            FindNoiseChanges(slow);
        } else if (period < kUnits) {
            fast[fastTones++] = MakeFastTone(i, amplitude, period, due, output);
        } else {
            const int slot = slowTones++;
            slow.due[slot] = due;
            slow.change[slot] = change;
            slow.period[slot] = period;
            slow.channel[slot] = i;
            slow.level += amplitude * output;
        }
    }
    const bool perFrame = fastTones != 0 || noise.amplitude != 0;
    if (!perFrame && slowTones == 0 && !slowNoise) {
        return;  // all four silent
    }

    if (!perFrame && NextEvent<3, true>(slow) > span) {
        // No event in the whole call: one value throughout.
        const uint32_t value = FrameValue(slow.level << 16);
        for (uint32_t f = 0; value != 0 && f < count; ++f) {
            AddToFrame(frames[f], value);
        }
    } else if (!perFrame) {
        uint32_t values[kBlockFrames + kRunStores];
        for (uint32_t block = 0; block < count; block += kBlockFrames) {
            const uint32_t n = Min(kBlockFrames, count - block);
            SlowSums<true>(slow, slowTones, slowNoise, values, block, n);
            AddValues(frames + block, values, n);
        }
    } else {
        uint32_t sums[kBlockFrames + kRunStores];
        for (uint32_t block = 0; block < count; block += kBlockFrames) {
            const uint32_t n = Min(kBlockFrames, count - block);
            SlowSums<false>(slow, slowTones, slowNoise, sums, block, n);
            for (int t = 0; t < fastTones; ++t) {
                AddFastTone(fast[t], sums, block, n);
            }
            if (noise.amplitude != 0) {
                AddFastNoise(noise, sums, block, n);
            }
            for (uint32_t f = 0; f < n; ++f) {
                sums[f] = FrameValue(sums[f]);
            }
            AddValues(frames + block, sums, n);
        }
    }

    for (int slot = 0; slot < slowTones; ++slot) {
        const int i = slow.channel[slot];
        c.counter[i] = static_cast<int32_t>(slow.due[slot] - span);
        c.output[i] = slow.change[slot] == static_cast<uint32_t>(c.amplitude[i]) ? 0 : 1;
    }
    for (int t = 0; t < fastTones; ++t) {
        uint32_t due = 0;
        c.output[fast[t].channel] = static_cast<int32_t>(FastToneOutput(fast[t], span, due));
        c.counter[fast[t].channel] = static_cast<int32_t>(due - span);
    }
    if (slowNoise) {
        c.counter[3] = static_cast<int32_t>(slow.shiftDue - span);
        c.output[3] = static_cast<int32_t>(slow.lfsr & 1u);
        c.lfsr = slow.lfsr;
    } else if (noise.amplitude != 0) {
        c.counter[3] = static_cast<int32_t>(noise.due - span);
        c.output[3] = static_cast<int32_t>(noise.output);
        c.lfsr = noise.lfsr;
    }
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
    PsgChip& c = chips[chip];
    // Longer calls than the counters allow render as consecutive calls.
    while (count > 0) {
        const int32_t piece = count < kMaxRenderFrames ? count : kMaxRenderFrames;
        RenderCall(c, frames, static_cast<uint32_t>(piece));
        frames += piece;
        count -= piece;
    }
}
