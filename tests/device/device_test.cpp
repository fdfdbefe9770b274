#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "device/device.h"
#include "tests/support/chip_fixture.h"
#include "tests/support/recording_hub.h"
#include "tests/support/reference_render.h"

namespace {

// Port bytes for kToneFrames: chip bytes 0x8E, 0x0F, 0x90 in port bit order.
constexpr uint32_t kTonePortBytes[] = {0x71, 0xF0, 0x09};
// Port byte for chip byte 0x9F: tone 0 off.
constexpr uint32_t kToneOffPortByte = 0xF9;
// Port bytes for kNoiseFrames: chip bytes 0xE4, 0xF0.
constexpr uint32_t kNoisePortBytes[] = {0x27, 0x0F};

// Left samples, after checking that every right sample equals its left.
std::vector<int32_t> Mono(const std::vector<StereoFrame>& frames)
{
    std::vector<int32_t> out;
    for (const StereoFrame& f : frames) {
        EXPECT_EQ(f.left, f.right);
        out.push_back(f.left);
    }
    return out;
}

std::vector<int32_t> Slice(const std::vector<int32_t>& v, size_t from, size_t count)
{
    return {v.begin() + static_cast<std::ptrdiff_t>(from), v.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

// A freshly built device over chips in their load state (all zero), with no
// hub attached.
class NewDevice : public ::testing::Test {
protected:
    NewDevice()
    {
        StandInChip(0) = PsgChip{};
        StandInChip(1) = PsgChip{};
    }

    CallLog log;
    RecordingSoundHub hub{log};
    Quarix dev{kDeviceIdQrxs};
    ISoundSource* const source = &dev;
    // What the hub's Updates found and rendered, framesPerUpdate frames each.
    int32_t framesPerUpdate = 0;
    std::vector<ChipPair> chipsAtUpdate;
    std::vector<ChipPair> chipsAfterUpdate;
    std::vector<StereoFrame> rendered;

    void SetUp() override
    {
        hub.expected = source;
        hub.onUpdate = [this](ISoundSource* from) {
            chipsAtUpdate.push_back(SnapshotChips());
            std::vector<StereoFrame> frames(static_cast<size_t>(framesPerUpdate), StereoFrame{0, 0});
            from->Mix(frames.data(), framesPerUpdate);
            rendered.insert(rendered.end(), frames.begin(), frames.end());
            chipsAfterUpdate.push_back(SnapshotChips());
        };
    }
};

using Calls = std::vector<std::string>;

// As the module leaves it after start-up: settings applied (gain 40,
// enabled), both chips reset at 44100 Hz. The hub is attached per test.
class ReadyDevice : public NewDevice {
protected:
    void SetUp() override
    {
        NewDevice::SetUp();
        const SoundSettings settings{0, 1};
        dev.ApplySettings(&settings);
        dev.Init();
    }

    void WriteAll(uint32_t port, std::initializer_list<uint32_t> bytes)
    {
        for (const uint32_t b : bytes) {
            dev.WritePort(port, b);
        }
    }

    std::vector<int32_t> MixMono(int32_t count)
    {
        std::vector<StereoFrame> frames(static_cast<size_t>(count), StereoFrame{0, 0});
        dev.Mix(frames.data(), count);
        return Mono(frames);
    }

    // Chip state in which every byte below leaves a distinct trace: tone 0 at
    // 254, noise control 5, tone 0 latched.
    static void DistinctPreState()
    {
        for (int chip = 0; chip < 2; ++chip) {
            Write(chip, {0xE5, 0x8E, 0x0F});
        }
    }

    const PortHandler* Outputs() { return dev.GetDescriptor()->outputTable; }
};

TEST_F(NewDevice, BitReverseHoldsKnownPairs)
{
    const std::pair<uint32_t, uint32_t> pairs[] = {
        {0x01, 0x80}, {0x80, 0x01}, {0x0F, 0xF0}, {0xF0, 0x0F}, {0x9F, 0xF9},
        {0xF9, 0x9F}, {0xFF, 0xFF}, {0x00, 0x00}, {0x8E, 0x71}, {0xE4, 0x27},
    };
    for (const auto& [in, out] : pairs) {
        SCOPED_TRACE(in);
        EXPECT_EQ(dev.bitReverse[in], out);
    }
}

TEST_F(NewDevice, BitReverseTwiceIsIdentity)
{
    for (uint32_t i = 0; i < 256; ++i) {
        ASSERT_LT(dev.bitReverse[i], 256u) << i;
        EXPECT_EQ(dev.bitReverse[dev.bitReverse[i]], i);
    }
}

TEST_F(NewDevice, ConstructionTouchesNoChipAndNoHub)
{
    ExpectChips(ChipPair{{PsgChip{}, PsgChip{}}}, "chips still in their load state");
    EXPECT_EQ(dev.soundHub, nullptr);
    EXPECT_EQ(dev.enable, 0);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(NewDevice, GetIdYieldsTheBytesQrxs)
{
    IDevice& face = dev;
    const uint32_t& id = face.GetId();
    EXPECT_EQ(&id, &dev.id);
    EXPECT_EQ(std::memcmp(&id, "QRXS", 4), 0);
    EXPECT_EQ(id, kDeviceIdQrxs);  // little-endian reading of the four bytes
}

TEST_F(NewDevice, AuxOperationsAnswerZero)
{
    IDevice& face = dev;
    EXPECT_EQ(face.AuxQuery(), 0u);
    for (const uint32_t value : {0u, 1u, 0x108u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(value);
        EXPECT_EQ(face.AuxCallA(value), 0u);
        EXPECT_EQ(face.AuxCallB(value), 0u);
    }
    Device plain(kDeviceIdQrxs);
    EXPECT_EQ(static_cast<IDevice&>(plain).GetDescriptor(), nullptr);
}

TEST_F(NewDevice, DescriptorHoldsTheThreeHandlersAtZeroThreeSix)
{
    const DeviceDescriptor* d = static_cast<IDevice&>(dev).GetDescriptor();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->inputTable, nullptr);
    ASSERT_NE(d->outputTable, nullptr);
    for (int i = 0; i < kOutputHandlerCount; ++i) {
        SCOPED_TRACE(i);
        const bool used = i == 0 || i == 3 || i == 6;
        EXPECT_EQ(d->outputTable[i] != nullptr, used);
    }
    EXPECT_NE(d->outputTable[0], d->outputTable[3]);
    EXPECT_NE(d->outputTable[0], d->outputTable[6]);
    EXPECT_NE(d->outputTable[3], d->outputTable[6]);
    Quarix other(kDeviceIdQrxs);
    EXPECT_EQ(other.GetDescriptor(), d) << "one static descriptor";
}

TEST_F(NewDevice, ConnectorTableBytes)
{
    const uint8_t expected[] = {0x08, 0x01, 0x02, 0x00, 0xAC, 0x00, 0x02, 0x03, 0xAE, 0x00,
                                0x02, 0x06, 0xAF, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00};
    static_assert(sizeof(expected) == sizeof(Quarix::kConnectors));
    std::array<uint8_t, sizeof(expected)> actual{};
    std::memcpy(actual.data(), Quarix::kConnectors, sizeof(expected));
    for (size_t i = 0; i < sizeof(expected); ++i) {
        EXPECT_EQ(actual[i], expected[i]) << "byte " << i;
    }
}

TEST_F(NewDevice, ConnectDetachesTheOldHubAndAttachesTheNewOne)
{
    RecordingSoundHub other{log, "Other"};
    other.expected = source;

    EXPECT_TRUE(dev.Connect(nullptr));
    EXPECT_TRUE(log.calls.empty()) << "no hub, nobody called";
    EXPECT_TRUE(dev.Connect(&hub));
    EXPECT_TRUE(dev.Connect(&hub));
    EXPECT_TRUE(dev.Connect(&other));
    EXPECT_TRUE(dev.Connect(nullptr));
    EXPECT_TRUE(dev.Connect(nullptr));
    EXPECT_EQ(log.calls, (Calls{"SoundHub.Attach", "SoundHub.Detach", "SoundHub.Attach", "SoundHub.Detach",
                                "Other.Attach", "Other.Detach"}));
    EXPECT_EQ(dev.soundHub, nullptr);
}

TEST_F(NewDevice, ApplySettingsGainIsVolumePlusFortyWithWrapAround)
{
    struct Row {
        int32_t volume;
        int32_t gain;
        const std::array<int32_t, 16>* levels;  // null: no documented table
    };
    const Row rows[] = {
        {-40, 0, &kLevelsGain0},
        {0, 40, &kLevelsGain40},
        {20, 60, &kLevelsGain60},
        {-296, -256, &kLevelsGain0},                  // low 8 bits 0
        {INT32_MIN, INT32_MIN + 40, &kLevelsGain40},  // low 8 bits 40
        {INT32_MAX, INT32_MIN + 39, nullptr},         // wraps past the top
        {INT32_MAX - 40, INT32_MAX, nullptr},         // the last one that fits
        {INT32_MAX - 39, INT32_MIN, &kLevelsGain0},  // the first one that wraps
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.volume);
        const SoundSettings settings{row.volume, 7};
        dev.ApplySettings(&settings);
        EXPECT_EQ(dev.gain, row.gain);
        EXPECT_EQ(dev.enable, 7) << "enable taken unchanged";
        if (row.levels != nullptr) {
            EXPECT_EQ(StandInLevels(0), *row.levels);
            EXPECT_EQ(StandInLevels(1), *row.levels);
        }
    }
    EXPECT_TRUE(log.calls.empty()) << "no hub attached, no Update";
}

TEST_F(ReadyDevice, WriteReachesChipPortAndOneBitReversed)
{
    struct Row {
        uint32_t port;
        uint32_t data;
        int chip;
        uint32_t chipByte;
    };
    const Row rows[] = {
        {0xAC, 0x01, 0, 0x80}, {0xAF, 0x9F, 1, 0xF9}, {0xAC, 0x0F, 0, 0xF0},
        {0xAF, 0xFF, 1, 0xFF}, {0xAC, 0x00, 0, 0x00}, {0xAF, 0x00, 1, 0x00},
    };
    DistinctPreState();
    const ChipPair before = SnapshotChips();
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "port " << row.port << " data " << row.data);
        RestoreChips(before);
        PsgWrite(row.chip, row.chipByte);
        const ChipPair expected = SnapshotChips();
        const auto chip = static_cast<size_t>(row.chip);
        ASSERT_FALSE(SameChip(expected[chip], before[chip])) << "the write must leave a trace";

        RestoreChips(before);
        dev.WritePort(row.port, row.data);
        ExpectChips(expected, "after the port write");
    }
}

TEST_F(ReadyDevice, EachChipWriteFollowsOneUpdateThatRendersTheOldRegisters)
{
    for (const uint32_t port : {kChip0Port, kChip1Port}) {
        SCOPED_TRACE(port);
        log.calls.clear();
        chipsAtUpdate.clear();
        rendered.clear();
        framesPerUpdate = 0;
        dev.Reset(0, 0);
        dev.Connect(&hub);

        std::vector<ChipPair> beforeWrites;
        for (const uint32_t b : kTonePortBytes) {
            beforeWrites.push_back(SnapshotChips());
            dev.WritePort(port, b);
        }
        // Silence the tone: the frames due before the write still sound.
        framesPerUpdate = 3;
        beforeWrites.push_back(SnapshotChips());
        dev.WritePort(port, kToneOffPortByte);

        EXPECT_EQ(log.calls, (Calls{"SoundHub.Attach", "SoundHub.Update", "SoundHub.Update", "SoundHub.Update",
                                    "SoundHub.Update"}));
        ASSERT_EQ(chipsAtUpdate.size(), beforeWrites.size());
        for (size_t i = 0; i < beforeWrites.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(SameChip(chipsAtUpdate[i][0], beforeWrites[i][0]));
            EXPECT_TRUE(SameChip(chipsAtUpdate[i][1], beforeWrites[i][1]));
        }
        EXPECT_EQ(Mono(rendered), Slice(kToneFrames, 0, 3));
        EXPECT_EQ(MixMono(3), std::vector<int32_t>(3, 0)) << "silent after the write";
        dev.Connect(nullptr);
    }
}

TEST_F(ReadyDevice, WritePortIgnoresOtherPorts)
{
    dev.Connect(&hub);
    DistinctPreState();
    const ChipPair before = SnapshotChips();
    for (const uint32_t port : {0xAEu, 0x108u, 0x1ACu, 0x1AFu, 0x2Cu, 0x0u, 0xFFFFFFACu}) {
        SCOPED_TRACE(port);
        dev.WritePort(port, 0x0F);
    }
    ExpectChips(before, "no chip written");
    EXPECT_EQ(log.calls, Calls{"SoundHub.Attach"}) << "no Update";
}

TEST_F(ReadyDevice, DiscardWriteDoesNothing)
{
    dev.Connect(&hub);
    DistinctPreState();
    const ChipPair before = SnapshotChips();
    for (const uint32_t data : {0x00u, 0x0Fu, 0x9Fu, 0xFFu}) {
        Outputs()[6](&dev, kIgnoredPort, data);
    }
    ExpectChips(before, "no chip written");
    EXPECT_EQ(log.calls, Calls{"SoundHub.Attach"}) << "no Update";
}

TEST_F(ReadyDevice, ResetPortResetsBothChipsAndLevelsWithoutUpdate)
{
    ASSERT_TRUE(dev.SetRate(48000));
    dev.Connect(&hub);
    WriteAll(kChip0Port, {0x71, 0xF0, 0x09});
    WriteAll(kChip1Port, {0x27, 0x0F});
    for (int chip = 0; chip < 2; ++chip) {
        for (int32_t& level : StandInChip(chip).levels.level) {
            level = -1;
        }
    }
    log.calls.clear();

    Outputs()[0](&dev, kResetPort, 0);

    EXPECT_TRUE(log.calls.empty()) << "no Update";
    ExpectResetState(0, 48000, 12603, kLevelsGain40);
    ExpectResetState(1, 48000, 12603, kLevelsGain40);
    EXPECT_EQ(MixMono(8), std::vector<int32_t>(8, 0));
}

TEST_F(ReadyDevice, MixWhileDisabledLeavesBufferAndChipsAndResumesWhereItStopped)
{
    WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
    EXPECT_EQ(MixMono(10), Slice(kToneFrames, 0, 10));

    const SoundSettings off{0, 0};
    dev.ApplySettings(&off);
    const ChipPair stopped = SnapshotChips();
    std::vector<StereoFrame> held(50, StereoFrame{7, -7});
    dev.Mix(held.data(), 50);
    for (const StereoFrame& f : held) {
        ASSERT_EQ(f.left, 7);
        ASSERT_EQ(f.right, -7);
    }
    ExpectChips(stopped, "disabled Mix moves no chip");

    const SoundSettings on{0, 1};
    dev.ApplySettings(&on);
    EXPECT_EQ(MixMono(90), Slice(kToneFrames, 10, 90));
}

TEST_F(ReadyDevice, BothChipsAddOntoWhatTheBufferHeld)
{
    WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
    WriteAll(kChip1Port, {kNoisePortBytes[0], kNoisePortBytes[1]});
    std::vector<StereoFrame> frames(24, StereoFrame{1000, -2000});
    dev.Mix(frames.data(), 24);
    for (size_t f = 0; f < 24; ++f) {
        SCOPED_TRACE(f);
        const int32_t both = kToneFrames[f] + kNoiseFrames[f];
        EXPECT_EQ(frames[f].left, 1000 + both);
        EXPECT_EQ(frames[f].right, -2000 + both);
    }
}

TEST_F(ReadyDevice, SetRateResetsBothChipsToSilenceAndAnswersTrue)
{
    const std::pair<int32_t, int32_t> rates[] = {{48000, 12603}, {22050, 5789}, {44100, 11579}};
    dev.Connect(&hub);
    for (const auto& [rateHz, step] : rates) {
        SCOPED_TRACE(rateHz);
        WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
        WriteAll(kChip1Port, {kNoisePortBytes[0], kNoisePortBytes[1]});
        log.calls.clear();

        EXPECT_TRUE(source->SetRate(rateHz));

        EXPECT_TRUE(log.calls.empty()) << "no Update";
        EXPECT_EQ(dev.rate, rateHz);
        ExpectResetState(0, rateHz, step, kLevelsGain40);
        ExpectResetState(1, rateHz, step, kLevelsGain40);
        EXPECT_EQ(MixMono(30), std::vector<int32_t>(30, 0));
    }
}

TEST_F(ReadyDevice, ApplySettingsUpdatesFirstAndResetsNoChip)
{
    WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
    dev.Connect(&hub);
    framesPerUpdate = 3;

    const SoundSettings settings{20, 0};
    dev.ApplySettings(&settings);

    EXPECT_EQ(log.calls, (Calls{"SoundHub.Attach", "SoundHub.Update"}));
    EXPECT_EQ(Mono(rendered), Slice(kToneFrames, 0, 3)) << "rendered while still enabled";
    // Only the level tables changed; the sounding amplitude waits for the
    // next attenuation write.
    ChipPair expected = chipsAfterUpdate.at(0);
    for (ChipPair::size_type chip = 0; chip < 2; ++chip) {
        std::memcpy(expected[chip].levels.level, kLevelsGain60.data(), sizeof(expected[chip].levels.level));
    }
    ExpectChips(expected, "no reset");
    EXPECT_EQ(StandInChip(0).amplitude[0], 10922);
}

TEST_F(ReadyDevice, HandlersThroughTheOutputTableReachTheDevice)
{
    dev.Connect(&hub);
    IDevice* const face = &dev;
    const PortHandler* table = face->GetDescriptor()->outputTable;

    table[3](face, kChip0Port, 0x71);  // chip byte 0x8E: tone 0 low bits 14
    EXPECT_EQ(StandInChip(0).regs[0], 14);
    table[3](face, kChip1Port, 0x27);  // chip byte 0xE4: white noise
    EXPECT_EQ(StandInChip(1).noiseTaps, 0x14002u);
    EXPECT_EQ(StandInChip(1).regs[6], 4);
    const ChipPair written = SnapshotChips();
    table[6](face, kIgnoredPort, 0x71);
    ExpectChips(written, "0xAE dropped");
    table[0](face, kResetPort, 0);
    EXPECT_EQ(StandInChip(0).regs[0], 0);
    EXPECT_EQ(StandInChip(1).regs[6], 0);

    EXPECT_EQ(log.calls, (Calls{"SoundHub.Attach", "SoundHub.Update", "SoundHub.Update"}));
}

// Rates whose timing step the chips cannot count with are not taken.
TEST_F(ReadyDevice, SetRateOutsideTheCountableRangeKeepsRateAndChips)
{
    ASSERT_TRUE(dev.SetRate(48000));
    WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
    WriteAll(kChip1Port, {kNoisePortBytes[0], kNoisePortBytes[1]});
    MixMono(5);
    const ChipPair before = SnapshotChips();
    for (const int32_t rateHz : {0, 3, 1, -1, -44100, INT32_MIN, 3997382, 4000000, INT32_MAX}) {
        SCOPED_TRACE(rateHz);
        EXPECT_TRUE(source->SetRate(rateHz));
        EXPECT_EQ(dev.rate, 48000);
        ExpectChips(before, "chips kept");
    }
}

TEST_F(ReadyDevice, SetRateTakesBothEndsOfTheCountableRange)
{
    // step = rate * 256 / 975, truncated: 1 at 4 Hz, 1049568 at 3997381 Hz.
    const std::pair<int32_t, int32_t> rates[] = {{4, 1}, {3997381, 1049568}};
    for (const auto& [rateHz, step] : rates) {
        SCOPED_TRACE(rateHz);
        EXPECT_TRUE(dev.SetRate(rateHz));
        EXPECT_EQ(dev.rate, rateHz);
        ExpectResetState(0, rateHz, step, kLevelsGain40);
        ExpectResetState(1, rateHz, step, kLevelsGain40);
    }
}

// A long Mix renders each chip in calls of at most 16383 frames: the
// longest call whose held counters stay in 32 bits. The expectation is the
// per-frame reference renderer's, called in those pieces.
TEST_F(ReadyDevice, LongMixRendersInPiecesOfTheLongestCall)
{
    ASSERT_TRUE(dev.SetRate(3997381));  // step 1049568, about 16 frames
    // Chip 0: tone 0 at register 700 sounds until its first toggle, then
    // falls silent with a count-down that outlasts a 10000-frame call but not
    // a 16383-frame one; tone 1 at the shortest period keeps sounding.
    Write(0, {0x8C, 0x2B, 0x90, 0xA1, 0xB2});
    MixMono(20);
    PsgWrite(0, 0x9F);
    ASSERT_GT(StandInChip(0).counter[0], 10000 * kFrameUnits);
    ASSERT_LE(StandInChip(0).counter[0], kMaxRenderFrames * kFrameUnits);
    // Chip 1: white noise and tone 2.
    Write(1, {0xE4, 0xF0, 0xC3, 0xD5});
    ChipPair reference = SnapshotChips();

    constexpr int32_t kCount = 40000;
    std::vector<StereoFrame> mixed(kCount, StereoFrame{3, -3});
    dev.Mix(mixed.data(), kCount);

    std::vector<StereoFrame> expected(kCount, StereoFrame{3, -3});
    for (const auto& [first, count] : {std::pair{0, 16383}, std::pair{16383, 16383}, std::pair{32766, 7234}}) {
        ReferenceRender(reference[0], expected.data() + first, count);
        ReferenceRender(reference[1], expected.data() + first, count);
    }
    size_t sounding = 0;
    for (size_t f = 0; f < mixed.size(); ++f) {
        ASSERT_EQ(mixed[f].left, expected[f].left) << "frame " << f;
        ASSERT_EQ(mixed[f].right, expected[f].right) << "frame " << f;
        sounding += mixed[f].left != 3 ? 1u : 0u;
    }
    EXPECT_GT(sounding, 10000u) << "the comparison must cover sound";
    EXPECT_TRUE(SameChip(reference[0], StandInChip(0)));
    EXPECT_TRUE(SameChip(reference[1], StandInChip(1)));
}

TEST_F(ReadyDevice, MixWithoutFramesDoesNothing)
{
    WriteAll(kChip0Port, {kTonePortBytes[0], kTonePortBytes[1], kTonePortBytes[2]});
    const ChipPair before = SnapshotChips();
    for (const int32_t count : {1, 100, 40000, INT32_MAX}) {
        SCOPED_TRACE(count);
        dev.Mix(nullptr, count);
        ExpectChips(before, "null buffer");
    }
    std::vector<StereoFrame> frames(4, StereoFrame{5, -5});
    for (const int32_t count : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        dev.Mix(frames.data(), count);
        ExpectChips(before, "no frames");
        EXPECT_EQ(frames[0].left, 5);
        EXPECT_EQ(frames[0].right, -5);
    }
}

TEST_F(ReadyDevice, WritePortUsesOnlyTheLowEightBitsOfData)
{
    const std::pair<uint32_t, uint32_t> rows[] = {
        {0x101, 0x01}, {0x19F, 0x9F}, {0xFFFFFF0F, 0x0F}, {0x80000000, 0x00}, {0xABCDEF75, 0x75},
    };
    DistinctPreState();
    const ChipPair before = SnapshotChips();
    for (const uint32_t port : {kChip0Port, kChip1Port}) {
        for (const auto& [wide, low] : rows) {
            SCOPED_TRACE(::testing::Message() << "port " << port << " data " << wide);
            RestoreChips(before);
            dev.WritePort(port, low);
            const ChipPair expected = SnapshotChips();
            ASSERT_FALSE(SameChip(expected[0], before[0]) && SameChip(expected[1], before[1]))
                << "the low byte must leave a trace";
            RestoreChips(before);
            dev.WritePort(port, wide);
            ExpectChips(expected, "as the low byte");
        }
    }
}

}  // namespace

