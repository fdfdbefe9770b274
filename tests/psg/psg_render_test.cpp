#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "psg/psg_chip.h"
#include "tests/support/chip_fixture.h"

using ::testing::ElementsAreArray;

namespace {

// Renders count zeroed frames of chip 0, checks left == right, and returns
// the left samples.
std::vector<int32_t> Render(int32_t count)
{
    std::vector<StereoFrame> frames(static_cast<size_t>(count), StereoFrame{0, 0});
    PsgRender(0, frames.data(), count);
    std::vector<int32_t> values;
    for (const StereoFrame& f : frames) {
        EXPECT_EQ(f.left, f.right);
        values.push_back(f.left);
    }
    return values;
}

// The noise output after each of count shifts, at a rate where the noise
// period is exactly one frame, so every one-frame call makes one shift.
std::vector<int32_t> NoiseOutputs(int count)
{
    std::vector<int32_t> outputs;
    StereoFrame frame{0, 0};
    for (int i = 0; i < count; ++i) {
        PsgRender(0, &frame, 1);
        outputs.push_back(StandInChip(0).output[3]);
    }
    return outputs;
}

class PsgRenderAt44100 : public PsgAfterReset {};

}  // namespace

TEST_F(PsgRenderAt44100, RightAfterResetAddsNothingAndChangesNothing)
{
    Write(0, {0xE4});  // some taps, so the comparison below covers them
    PsgReset(0, kClockHz, 44100);
    PsgChip before;
    std::memcpy(&before, &Chip(), sizeof before);
    StereoFrame frames[4] = {{5, -5}, {5, -5}, {5, -5}, {5, -5}};
    PsgRender(0, frames, 4);
    for (const StereoFrame& f : frames) {
        EXPECT_EQ(f.left, 5);
        EXPECT_EQ(f.right, -5);
    }
    EXPECT_EQ(std::memcmp(&before, &Chip(), sizeof before), 0);
    EXPECT_THAT(Chip().counter, ElementsAreArray({11579, 11579, 11579, 11579}));
    EXPECT_THAT(Chip().output, ElementsAreArray({0, 0, 0, 1}));
    EXPECT_EQ(Chip().lfsr, 0xF35u);
}

TEST_F(PsgRenderAt44100, CountZeroOrNegativeDoesNothing)
{
    Write(0, {0x80, 0x90, 0xE4, 0xF0});
    for (const int32_t count : {0, -1, -16383}) {
        SCOPED_TRACE(count);
        PsgChip before;
        std::memcpy(&before, &Chip(), sizeof before);
        StereoFrame frames[2] = {{7, 8}, {-9, 10}};
        PsgRender(0, frames, count);
        EXPECT_EQ(frames[0].left, 7);
        EXPECT_EQ(frames[0].right, 8);
        EXPECT_EQ(frames[1].left, -9);
        EXPECT_EQ(frames[1].right, 10);
        EXPECT_EQ(std::memcmp(&before, &Chip(), sizeof before), 0);
    }
}

TEST_F(PsgRenderAt44100, ToneAtMusicalPeriod)
{
    Write(0, {0x8E, 0x0F, 0x90});  // period 254 = 2941066 units, full amplitude
    EXPECT_EQ(Render(100), kToneFrames);
}

TEST_F(PsgRenderAt44100, ToneAtShortestPeriod)
{
    Write(0, {0x80, 0x90});  // period = step: several toggles per frame
    EXPECT_THAT(Render(8), ElementsAreArray({5132, 5132, 5172, 5789, 5789, 5710, 5132, 5132}));
    EXPECT_EQ(Chip().counter[0], 8346);
    EXPECT_EQ(Chip().output[0], 1);

    // A new period waits for the running count-down: off at 8346, then one
    // whole new period.
    Write(0, {0x8E, 0x0F});
    EXPECT_THAT(Render(1), ElementsAreArray({1390}));
    EXPECT_EQ(Chip().output[0], 0);
    EXPECT_EQ(Chip().counter[0], 8346 - 65536 + 2941066);
}

TEST_F(PsgRenderAt44100, WhiteNoiseAtShiftRateZero)
{
    Write(0, {0xE4, 0xF0});
    EXPECT_EQ(Render(24), kNoiseFrames);
}

TEST_F(PsgRenderAt44100, FourFullChannelsClampAt32767)
{
    Write(0, {0x8E, 0x0F, 0x90, 0xA0, 0x01, 0xB0, 0xC0, 0x02, 0xD0, 0xE4, 0xF0});
    for (int i = 0; i < 4; ++i) {
        Chip().output[i] = 1;
        Chip().counter[i] = 200000;  // no event within the frame
    }
    EXPECT_THAT(Render(1), ElementsAreArray({32767}));

    PsgWrite(0, 0xFF);  // noise off: three full channels stay below the clamp
    EXPECT_THAT(Render(1), ElementsAreArray({32766}));
}

TEST_F(PsgRenderAt44100, EventAtExactlyTheFrameEndBelongsToTheFrame)
{
    Write(0, {0x8E, 0x0F, 0x90});
    Chip().output[0] = 1;
    Chip().counter[0] = 65536;
    EXPECT_THAT(Render(1), ElementsAreArray({10922}));
    EXPECT_EQ(Chip().output[0], 0);
    EXPECT_EQ(Chip().counter[0], 2941066);
}

