// The renderer's event loop: channels slow enough for at most one event a
// frame, and the call that mixes them with the per-frame ones.
#include "psg/psg_render.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace psg_render {

namespace {

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
constexpr uint32_t kClampedSum = 0x7FFFu << kFrameShift;  // a frame's value saturates at 32767
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


uint32_t FrameValue(uint32_t sum)
{
    return (sum > kClampedSum ? kClampedSum : sum) >> kFrameShift;
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
        const uint32_t eventFrame = (NextEvent<kTones, kNoise>(ch) - 1) >> kFrameShift;  // an event at the frame end belongs to it
        const uint32_t levelSum = ch.level << kFrameShift;
        StoreRun(out + (f - first), Min(eventFrame, end) - f, kValues ? FrameValue(levelSum) : levelSum);
        if (eventFrame >= end) {
            return;
        }
        const uint32_t frameEnd = (eventFrame + 1) << kFrameShift;
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
        StoreRun(out, count, kValues ? FrameValue(ch.level << kFrameShift) : ch.level << kFrameShift);
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

}  // namespace

void RenderCall(PsgChip& c, StereoFrame* frames, uint32_t count)
{
    assert(count >= 1 && count <= static_cast<uint32_t>(kMaxRenderFrames));
    const uint32_t span = count << kFrameShift;
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
        const uint32_t value = FrameValue(slow.level << kFrameShift);
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

}  // namespace psg_render