// Every entry point's calls into the chips, as whole sequences: an extra, a
// missing or a reordered call fails.
TEST_F(ReadyDevice, EntryPointsMakeExactlyTheseChipCalls)
{
    const auto resetBoth = [](int rateHz, int gain) {
        Calls calls;
        char line[48];
        for (int chip = 0; chip < 2; ++chip) {
            std::snprintf(line, sizeof line, "Psg.Reset %d %d %d", chip, static_cast<int>(kChipClockHz), rateHz);
            calls.emplace_back(line);
            std::snprintf(line, sizeof line, "Psg.Levels %d %d", chip, gain);
            calls.emplace_back(line);
        }
        return calls;
    };
    std::vector<StereoFrame> frames(40000, StereoFrame{0, 0});
    const SoundSettings louder{20, 1};
    const SoundSettings disabled{20, 0};
    const struct {
        const char* what;
        std::function<void()> action;
        Calls calls;
    } rows[] = {
        {"Init", [&] { dev.Init(); }, resetBoth(44100, 40)},
        {"ApplySettings", [&] { dev.ApplySettings(&louder); }, {"Psg.Levels 0 60", "Psg.Levels 1 60"}},
        {"chip 0 port", [&] { dev.WritePort(kChip0Port, 0x71); }, {"Psg.Write 0 0x8E"}},
        {"chip 1 port", [&] { dev.WritePort(kChip1Port, 0x101); }, {"Psg.Write 1 0x80"}},
        {"ignored port", [&] { Outputs()[kDiscardHandler](&dev, kIgnoredPort, 0x71); }, {}},
        {"reset port", [&] { Outputs()[kResetHandler](&dev, kResetPort, 0); }, resetBoth(44100, 60)},
        {"rate too low", [&] { dev.SetRate(kMinChipRateHz - 1); }, {}},
        {"rate", [&] { dev.SetRate(48000); }, resetBoth(48000, 60)},
        {"long mix", [&] { dev.Mix(frames.data() + 5, 39995); }, {"Psg.RenderBoth @5 39995"}},
        {"disabled", [&] { dev.ApplySettings(&disabled); }, {"Psg.Levels 0 60", "Psg.Levels 1 60"}},
        {"mix while disabled", [&] { dev.Mix(frames.data(), 100); }, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CallLog calls;
        LogPsgCalls(&calls, frames.data());
        row.action();
        LogPsgCalls(nullptr);
        EXPECT_EQ(calls.calls, row.calls);
    }
}