TEST_F(PsgRenderAt44100, SilentChannelIsHeldOnlyWhenItsEventFallsInTheCall)
{
    Write(0, {0x8E, 0x0F, 0x9F});
    Chip().output[0] = 1;
    Chip().counter[0] = 100000;

    EXPECT_THAT(Render(1), ElementsAreArray({0}));  // next event beyond the call
    EXPECT_EQ(Chip().counter[0], 34464);
    for (int call = 0; call < 5; ++call) {
        SCOPED_TRACE(call);
        EXPECT_THAT(Render(1), ElementsAreArray({0}));
        EXPECT_EQ(Chip().counter[0], 34464);
        EXPECT_EQ(Chip().output[0], 1);
    }

    PsgWrite(0, 0x90);
    EXPECT_THAT(Render(1), ElementsAreArray({5743}));  // on for 34464 units
    EXPECT_EQ(Chip().output[0], 0);
    EXPECT_EQ(Chip().counter[0], 34464 - 65536 + 2941066);
}

TEST_F(PsgRenderAt44100, SilentChannelWithItsEventAtTheCallEndIsHeld)
{
    Write(0, {0xA0, 0x01, 0xBF});
    Chip().output[1] = 1;
    Chip().counter[1] = 2 * 65536;
    EXPECT_THAT(Render(2), ElementsAreArray({0, 0}));
    EXPECT_EQ(Chip().output[1], 1);
    EXPECT_EQ(Chip().counter[1], 2 * 65536);
}

TEST_F(PsgRenderAt44100, SilentNoiseDoesNotShift)
{
    Write(0, {0xE4, 0xFF});
    std::vector<StereoFrame> frames(16383, StereoFrame{0, 0});
    PsgRender(0, frames.data(), 16383);
    EXPECT_EQ(Chip().lfsr, 0xF35u);
    EXPECT_EQ(Chip().output[3], 1);
    EXPECT_EQ(Chip().counter[3], 11579);
}

// The longest call with a held channel: its counter passes through
// 11579 + 16383 * 65536 and comes back.
TEST_F(PsgRenderAt44100, LongestCallKeepsSoundingChannelsInStep)
{
    Write(0, {0x80, 0x90});  // shortest period: toggles every 11579 units
    std::vector<StereoFrame> frames(16383, StereoFrame{0, 0});
    PsgRender(0, frames.data(), 16383);
    // 16383 * 65536 = 92726 * 11579 + 1934: an even number of toggles, so
    // the output is back at 0 and the next toggle is 11579 - 1934 away.
    EXPECT_EQ(Chip().output[0], 0);
    EXPECT_EQ(Chip().counter[0], 9645);
    EXPECT_EQ(Chip().counter[1], 11579);
    EXPECT_EQ(Chip().counter[3], 11579);
}

TEST(PsgNoise, WhiteSequenceAndItsLength)
{
    // 7800 Hz makes step 2048 and the rate-0 noise period exactly one frame.
    PsgReset(0, kClockHz, 7800);
    PsgBuildLevels(0, 40);
    Write(0, {0xE4, 0xF0});
    ASSERT_EQ(StandInChip(0).period[3], 65536);
    const std::vector<int32_t> first = {1, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0,
                                        1, 0, 1, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0};
    EXPECT_EQ(NoiseOutputs(26), first);

    // The register first returns to the seed after 32767 shifts.
    StereoFrame frame{0, 0};
    int shifts = 26;
    while (shifts < 32767 && StandInChip(0).lfsr != 0xF35u) {
        PsgRender(0, &frame, 1);
        ++shifts;
    }
    EXPECT_EQ(shifts, 32767);
    EXPECT_EQ(StandInChip(0).lfsr, 0xF35u);
    EXPECT_EQ(NoiseOutputs(26), first);
}

TEST(PsgNoise, PeriodicSequenceRepeatsEveryFifteenShifts)
{
    PsgReset(0, kClockHz, 7800);
    PsgBuildLevels(0, 40);
    Write(0, {0xE0, 0xF0});
    const std::vector<int32_t> cycle = {0, 1, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 1};
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(NoiseOutputs(15), cycle);
    }
}

// Before any noise-control write the taps are 0 and a reset keeps them: the
// register only drains, and its output ends at 0.
TEST(PsgNoise, WithoutTapsTheRegisterDrains)
{
    StandInChip(0) = PsgChip{};  // as at load
    // 249600 Hz makes step, and so the noise period after reset, one frame.
    PsgReset(0, kClockHz, 249600);
    PsgBuildLevels(0, 40);
    PsgWrite(0, 0xF0);
    ASSERT_EQ(StandInChip(0).period[3], 65536);
    EXPECT_EQ(NoiseOutputs(16), (std::vector<int32_t>{0, 1, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(StandInChip(0).lfsr, 0u);
}

// A chip never reset has periods of 0, with which no frame would end. Made
// audible, it still adds nothing and is left as it was.
TEST(PsgRenderBeforeReset, AnAudibleChannelAddsNothing)
{
    StandInChip(0) = PsgChip{};
    PsgBuildLevels(0, 40);
    Write(0, {0x90, 0xF0});
    ASSERT_EQ(StandInChip(0).amplitude[0], 10922);
    PsgChip before;
    std::memcpy(&before, &StandInChip(0), sizeof before);
    StereoFrame frames[3] = {{1, 2}, {3, 4}, {5, 6}};
    PsgRender(0, frames, 3);
    EXPECT_EQ(frames[2].left, 5);
    EXPECT_EQ(frames[2].right, 6);
    EXPECT_EQ(std::memcmp(&before, &StandInChip(0), sizeof before), 0);
}
