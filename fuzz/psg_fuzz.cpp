// Drives both chips with random resets, level builds, writes and renders,
// and checks every render against a plain event-by-event model of the chip.
//
// Input: a sequence of operations, each an op byte and its operands. Op byte
// bit 0 is the chip, bits 1-3 the kind:
//   0 reset:  byte b; b < 0x80 picks kRates[b % size], otherwise a 32-bit
//             word w picks the rate 4 + w % 3997378 (4 to 3997381 Hz)
//   1 levels: 32-bit gain, any value
//   2-4 write: one byte
//   5 write:  two bytes (a latch and its data, usually)
//   6 render: 16-bit word: bits 0-13 count, bit 14 frames start with
//             arbitrary values from the next byte, bit 15 negated count
//   7 render: byte: bits 0-5 count, bit 6 arbitrary start values
// Multi-byte operands are little endian; a missing byte reads as 0.
// A chip is reset at 44100 Hz before its first other operation, as the
// device does; levels may come first, as they do in the device.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/chip_ops.h"
#include "fuzz/fuzz_input.h"
#include "psg/psg_chip.h"
#include "tests/support/psg_stand_in.h"

namespace {

constexpr int32_t kRates[] = {4, 7800, 11025, 22050, 44100, 48000, 96000, 249600, 3997381, 3997380, 5, 1000};

// Work per input, in frames plus channel events, so that short periods and
// long renders do not make single inputs slow.
constexpr int64_t kWorkBudget = int64_t{1} << 21;

StereoFrame frames[kMaxRenderFrames];
StereoFrame initial[kMaxRenderFrames];

// The chip's render state, advanced one event at a time with 64-bit times.
struct Model {
    int64_t counter[4];
    int32_t output[4];
    uint32_t lfsr;
};

uint32_t ModelFrame(Model& m, const PsgChip& c)
{
    uint64_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        int64_t onTime = 0;
        int64_t pos = 0;
        while (m.counter[i] <= kFrameUnits) {
            if (m.output[i]) {
                onTime += m.counter[i] - pos;
            }
            pos = m.counter[i];
            if (i < 3) {
                m.output[i] ^= 1;
            } else {
                if (m.lfsr & 1u) {
                    m.lfsr ^= c.noiseTaps;
                }
                m.lfsr >>= 1;
                m.output[3] = static_cast<int32_t>(m.lfsr & 1u);
            }
            m.counter[i] += c.period[i];
        }
        if (m.output[i]) {
            onTime += kFrameUnits - pos;
        }
        m.counter[i] -= kFrameUnits;
        sum += static_cast<uint64_t>(c.amplitude[i]) * static_cast<uint64_t>(onTime);
    }
    if (sum > 0x7FFF0000u) {
        sum = 0x7FFF0000u;
    }
    return static_cast<uint32_t>(sum >> 16);
}

// Everything but the render state, which must survive a render unchanged.
PsgChip WithoutRenderState(const PsgChip& c)
{
    PsgChip out;
    std::memcpy(&out, &c, sizeof out);
    std::memset(out.counter, 0, sizeof out.counter);
    std::memset(out.output, 0, sizeof out.output);
    out.lfsr = 0;
    return out;
}

