#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <initializer_list>

#include "psg/psg_chip.h"
#include "tests/support/level_tables.h"
#include "tests/support/psg_stand_in.h"

namespace {

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

}  // namespace

TEST(PsgReset, StepAt44100)
{
    PsgReset(0, kClockHz, 44100);
    EXPECT_EQ(StandInChip(0).step, 11579);
}

// Step per rate, and the periods that follow from it: noise at shift rates
// 0 to 2, and the longest tone (register 1023).
TEST(PsgReset, StepAndDerivedPeriodsPerRate)
{
    struct Row {
        int32_t rateHz;
        int32_t step;
        int32_t noise[3];
        int32_t longestTone;
    };
    const Row rows[] = {
        {11025, 2894, {92608, 185216, 370432}, 2960562},
        {22050, 5789, {185248, 370496, 740992}, 5922147},
        {44100, 11579, {370528, 741056, 1482112}, 11845317},
        {48000, 12603, {403296, 806592, 1613184}, 12892869},
        {96000, 25206, {806592, 1613184, 3226368}, 25785738},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rateHz);
        PsgReset(1, kClockHz, row.rateHz);
        const PsgChip& c = StandInChip(1);
        EXPECT_EQ(c.sampleRate, row.rateHz);
        EXPECT_EQ(c.step, row.step);
        for (uint32_t rate = 0; rate < 3; ++rate) {
            PsgWrite(1, 0xE0 | rate);
            EXPECT_EQ(c.period[3], row.noise[rate]) << "shift rate " << rate;
        }
        Write(1, {0x8F, 0x3F});  // tone 0 register 1023
        EXPECT_EQ(c.regs[0], 1023);
        EXPECT_EQ(c.period[0], row.longestTone);
    }
}

// The ends of the rate range the renderer supports: steps 1 and 1049568.
TEST(PsgReset, StepAtTheEndsOfTheRateRange)
{
    EXPECT_EQ(PsgStepFor(kClockHz, 4), 1);
    EXPECT_EQ(PsgStepFor(kClockHz, 3), 0);
    EXPECT_EQ(PsgStepFor(kClockHz, 3997381), kMaxStep);
    EXPECT_EQ(PsgStepFor(kClockHz, 3997382), kMaxStep + 1);
}

TEST(PsgReset, RestoresResetStateAndKeepsLevelsAndTaps)
{
    PsgReset(0, kClockHz, 44100);
    PsgBuildLevels(0, 40);
    Write(0, {0x8E, 0x0F, 0x90, 0xB4, 0xD2, 0xE5, 0xF0, 0xAF, 0x3F});
    StandInChip(0).counter[1] = 777;
    StandInChip(0).output[0] = 1;
    const auto levels = StandInLevels(0);

    PsgReset(0, kClockHz, 48000);
    const PsgChip& c = StandInChip(0);
    EXPECT_EQ(c.sampleRate, 48000);
    EXPECT_EQ(c.step, 12603);
    EXPECT_EQ(StandInLevels(0), levels);
    EXPECT_EQ(c.noiseTaps, kWhiteNoiseTaps);
    EXPECT_EQ(c.latched, 0);
    EXPECT_EQ(c.lfsr, 0xF35u);
    const int32_t regs[8] = {0, 15, 0, 15, 0, 15, 0, 15};
    const int32_t outputs[4] = {0, 0, 0, 1};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(c.regs[i], regs[i]) << "register " << i;
    }
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.amplitude[i], 0);
        EXPECT_EQ(c.period[i], 12603);  // the noise too, whatever its control said
        EXPECT_EQ(c.counter[i], 12603);
        EXPECT_EQ(c.output[i], outputs[i]);
    }
}

// Level curves per gain, truncated, clamped at full scale, entry 15 off.
TEST(PsgBuildLevels, CurvePerGain)
{
    const LevelRow gain40 = kLevelsGain40;
    const struct {
        int32_t gain;
        LevelRow levels;
    } rows[] = {
        {0, kLevelsGain0},
        {20, {10922, 10922, 10921, 8675, 6891, 5473, 4348, 3453, 2743, 2179, 1731, 1374, 1092, 867, 689, 0}},
        {40, gain40},
        {45, {10922, 10922, 10922, 10922, 10922, 9734, 7732, 6141, 4878, 3875, 3078, 2445, 1942, 1542, 1225, 0}},
        {60, kLevelsGain60},
        {100, {10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10921, 8675, 6891, 5473, 4348, 0}},
        {255, {10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 0}},
        {-1, {10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 10922, 0}},
        {-216, gain40},  // only the low 8 bits count
        {256 + 40, gain40},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.gain);
        PsgBuildLevels(1, row.gain);
        EXPECT_EQ(StandInLevels(1), row.levels);
    }
}

