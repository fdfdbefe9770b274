#pragma once
// Private to psg/: the pieces the renderer's files share. Nothing outside
// psg/ includes this header; the rest of the program renders through
// PsgRender and PsgRenderPair (psg/psg_chip.h).
//
// How a call is rendered (psg_render_call.cpp). The record already says of
// each channel whether it sounds and whether its period is shorter than a
// frame (PsgWrite keeps that in step), so a call starts without sorting
// anything out:
// - Silent channels have no event in the call (HoldSilent), and a chip
//   with none sounding costs nothing more.
// - A short call of chips sounding with fast tones alone, the shape of a
//   host's calls between the volume writes of digitised speech, goes
//   straight from the record to the host's frames (kSmallTonesCalls), one
//   chip after the other: no blocks, no events, code made for each set of
//   tones.
// - Frames go in blocks of up to kBlockFrames. Per block each sounding chip
//   makes one sum per frame in scratch, and one pass adds both chips'
//   values into the host's frames. Each channel takes its phase from the
//   record at a block's start and puts it back at the block's end, so the
//   record is always up to date between blocks.
// - Slow channels, a period of a frame or more (psg_render_events.cpp),
//   work by events: each drops its events into the frames they fall in, and
//   a walk over those frames stores the constant stretches between them.
// - Fast channels (psg_render_fast.cpp) add their on-time frame by frame: a
//   tone in closed form, the noise a frame's shifts at a time.
// Times count from the block's start: at most 1024 frames plus the longest
// period, 2046 * kMaxStep, which stays below 2^32. Sums are unsigned and
// wrap modulo 2^32 as the chip's own mix does, so a frame's sum can be built
// from changes of either sign. Inner loops work on locals: the host's frames
// and the scratch hold 32-bit integers, as the record does, and stores into
// them would otherwise make the compiler reload the record.

#include <cstdint>
#include <cstring>
#include <utility>

#include "psg/psg_chip.h"

namespace psg_render {

constexpr uint32_t kUnits = static_cast<uint32_t>(kFrameUnits);
constexpr uint32_t kClampedSum = 0x7FFFu << kFrameShift;  // a frame's value saturates at 32767
constexpr uint32_t kBlockFrames = 1024;                   // frames summed in scratch at a time
constexpr uint32_t kRunStores = 32;                       // entries of a run stored at a time
constexpr uint32_t kMarkWords = kBlockFrames / 64;        // a bit per frame of a block
constexpr uint32_t kSmallFrames = 16;                     // a call of fast tones this short skips the blocks

inline uint32_t Min(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

// All ones when b, else 0: selects without a branch.
inline uint32_t Mask(bool b)
{
    return 0u - static_cast<uint32_t>(b);
}

inline uint32_t FrameValue(uint32_t sum)
{
    return (sum > kClampedSum ? kClampedSum : sum) >> kFrameShift;
}

inline void AddToFrame(StereoFrame& frame, uint32_t value)
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

// Adds the values of count clamped sums into the frames, from a, or from a
// and b with kTwo (b is read only then): eight frames at a time, then what
// is left as four, two and one, so that a short call needs no loop.
template <bool kTwo>
[[gnu::always_inline]] inline void AddValues(StereoFrame* frames, const uint32_t* a, const uint32_t* b,
                                             uint32_t count)
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

// Writes value into count entries and possibly up to kRunStores - 1 beyond:
// a fixed number of stores, whatever the count, so that the lengths of runs
// steer no branch. What follows overwrites the excess.
[[gnu::always_inline]] inline void StoreRun(uint32_t* out, uint32_t count, uint32_t value)
{
    static_assert(kRunStores == 32, "eight stores of four entries");
    const uint32_t four[4] = {value, value, value, value};  // one vector register
    uint32_t f = 0;
    do {
        uint32_t* const p = out + f;
        std::memcpy(p, four, sizeof four);
        std::memcpy(p + 4, four, sizeof four);
        std::memcpy(p + 8, four, sizeof four);
        std::memcpy(p + 12, four, sizeof four);
        std::memcpy(p + 16, four, sizeof four);
        std::memcpy(p + 20, four, sizeof four);
        std::memcpy(p + 24, four, sizeof four);
        std::memcpy(p + 28, four, sizeof four);
        f += kRunStores;
    } while (f < count);
}

// Silent channels have no event within a call of span units: a held one
// (its event due within the call) ends where it began, the others count
// down. Nothing else in the call looks at them. Written lane by lane over
// the record's lanes, so that the compiler makes it a few vector operations.
inline void HoldSilent(PsgChip& c, uint32_t span)
{
    const int32_t units = static_cast<int32_t>(span);
    for (int i = 0; i < 4; ++i) {
        const int32_t countsDown = c.counter[i] > units ? -1 : 0;
        c.counter[i] -= units & countsDown & ~c.soundingLane[i];
    }
}

// Where the slow channels' events of one block fall. frames[i]: partial,
// the sum of each event's level change times the rest of frame i after it;
// levelChange, the sum of the changes. Frame i's bit in marks is set when
// it holds an event; only then does its entry count.
struct EventFrame {
    uint32_t partial;
    uint32_t levelChange;
};
struct EventBlock {
    uint64_t marks[kMarkWords];
    EventFrame frames[kBlockFrames];
};

// Stores the sums of n frames (1 to kBlockFrames) from the chip's slow
// channels, those in mask (not 0), into sums (with room for kRunStores
// more), clamped when clamp, and moves the channels on by the n frames.
void SlowSums(PsgChip& c, uint32_t mask, EventBlock& events, uint32_t* sums, uint32_t n, bool clamp);

// Add the channels' amplitude times their on-time in each of n frames to
// sums, and move them on by the n frames: the tones in mask (bits 0 to 2,
// not all 0), the first of them storing rather than adding when store, and
// the noise.
void AddFastTones(PsgChip& c, uint32_t mask, uint32_t* sums, uint32_t n, bool store);
void AddFastNoise(PsgChip& c, uint32_t* sums, uint32_t n);

// Adds a call of 1 to kSmallFrames frames of a chip whose sounding channels
// are all fast tones (toneSet not 0), and moves it on. Three tones at most
// sum to 3 * kFullScale, so such a chip never reaches the clamp.
using SmallCall = void (*)(PsgChip& c, StereoFrame* frames, uint32_t count);
extern const SmallCall kSmallTonesCalls[8];  // by toneSet; entry 0 is null
static_assert(3 * kFullScale <= static_cast<int32_t>(kClampedSum >> kFrameShift), "three tones never clamp");

// The general call of 1 to kMaxRenderFrames frames of sounding chips a and
// b (b may be null), their silent channels already held: blocks of sums.
void BlockCall(PsgChip& a, PsgChip* b, StereoFrame* frames, uint32_t count);

// One call of 1 to kMaxRenderFrames frames of one chip, or of two into the
// same frames when second is not null.
void RenderCall(PsgChip& first, PsgChip* second, StereoFrame* frames, uint32_t count);

}  // namespace psg_render
