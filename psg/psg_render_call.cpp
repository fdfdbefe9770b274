// The renderer's call: the silent channels held, blocks of sums from each
// sounding chip, and one pass adding their values into the host's frames.
#include "psg/psg_render.h"

#include <cassert>
#include <utility>

namespace psg_render {

namespace {

void AddToFrame(StereoFrame& frame, uint32_t value)
{
    frame.left = static_cast<int32_t>(static_cast<uint32_t>(frame.left) + value);
    frame.right = static_cast<int32_t>(static_cast<uint32_t>(frame.right) + value);
}

// The values of frames k... from one chip's clamped sums, or two chips'
// (kTwo). A fold, so that the adds are spelled out at every optimisation
// level and the compiler makes them a few vector operations.
template <bool kTwo, uint32_t... k>
[[gnu::always_inline]] inline void AddGroup(StereoFrame* frames, const uint32_t* a, const uint32_t* b,
                                            std::integer_sequence<uint32_t, k...>)
{
    const uint32_t values[] = {((a[k] >> kFrameShift) + (kTwo ? b[k] >> kFrameShift : 0u))...};
    (AddToFrame(frames[k], values[k]), ...);
}

template <uint32_t kFrames, bool kTwo>
[[gnu::always_inline]] inline void AddGroup(StereoFrame* frames, const uint32_t* a, const uint32_t* b)
{
    AddGroup<kTwo>(frames, a, b, std::make_integer_sequence<uint32_t, kFrames>{});
}

// Adds the values into the frames (b is read only with kTwo): eight frames
// at a time, then what is left as four, two and one, so that a short call
// needs no loop.
template <bool kTwo>
void AddValues(StereoFrame* frames, const uint32_t* a, const uint32_t* b, uint32_t count)
{
    uint32_t f = 0;
    for (; f + 8 <= count; f += 8) {
        AddGroup<8, kTwo>(frames + f, a + f, b + f);
    }
    if (count & 4u) {
        AddGroup<4, kTwo>(frames + f, a + f, b + f);
        f += 4;
    }
    if (count & 2u) {
        AddGroup<2, kTwo>(frames + f, a + f, b + f);
        f += 2;
    }
    if (count & 1u) {
        AddGroup<1, kTwo>(frames + f, a + f, b + f);
    }
}

// Above 32767 in all, the amplitudes can make a sum beyond the clamp.
bool Clamps(const PsgChip& c)
{
    return c.loudness > static_cast<int32_t>(kClampedSum >> kFrameShift);
}

// Whether the chip's sounding channels are all slow and have no event
// within a call of span units: then it adds one value throughout, its
// level times a frame.
bool NoEventWithin(const PsgChip& c, uint32_t span)
{
    bool none = (c.sounding & c.fast) == 0;
    for (int i = 0; i < 4; ++i) {
        none = none && (((c.sounding >> i) & 1u) == 0 || c.counter[i] > static_cast<int32_t>(span));
    }
    return none;
}

// The value of such a chip, which moves its channels on by the call.
uint32_t ConstantValue(PsgChip& c, uint32_t span)
{
    uint32_t level = 0;
    for (int i = 0; i < 4; ++i) {
        level += static_cast<uint32_t>(c.amplitude[i] * c.output[i]);  // a silent channel adds 0
        c.counter[i] -= static_cast<int32_t>(span & Mask(((c.sounding >> i) & 1u) != 0));
    }
    return FrameValue(level << kFrameShift);
}

// The chip's sums for the block's n frames, clamped, into sums (with room
// for kRunStores more): the slow channels store theirs, the fast ones add
// theirs frame by frame.
[[gnu::always_inline]] inline void ChipSums(PsgChip& c, EventBlock& events, uint32_t* sums, uint32_t n)
{
    const uint32_t fast = c.sounding & c.fast;
    const uint32_t slow = c.sounding & ~c.fast;
    const bool clamps = Clamps(c);
    if (slow != 0) {
        SlowSums(c, slow, events, sums, n, clamps && fast == 0);
    }
    if (fast & 7u) {
        AddFastTones(c, fast, sums, n, slow == 0);
    } else if (slow == 0) {
        StoreRun(sums, n, 0);  // the fast noise adds to 0
    }
    if (fast & 8u) {
        AddFastNoise(c, sums, n);
    }
    if (fast != 0 && clamps) {
        for (uint32_t f = 0; f < n; ++f) {
            sums[f] = Min(sums[f], kClampedSum);
        }
    }
}

}  // namespace

void RenderCall(PsgChip& first, PsgChip* second, StereoFrame* frames, uint32_t count)
{
    assert(count >= 1 && count <= static_cast<uint32_t>(kMaxRenderFrames));
    const uint32_t span = count << kFrameShift;
    HoldSilent(first, span);
    if (second != nullptr) {
        HoldSilent(*second, span);
    }
    // a and b: the chips that sound, in order; b may be null.
    PsgChip* a = first.sounding != 0 ? &first : second;
    PsgChip* b = a == &first && second != nullptr ? second : nullptr;
    b = b != nullptr && b->sounding != 0 ? b : nullptr;
    if (a == nullptr || a->sounding == 0) {
        return;
    }
    if (NoEventWithin(*a, span) && (b == nullptr || NoEventWithin(*b, span))) {
        // The common short call between two writes: one value throughout.
        const uint32_t value = ConstantValue(*a, span) + (b != nullptr ? ConstantValue(*b, span) : 0u);
        if (value != 0) {
            for (uint32_t f = 0; f < count; ++f) {
                AddToFrame(frames[f], value);
            }
        }
        return;
    }
    EventBlock events;
    uint32_t sumsA[kBlockFrames + kRunStores];
    uint32_t sumsB[kBlockFrames + kRunStores];
    for (uint32_t block = 0; block < count; block += kBlockFrames) {
        const uint32_t n = Min(kBlockFrames, count - block);
        ChipSums(*a, events, sumsA, n);
        if (b == nullptr) {
            AddValues<false>(frames + block, sumsA, sumsA, n);  // the second unread
        } else {
            ChipSums(*b, events, sumsB, n);
            AddValues<true>(frames + block, sumsA, sumsB, n);
        }
    }
}

}  // namespace psg_render
