// The renderer's call: the silent channels held, blocks of sums from each
// sounding chip, and one pass adding their values into the host's frames.
#include "psg/psg_render.h"

#include <cassert>
#include <initializer_list>

namespace psg_render {

namespace {

void AddToFrame(StereoFrame& frame, uint32_t value)
{
    frame.left = static_cast<int32_t>(static_cast<uint32_t>(frame.left) + value);
    frame.right = static_cast<int32_t>(static_cast<uint32_t>(frame.right) + value);
}

// Adds one chip's values, or the sum of two chips' (b not null), into the
// frames. Eight frames at a time, spelled out: the compiler turns them into
// a few vector operations without being asked to unroll.
template <bool kTwo>
void AddValues(StereoFrame* frames, const uint32_t* a, const uint32_t* b, uint32_t count)
{
    const auto value = [&](uint32_t f) { return a[f] + (kTwo ? b[f] : 0u); };
    uint32_t f = 0;
    for (; f + 8 <= count; f += 8) {
        for (uint32_t k = 0; k < 8; ++k) {
            AddToFrame(frames[f + k], value(f + k));
        }
    }
    for (; f < count; ++f) {
        AddToFrame(frames[f], value(f));
    }
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

// The chip's values for the block's n frames into out (with room for
// kRunStores more). Slow channels alone store values straight away; with
// fast ones they store sums, the fast ones add theirs frame by frame, and
// the sums become values last.
void ChipValues(PsgChip& c, EventBlock& events, uint32_t* out, uint32_t n)
{
    const uint32_t fast = c.sounding & c.fast;
    const uint32_t slow = c.sounding & ~c.fast;
    if (slow != 0) {
        SlowEntries(c, slow, events, out, n, fast == 0);
    } else {
        StoreRun(out, n, 0);  // the fast channels add theirs from 0
    }
    if (fast == 0) {
        return;
    }
    if (fast & 7u) {
        AddFastTones(c, fast, out, n);
    }
    if (fast & 8u) {
        AddFastNoise(c, out, n);
    }
    for (uint32_t f = 0; f < n; ++f) {
        out[f] = FrameValue(out[f]);
    }
}

}  // namespace

void RenderCall(PsgChip& first, PsgChip* second, StereoFrame* frames, uint32_t count)
{
    assert(count >= 1 && count <= static_cast<uint32_t>(kMaxRenderFrames));
    const uint32_t span = count << kFrameShift;
    PsgChip* chips[2];  // the chips that sound, in order
    int sounding = 0;
    bool eventless = true;
    for (PsgChip* c : {&first, second}) {
        if (c != nullptr) {
            HoldSilent(*c, span);
        }
        if (c != nullptr && c->sounding != 0) {
            chips[sounding++] = c;
            eventless = eventless && NoEventWithin(*c, span);
        }
    }
    if (sounding == 0) {
        return;
    }
    if (eventless) {
        // The common short call between two writes: one value throughout.
        uint32_t value = 0;
        for (int k = 0; k < sounding; ++k) {
            value += ConstantValue(*chips[k], span);
        }
        for (uint32_t f = 0; value != 0 && f < count; ++f) {
            AddToFrame(frames[f], value);
        }
        return;
    }
    EventBlock events;
    uint32_t values[2][kBlockFrames + kRunStores];
    for (uint32_t block = 0; block < count; block += kBlockFrames) {
        const uint32_t n = Min(kBlockFrames, count - block);
        for (int k = 0; k < sounding; ++k) {
            ChipValues(*chips[k], events, values[k], n);
        }
        if (sounding == 2) {
            AddValues<true>(frames + block, values[0], values[1], n);
        } else {
            AddValues<false>(frames + block, values[0], nullptr, n);
        }
    }
}

}  // namespace psg_render
