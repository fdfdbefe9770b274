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

#include "psg/psg_chip.h"

namespace psg_render {

constexpr uint32_t kUnits = static_cast<uint32_t>(kFrameUnits);
constexpr uint32_t kClampedSum = 0x7FFFu << kFrameShift;  // a frame's value saturates at 32767
constexpr uint32_t kBlockFrames = 1024;                   // frames summed in scratch at a time
constexpr uint32_t kRunStores = 32;                       // entries of a run stored at a time
constexpr uint32_t kMarkWords = kBlockFrames / 64;        // a bit per frame of a block

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
// down. Nothing else in the call looks at them. Written lane by lane over a
// mask per channel, so that the compiler makes it a few vector operations.
struct SilentLanes {
    int32_t lane[16][4];  // [sounding][i]: all ones when channel i is silent
};
constexpr SilentLanes MakeSilentLanes()
{
    SilentLanes t{};
    for (uint32_t sounding = 0; sounding < 16; ++sounding) {
        for (uint32_t i = 0; i < 4; ++i) {
            t.lane[sounding][i] = ((sounding >> i) & 1u) != 0 ? 0 : -1;
        }
    }
    return t;
}
inline constexpr SilentLanes kSilentLanes = MakeSilentLanes();

inline void HoldSilent(PsgChip& c, uint32_t span)
{
    const int32_t units = static_cast<int32_t>(span);
    const int32_t* const silent = kSilentLanes.lane[c.sounding & 15u];
    for (int i = 0; i < 4; ++i) {
        const int32_t countsDown = c.counter[i] > units ? -1 : 0;
        c.counter[i] -= units & countsDown & silent[i];
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

// One call of 1 to kMaxRenderFrames frames of one chip, or of two into the
// same frames when second is not null.
void RenderCall(PsgChip& first, PsgChip* second, StereoFrame* frames, uint32_t count);

}  // namespace psg_render