TEST_F(PsgAfterReset, LatchAndDataSetTonePeriod)
{
    Write(0, {0x8E, 0x0F});
    EXPECT_EQ(Chip().regs[0], 254);
    EXPECT_EQ(Chip().period[0], 2941066);
    // A later latch replaces bits 0-3 only; bit 6 of a data byte is ignored.
    PsgWrite(0, 0x83);
    EXPECT_EQ(Chip().regs[0], 243);
    PsgWrite(0, 0x40 | 0x01);
    EXPECT_EQ(Chip().regs[0], 19);
    EXPECT_EQ(Chip().period[0], 19 * kStep);
}

TEST_F(PsgAfterReset, DataByteWithoutLatchGoesToToneZero)
{
    PsgWrite(0, 0x0F);
    EXPECT_EQ(Chip().regs[0], 240);
    EXPECT_EQ(Chip().period[0], 240 * kStep);
}

TEST_F(PsgAfterReset, PeriodRegisterZeroActsAsOne)
{
    Write(0, {0xA5, 0x01});  // tone 1 = 21 first, so the zero rule has work to do
    Write(0, {0xA0, 0x00});
    EXPECT_EQ(Chip().regs[2], 0);
    EXPECT_EQ(Chip().period[1], kStep);
    PsgWrite(0, 0x80);
    EXPECT_EQ(Chip().period[0], kStep);
}

TEST_F(PsgAfterReset, AttenuationSamplesTheLevelTable)
{
    const struct {
        uint32_t latch;
        int channel;
        int32_t amplitude;
    } rows[] = {
        {0x90, 0, 10922}, {0x94, 0, 10921}, {0x9F, 0, 0},    {0xB5, 1, 8675},
        {0xDE, 2, 1092},  {0xF6, 3, 6891},  {0xFF, 3, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.latch);
        PsgWrite(0, row.latch);
        EXPECT_EQ(Chip().amplitude[row.channel], row.amplitude);
        EXPECT_EQ(Chip().regs[2 * row.channel + 1], static_cast<int32_t>(row.latch & 0x0F));
    }
}

TEST_F(PsgAfterReset, DataAfterAttenuationOrNoiseLatchIsDropped)
{
    Write(0, {0x8E, 0x0F});
    Write(0, {0x91, 0x3F});
    EXPECT_EQ(Chip().regs[1], 1);
    EXPECT_EQ(Chip().amplitude[0], 10922);  // levels[1] at gain 40
    EXPECT_EQ(Chip().regs[0], 254);
    EXPECT_EQ(Chip().period[0], 2941066);

    Write(0, {0xE5, 0x3F});
    EXPECT_EQ(Chip().regs[6], 5);
    EXPECT_EQ(Chip().period[3], 64 * kStep);
    EXPECT_EQ(Chip().regs[0], 254);
}

TEST_F(PsgAfterReset, GainChangeWaitsForTheNextAttenuationWrite)
{
    PsgWrite(0, 0x95);
    EXPECT_EQ(Chip().amplitude[0], 8675);
    PsgBuildLevels(0, 0);
    EXPECT_EQ(Chip().amplitude[0], 8675);
    PsgWrite(0, 0x95);
    EXPECT_EQ(Chip().amplitude[0], 3453);
}

TEST_F(PsgAfterReset, NoiseControlSetsTapsPeriodAndSeed)
{
    const struct {
        uint32_t latch;
        uint32_t taps;
        int32_t period;
    } rows[] = {
        {0xE4, kWhiteNoiseTaps, 32 * kStep},    {0xE0, kPeriodicNoiseTaps, 32 * kStep},
        {0xE1, kPeriodicNoiseTaps, 64 * kStep}, {0xE2, kPeriodicNoiseTaps, 128 * kStep},
        {0xE6, kWhiteNoiseTaps, 128 * kStep},   {0xEC, kWhiteNoiseTaps, 32 * kStep},  // bit 3: no effect
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.latch);
        Chip().counter[3] = 4321;
        Chip().lfsr = 0x1234;
        Chip().output[3] = 0;
        PsgWrite(0, row.latch);
        EXPECT_EQ(Chip().noiseTaps, row.taps);
        EXPECT_EQ(Chip().period[3], row.period);
        EXPECT_EQ(Chip().lfsr, 0xF35u);
        EXPECT_EQ(Chip().output[3], 1);
        EXPECT_EQ(Chip().counter[3], 4321);
    }
}

TEST_F(PsgAfterReset, ShiftRateThreeFollowsToneTwo)
{
    Write(0, {0xC4, 0x06});
    EXPECT_EQ(Chip().regs[4], 100);
    PsgWrite(0, 0xE3);
    EXPECT_EQ(Chip().period[3], 200 * kStep);
    PsgWrite(0, 0xC0);
    EXPECT_EQ(Chip().regs[4], 96);
    EXPECT_EQ(Chip().period[3], 192 * kStep);
    PsgWrite(0, 0x3F);
    EXPECT_EQ(Chip().regs[4], 1008);
    EXPECT_EQ(Chip().period[3], 2016 * kStep);
    // Tones 0 and 1 do not drive the noise.
    Write(0, {0x81, 0x00, 0xA1, 0x00});
    EXPECT_EQ(Chip().period[3], 2016 * kStep);

    PsgWrite(0, 0xE0);
    EXPECT_EQ(Chip().period[3], 32 * kStep);
    Write(0, {0xC4, 0x06});
    EXPECT_EQ(Chip().period[3], 32 * kStep);
}

