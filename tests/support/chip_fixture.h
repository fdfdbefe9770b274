#pragma once
// What the tests of the chip and of the device share about the stand-in's
// chips beyond tests/support/chip_state.h: the checks of a snapshot and of
// the reset state, and the fixture of a chip as reset leaves it.

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "tests/support/chip_state.h"

// Values as runs of (value, frames).
inline std::vector<int32_t> Runs(std::initializer_list<std::pair<int32_t, int>> runs)
{
    std::vector<int32_t> out;
    for (const auto& [value, frames] : runs) {
        out.insert(out.end(), static_cast<size_t>(frames), value);
    }
    return out;
}

// Tone 0 at period register 254 (2941066 units) and full level, at 44100 Hz
// and gain 40: the first 100 frames after its writes. It toggles to 1 at
// 11579 (on-time 53957), to 0 at 45 frames + 3525, to 1 at 89 frames + 61007.
inline const std::vector<int32_t> kToneFrames =
    Runs({{8992, 1}, {10922, 44}, {587, 1}, {0, 43}, {754, 1}, {10922, 10}});
// White noise at shift rate 0 and full level, same rate and gain: the first
// 24 frames.
inline const std::vector<int32_t> kNoiseFrames =
    Runs({{10922, 5}, {9070, 1}, {0, 11}, {9413, 1}, {10922, 4}, {8649, 1}, {0, 1}});

inline void ExpectChips(const ChipPair& expected, const char* what)
{
    SCOPED_TRACE(what);
    EXPECT_TRUE(SameChip(StandInChip(0), expected[0])) << "chip 0";
    EXPECT_TRUE(SameChip(StandInChip(1), expected[1])) << "chip 1";
}

// What a reset leaves, whatever came before: registers 0 and 15 in turn,
// nothing latched, the seed in the shift register, every channel silent at
// the step's period with its count-down full, the noise output 1.
inline void ExpectResetState(int chip, int32_t rateHz, int32_t step, const LevelRow& levels)
{
    SCOPED_TRACE(::testing::Message() << "chip " << chip);
    const PsgChip& c = StandInChip(chip);
    EXPECT_EQ(c.sampleRate, rateHz);
    EXPECT_EQ(c.step, step);
    EXPECT_EQ(StandInLevels(chip), levels);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(c.regs[i], i % 2 == 0 ? 0 : 15) << "register " << i;
    }
    EXPECT_EQ(c.latched, 0);
    EXPECT_EQ(c.lfsr, 0xF35u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(c.amplitude[i], 0) << "channel " << i;
        EXPECT_EQ(c.period[i], step) << "channel " << i;  // the noise too, whatever its control said
        EXPECT_EQ(c.counter[i], step) << "channel " << i;
        EXPECT_EQ(c.output[i], i == 3 ? 1 : 0) << "channel " << i;
    }
}

// Chip 0 reset at 44100 Hz (step 11579) with the table of volume offset 0.
class PsgAfterReset : public ::testing::Test {
protected:
    void SetUp() override
    {
        PsgReset(0, kClockHz, 44100);
        PsgBuildLevels(0, 40);
    }
    static PsgChip& Chip() { return StandInChip(0); }
    static constexpr int32_t kStep = 11579;
};