bool SameBytes(const PsgChip& a, const PsgChip& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckState(const PsgChip& c)
{
    for (int i = 0; i < 4; ++i) {
        Check(c.counter[i] >= 1, "counter below 1");
        Check(c.output[i] == 0 || c.output[i] == 1, "output bit not 0 or 1");
        Check(c.period[i] >= 1 && c.period[i] <= 2046 * c.step, "period out of range");
        Check(c.amplitude[i] >= 0 && c.amplitude[i] <= kFullScale, "amplitude out of range");
    }
    Check(c.output[3] == static_cast<int32_t>(c.lfsr & 1u), "noise output is not bit 0 of the register");
}

void Render(int chip, int32_t count, bool arbitrary, uint32_t seed, int64_t& budget)
{
    const PsgChip& c = StandInChip(chip);
    const PsgChip other = StandInChip(1 - chip);
    const PsgChip before = StandInChip(chip);

    if (count <= 0) {
        FillFuzzFrames(frames, 16, arbitrary, seed, initial);
        PsgRender(chip, frames, count);
        Check(SameBytes(before, c), "a render of no frames changed the chip");
        Check(std::memcmp(frames, initial, 16 * sizeof(StereoFrame)) == 0,
              "a render of no frames changed the buffer");
        return;
    }

    int64_t perFrame = 1;
    for (int i = 0; i < 4; ++i) {
        perFrame += kFrameUnits / c.period[i] + 1;
    }
    const int64_t affordable = budget / perFrame;
    if (affordable < count) {
        count = static_cast<int32_t>(affordable);
    }
    if (count == 0) {
        return;
    }
    budget -= count * perFrame;

    Model m{};
    const int64_t span = int64_t{count} * kFrameUnits;
    for (int i = 0; i < 4; ++i) {
        m.counter[i] = c.counter[i];
        m.output[i] = c.output[i];
        if (c.amplitude[i] == 0 && m.counter[i] <= span) {
            m.counter[i] += span;  // silent channels make no events
        }
    }
    m.lfsr = c.lfsr;

    FillFuzzFrames(frames, count, arbitrary, seed, initial);
    PsgRender(chip, frames, count);

    for (int32_t f = 0; f < count; ++f) {
        const uint32_t added = static_cast<uint32_t>(frames[f].left) - static_cast<uint32_t>(initial[f].left);
        const uint32_t addedRight = static_cast<uint32_t>(frames[f].right) - static_cast<uint32_t>(initial[f].right);
        Check(added <= 32767u, "frame value outside 0 to 32767");
        Check(added == addedRight, "left and right differ");
        Check(added == ModelFrame(m, c), "frame value differs from the event model");
    }
    for (int i = 0; i < 4; ++i) {
        Check(m.counter[i] == c.counter[i], "counter differs from the event model");
        Check(m.output[i] == c.output[i], "output differs from the event model");
    }
    Check(m.lfsr == c.lfsr, "noise register differs from the event model");
    Check(SameBytes(WithoutRenderState(before), WithoutRenderState(c)), "render changed more than its state");
    Check(SameBytes(other, StandInChip(1 - chip)), "render touched the other chip");
    CheckState(c);
}

// Resets, level builds, writes and renders, each checked as it is made.
struct ChipChecks {
    int64_t budget = kWorkBudget;

    int32_t Rate(FuzzReader& in)
    {
        const uint32_t b = in.Byte();
        if (b < 0x80) {
            return kRates[b % (sizeof kRates / sizeof kRates[0])];
        }
        return kMinRateHz + static_cast<int32_t>(in.Word32() % uint32_t{kMaxRateHz - kMinRateHz + 1});
    }

    void AfterReset(int chip)
    {
        const PsgChip& c = StandInChip(chip);
        Check(c.step >= 1 && c.step <= kMaxStep, "rate inside the range gives a step outside it");
        CheckState(c);
    }

    void AfterLevels(int chip)
    {
        const LevelTable& t = StandInChip(chip).levels;
        Check(t.level[15] == 0, "level 15 is not off");
        for (int i = 0; i < 15; ++i) {
            Check(t.level[i] >= t.level[i + 1] && t.level[i] <= kFullScale, "level table not falling");
        }
    }

    void Op(uint32_t kind, int chip, FuzzReader& in)
    {
        switch (kind) {
        case 2:
        case 3:
        case 4:
            PsgWrite(chip, in.Byte());
            CheckState(StandInChip(chip));
            break;
        case 5:
            PsgWrite(chip, in.Byte());
            PsgWrite(chip, in.Byte());
            CheckState(StandInChip(chip));
            break;
        case 6: {
            const uint32_t w = in.Word16();
            int32_t count = static_cast<int32_t>(w & 0x3FFFu);
            if (w & 0x8000u) {
                count = -count;
            }
            const bool arbitrary = (w & 0x4000u) != 0;
            Render(chip, count, arbitrary, arbitrary ? in.Byte() : 0u, budget);
            break;
        }
        default: {
            const uint32_t b = in.Byte();
            const bool arbitrary = (b & 0x40u) != 0;
            Render(chip, static_cast<int32_t>(b & 0x3Fu), arbitrary, arbitrary ? in.Byte() : 0u, budget);
            break;
        }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    ChipChecks checks;
    RunChipOps(in, checks);
    return 0;
}