TEST_F(PsgAfterReset, ShiftRateThreeWithToneTwoAtZero)
{
    PsgWrite(0, 0xE3);
    EXPECT_EQ(Chip().period[3], 2 * kStep);
}

TEST_F(PsgAfterReset, WritesLeaveCountersAndToneOutputsAlone)
{
    Chip().counter[0] = 101;
    Chip().counter[1] = 202;
    Chip().counter[2] = 303;
    Chip().counter[3] = 404;
    Chip().output[1] = 1;
    Write(0, {0x8E, 0x0F, 0x90, 0xA3, 0x01, 0xB0, 0xC0, 0x3F, 0xD0, 0xE3, 0xF0, 0xC7});
    const int32_t counters[4] = {101, 202, 303, 404};
    const int32_t outputs[4] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Chip().counter[i], counters[i]);
        EXPECT_EQ(Chip().output[i], outputs[i]);
    }
}

TEST_F(PsgAfterReset, ChipsAreIndependent)
{
    PsgReset(1, kClockHz, 22050);
    PsgBuildLevels(1, 0);
    Write(1, {0x8E, 0x0F, 0x95, 0xE4});
    EXPECT_EQ(Chip().step, kStep);
    EXPECT_EQ(Chip().regs[0], 0);
    EXPECT_EQ(Chip().amplitude[0], 0);
    EXPECT_EQ(Chip().levels.level[1], 10922);
    EXPECT_EQ(StandInChip(1).period[0], 254 * 5789);
    EXPECT_EQ(StandInChip(1).amplitude[0], 3453);
}

// What rendering reads beside the registers, after each write in turn. At
// step 11579 a tone at register 0 or 1 cycles in 23158 units: 2 whole cycles
// a frame and 65536 - 46316 = 19220 over; noise at one step: 5 and 7641.
TEST_F(PsgAfterReset, DerivedFieldsFollowTheRegisters)
{
    StandInChip(0) = PsgChip{};  // as at load: no taps yet, whatever earlier tests wrote
    PsgReset(0, kClockHz, 44100);
    PsgBuildLevels(0, 40);
    using Four = std::array<int32_t, 4>;
    const struct {
        std::initializer_list<uint32_t> bytes;
        uint32_t sounding, fast;
        int32_t loudness;
        uint32_t noiseKind;
        Four whole, rest;
    } rows[] = {
        {{}, 0, 0xF, 0, kNoTaps, {2, 2, 2, 5}, {19220, 19220, 19220, 7641}},
        {{0x8E, 0x0F}, 0, 0xE, 0, kNoTaps, {0, 2, 2, 5}, {0, 19220, 19220, 7641}},     // tone 0: 254 steps
        {{0x90, 0xB4}, 0x3, 0xE, 10922 + 10921, kNoTaps, {0, 2, 2, 5}, {0, 19220, 19220, 7641}},
        {{0xE4, 0xFF}, 0x3, 0x6, 10922 + 10921, kWhiteTaps, {0, 2, 2, 0}, {0, 19220, 19220, 0}},  // 32 steps
        {{0xE3}, 0x3, 0xE, 10922 + 10921, kPeriodicTaps, {0, 2, 2, 2}, {0, 19220, 19220, 19220}},  // follows tone 2
        {{0xC6, 0xD0}, 0x7, 0x2, 3 * 10922 - 1, kPeriodicTaps, {0, 2, 0, 0}, {0, 19220, 0, 0}},  // tone 2: 6 steps
        {{0x9F}, 0x6, 0x2, 10921 + 10922, kPeriodicTaps, {0, 2, 0, 0}, {0, 19220, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "after " << row.bytes.size() << " bytes from " << std::hex
                                          << (row.bytes.size() != 0 ? *row.bytes.begin() : 0u));
        Write(0, row.bytes);
        EXPECT_EQ(Chip().sounding, row.sounding);
        EXPECT_EQ(Chip().fast, row.fast);
        EXPECT_EQ(Chip().loudness, row.loudness);
        EXPECT_EQ(Chip().noiseKind, row.noiseKind);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(Chip().wholeCycles[i], row.whole[static_cast<size_t>(i)]) << "channel " << i;
            EXPECT_EQ(Chip().cycleRest[i], row.rest[static_cast<size_t>(i)]) << "channel " << i;
        }
    }
    // A reset silences every channel and keeps the taps.
    PsgReset(0, kClockHz, 44100);
    EXPECT_EQ(Chip().sounding, 0u);
    EXPECT_EQ(Chip().fast, 0xFu);
    EXPECT_EQ(Chip().loudness, 0);
    EXPECT_EQ(Chip().noiseKind, kPeriodicTaps);
}
