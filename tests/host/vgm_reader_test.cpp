#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "host/input_file.h"
#include "host/player.h"
#include "host/vgm_reader.h"
#include "tests/support/host_result.h"
#include "tests/support/vgm_builder.h"

// Event lists compare and print in checks (global, where lookup finds them).
static bool operator==(const VgmEvent& a, const VgmEvent& b)
{
    return a.kind == b.kind && a.chip == b.chip && a.value == b.value && a.samples == b.samples;
}

static void PrintTo(const VgmEvent& e, std::ostream* out)
{
    if (e.kind == VgmEvent::Kind::Write) {
        char item[8];
        std::snprintf(item, sizeof item, "W%u:%02X", e.chip, e.value);
        *out << item;
    } else {
        *out << "wait " << e.samples;
    }
}

namespace {

using Kind = VgmEvent::Kind;

VgmEvent W(uint8_t chip, uint8_t value)
{
    return {Kind::Write, chip, value, 0};
}

VgmEvent Wait(uint32_t samples)
{
    return {Kind::Wait, 0, 0, samples};
}

// A refusal fails the check with the reader's message.
testing::AssertionResult Parses(const std::vector<uint8_t>& file, VgmSong* song,
                                std::vector<std::string>* warnings = nullptr)
{
    std::string error;
    if (Ok(ParseVgm(file.data(), file.size(), song, warnings), &error)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << error;
}

std::vector<uint8_t> Gzip(const std::vector<uint8_t>& data)
{
    z_stream zs{};
    EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out(deflateBound(&zs, static_cast<uLong>(data.size())));
    zs.next_in = const_cast<Bytef*>(data.data());
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

}  // namespace

// Every command is followed by a marker write 0x50 0x9F and the end command,
// so a command skipped by a wrong length shows as a wrong event list. Operand
// bytes are 0x66 and 0x50 where they could pass for commands.
TEST(VgmReader, EachCommandIsReadOrSkippedByItsLength)
{
    struct Case {
        const char* name;
        uint32_t clockField;
        uint32_t version;
        std::vector<uint8_t> command;
        std::vector<VgmEvent> events;  // before the marker
        uint64_t skipped;
    };
    const uint32_t dual = 0x40000000u | 3579545u;
    const std::vector<Case> cases = {
        {"0x50 write", 3579545, 0x151, {0x50, 0x66}, {W(0, 0x66)}, 0},
        {"0x30 second chip", dual, 0x151, {0x30, 0x8E}, {W(1, 0x8E)}, 0},
        {"0x30 without dual flag", 3579545, 0x151, {0x30, 0x66}, {}, 1},
        {"0x61 wait", 3579545, 0x151, {0x61, 0x34, 0x12}, {Wait(0x1234)}, 0},
        {"0x61 wait 0", 3579545, 0x151, {0x61, 0x00, 0x00}, {}, 0},
        {"0x62", 3579545, 0x151, {0x62}, {Wait(735)}, 0},
        {"0x63", 3579545, 0x151, {0x63}, {Wait(882)}, 0},
        {"0x64 redefines 0x62", 3579545, 0x170, {0x64, 0x62, 0x10, 0x00, 0x62}, {Wait(16)}, 0},
        {"0x64 redefines 0x63", 3579545, 0x170, {0x64, 0x63, 0x00, 0x01, 0x63}, {Wait(256)}, 0},
        {"0x70", 3579545, 0x151, {0x70}, {Wait(1)}, 0},
        {"0x7F", 3579545, 0x151, {0x7F}, {Wait(16)}, 0},
        {"0x80 DAC write, no wait", 3579545, 0x151, {0x80}, {}, 1},
        {"0x8F DAC write and wait", 3579545, 0x151, {0x8F}, {Wait(15)}, 1},
        {"0x4F GG stereo", 3579545, 0x151, {0x4F, 0x66}, {}, 1},
        {"0x51 YM2413", 3579545, 0x151, {0x51, 0x66, 0x50}, {}, 1},
        {"0x5F", 3579545, 0x151, {0x5F, 0x50, 0x66}, {}, 1},
        {"0x67 data block", 3579545, 0x160, {0x67, 0x66, 0x00, 0x03, 0x00, 0x00, 0x00, 0x66, 0x50, 0x66}, {}, 1},
        {"0x67 size flag bit", 3579545, 0x171, {0x67, 0x66, 0x80, 0x01, 0x00, 0x00, 0x80, 0x66}, {}, 1},
        {"0x68 PCM RAM write", 3579545, 0x171,
         {0x68, 0x66, 0x00, 0x66, 0x66, 0x66, 0x50, 0x50, 0x50, 0x66, 0x66, 0x66}, {}, 1},
        {"0x90 stream set-up", 3579545, 0x160, {0x90, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"0x91 stream data", 3579545, 0x160, {0x91, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"0x92 stream frequency", 3579545, 0x160, {0x92, 0x66, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"0x93 stream start", 3579545, 0x160, {0x93, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66},
         {}, 1},
        {"0x94 stream stop", 3579545, 0x160, {0x94, 0x66}, {}, 1},
        {"0x95 stream fast start", 3579545, 0x160, {0x95, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"0xA0 AY8910", 3579545, 0x171, {0xA0, 0x66, 0x66}, {}, 1},
        {"0xB5", 3579545, 0x171, {0xB5, 0x66, 0x66}, {}, 1},
        {"0xC0 SegaPCM", 3579545, 0x171, {0xC0, 0x66, 0x66, 0x66}, {}, 1},
        {"0xD6", 3579545, 0x171, {0xD6, 0x66, 0x66, 0x66}, {}, 1},
        {"0xE0 seek", 3579545, 0x171, {0xE0, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"0xE1 C352", 3579545, 0x171, {0xE1, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"reserved 0x31", 3579545, 0x171, {0x31, 0x66}, {}, 1},
        {"reserved 0x3F", 3579545, 0x171, {0x3F, 0x66}, {}, 1},
        {"reserved 0x40 from 1.60", 3579545, 0x160, {0x40, 0x66, 0x66}, {}, 1},
        {"reserved 0x4E before 1.60", 3579545, 0x151, {0x4E, 0x66}, {}, 1},
        {"reserved 0xA1", 3579545, 0x171, {0xA1, 0x66, 0x66}, {}, 1},
        {"reserved 0xAF", 3579545, 0x171, {0xAF, 0x66, 0x66}, {}, 1},
        {"reserved 0xC9", 3579545, 0x171, {0xC9, 0x66, 0x66, 0x66}, {}, 1},
        {"reserved 0xDF", 3579545, 0x171, {0xDF, 0x66, 0x66, 0x66}, {}, 1},
        {"reserved 0xE2", 3579545, 0x171, {0xE2, 0x66, 0x66, 0x66, 0x66}, {}, 1},
        {"reserved 0xFF", 3579545, 0x171, {0xFF, 0x66, 0x66, 0x66, 0x66}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VgmBuilder b(c.clockField, c.version);
        b.Add(c.command).Add({0x50, 0x9F, 0x66});
        const std::vector<uint8_t> file = b.Finish();
        VgmSong song;
        ASSERT_TRUE(Parses(file, &song));
        std::vector<VgmEvent> expected = c.events;
        expected.push_back(W(0, 0x9F));
        EXPECT_EQ(song.events, expected);
        EXPECT_EQ(song.skippedCommands, c.skipped);
        EXPECT_TRUE(song.hasEndCommand);
    }
}

TEST(VgmReader, HeaderFields)
{
    VgmBuilder b(0x40000000u | 0x80000000u | 2000000u, 0x170);
    const std::vector<uint8_t> file = b.Add({0x66}).Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    EXPECT_EQ(song.snClockHz, 2000000u);
    EXPECT_TRUE(song.dualChip);
    EXPECT_EQ(song.version, 0x170u);
    EXPECT_EQ(song.dataStart, 0x40u);
}

TEST(VgmReader, DataStartFollowsVersion)
{
    struct Case {
        const char* name;
        uint32_t version;
        uint32_t dataField;
        uint32_t expectedStart;
    };
    const Case cases[] = {
        {"1.01 has no data offset: 0x40", 0x101, 0x4C, 0x40},
        {"1.50 with field 0: 0x40", 0x150, 0, 0x40},
        {"1.50 with field 0x0C", 0x150, 0x0C, 0x40},
        {"1.70 with data at 0x80", 0x170, 0x4C, 0x80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VgmBuilder b(3579545, c.version);
        b.Set32(0x34, c.dataField);
        b.bytes.resize(c.expectedStart, 0x00);  // filler that is no command
        b.Add({0x50, 0x80, 0x66});
        const std::vector<uint8_t> file = b.Finish();
        VgmSong song;
        ASSERT_TRUE(Parses(file, &song));
        EXPECT_EQ(song.dataStart, c.expectedStart);
        EXPECT_EQ(song.events, std::vector<VgmEvent>({W(0, 0x80)}));
    }
}

TEST(VgmReader, NeighbouringWaitsMergeExceptAcrossTheLoopPoint)
{
    VgmBuilder b;
    b.Add({0x62, 0x63, 0x7F}).LoopHere().Add({0x70, 0x50, 0x81, 0x62, 0x66});
    const std::vector<uint8_t> file = b.Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    EXPECT_EQ(song.events, std::vector<VgmEvent>({Wait(735 + 882 + 16), Wait(1), W(0, 0x81), Wait(735)}));
    EXPECT_EQ(song.loopEvent, 1u);
    EXPECT_EQ(song.introSamples, 1633u);
    EXPECT_EQ(song.loopSamples, 736u);
    EXPECT_EQ(VgmPlaySamples(song, 1), 1633u + 736u);
    EXPECT_EQ(VgmPlaySamples(song, 3), 1633u + 3u * 736u);
}

TEST(VgmReader, LoopPointAtASkippedCommandStillSeparatesTheWaits)
{
    VgmBuilder b;
    b.Add({0x62}).LoopHere().Add({0x4F, 0x00, 0x63, 0x66});
    const std::vector<uint8_t> file = b.Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    EXPECT_EQ(song.events, std::vector<VgmEvent>({Wait(735), Wait(882)}));
    EXPECT_EQ(song.loopEvent, 1u);
    EXPECT_EQ(song.introSamples, 735u);
    EXPECT_EQ(song.loopSamples, 882u);
}

TEST(VgmReader, WithoutLoopTheLoopCountChangesNothing)
{
    const std::vector<uint8_t> file = VgmBuilder().Add({0x62, 0x66}).Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    EXPECT_EQ(song.loopEvent, kNoLoop);
    EXPECT_EQ(VgmPlaySamples(song, 5), 735u);
}

TEST(VgmReader, MissingEndCommandPlaysToTheEndWithAWarning)
{
    const std::vector<uint8_t> file = VgmBuilder().Add({0x50, 0x90, 0x62}).Finish();
    VgmSong song;
    std::vector<std::string> warnings;
    ASSERT_TRUE(Parses(file, &song, &warnings));
    EXPECT_FALSE(song.hasEndCommand);
    EXPECT_EQ(song.events, std::vector<VgmEvent>({W(0, 0x90), Wait(735)}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("no end command"), std::string::npos);
}

TEST(VgmReader, CommandsStopAtTheGd3Tag)
{
    VgmBuilder b;
    b.Add({0x50, 0x90, 0x62});
    b.Set32(0x14, static_cast<uint32_t>(b.bytes.size() - 0x14));
    b.Add({'G', 'd', '3', ' ', 0, 1, 0, 0});  // would be commands 0x47, 0x64 ... if read
    const std::vector<uint8_t> file = b.Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    EXPECT_EQ(song.events, std::vector<VgmEvent>({W(0, 0x90), Wait(735)}));
}

TEST(VgmReader, MalformedFilesAreRefusedWithAReason)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* reason;  // part of the message
    };
    // A finished file with one header field then set to value.
    const auto with = [](std::initializer_list<uint8_t> commands, size_t field, uint32_t value) {
        VgmBuilder b;
        b.Add(commands).Finish();
        b.Set32(field, value);
        return b.bytes;
    };
    std::vector<uint8_t> badIdent = VgmBuilder().Add({0x66}).Finish();
    badIdent[0] = 'v';
    std::vector<uint8_t> cutHeader = VgmBuilder().Finish();
    cutHeader.resize(0x30);
    std::vector<uint8_t> cutFile = VgmBuilder().Add({0x62, 0x66}).Finish();
    cutFile.pop_back();
    std::vector<Case> cases = {
        {"bad ident", badIdent, "ident"},
        {"header cut short", cutHeader, "header cut short"},
        {"file shorter than its header says", cutFile, "truncated"},
        {"end-of-file offset inside the header", with({0x66}, 0x04, 0x20), "into the header"},
        {"data offset past the end", with({0x66}, 0x34, 0x1000), "data offset 0x1000 points past the end"},
        {"data offset into the header", with({0x66}, 0x34, 0x04), "points backwards"},
        {"negative data offset", with({0x66}, 0x34, 0xFFFFFFF0u), "points backwards"},
        {"loop offset past the end", with({0x62, 0x66}, 0x1C, 0x100), "loop offset 0x100 points past the end"},
        {"loop offset into the header", with({0x62, 0x66}, 0x1C, 0x04), "points before the data"},
        // the first operand of the wait
        {"loop offset inside a command", with({0x61, 0x10, 0x00, 0x66}, 0x1C, 0x40 + 1 - 0x1C),
         "does not point at a command"},
    };
    const std::vector<uint8_t> unknownCodes = {0x00, 0x2F, 0x60, 0x65, 0x69, 0x6F, 0x96, 0x9F};
    for (uint8_t code : unknownCodes) {
        cases.push_back({"unknown command", VgmBuilder().Add({0x62, code, 0x66}).Finish(),
                         code == 0x00 ? "unknown command 0x0 at offset 0x41" : "unknown command"});
    }
    cases.push_back({"wait cut off", VgmBuilder().Add({0x62, 0x61, 0x10}).Finish(), "cut off"});
    cases.push_back({"data block cut off", VgmBuilder().Add({0x67, 0x66, 0x00, 0x10, 0, 0, 0, 1, 2}).Finish(),
                     "cut off"});
    cases.push_back({"data block head cut off", VgmBuilder().Add({0x67, 0x66, 0x00}).Finish(), "cut off"});
    cases.push_back({"data block without marker", VgmBuilder().Add({0x67, 0x00, 0x00, 0, 0, 0, 0, 0x66}).Finish(),
                     "marker"});
    cases.push_back({"no SN76489", VgmBuilder(0).Add({0x66}).Finish(), "clock field is 0"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VgmSong song;
        std::string error;
        EXPECT_FALSE(Ok(ParseVgm(c.file.data(), c.file.size(), &song), &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(VgmPlan, WaitsPastTheLimitAreRefused)
{
    // 25 hours of 0x61 waits.
    VgmBuilder b;
    b.Wait(25u * 3600u * 44100u).Add({0x66});
    const std::vector<uint8_t> file = b.Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    std::string error;
    PlayOptions options;
    PlayPlan plan;
    EXPECT_FALSE(Ok(PlanVgm(song, options, &plan), &error));
    EXPECT_NE(error.find("25.0 hours"), std::string::npos) << error;
    EXPECT_NE(error.find("--max-hours"), std::string::npos) << error;
    options.maxHours = 26;
    EXPECT_TRUE(Ok(PlanVgm(song, options, &plan), &error)) << error;
    EXPECT_EQ(plan.totalFrames, 25ull * 3600u * 44100u);
}

TEST(VgmPlan, LoopsCountTowardsTheLimit)
{
    VgmBuilder b;
    b.Wait(60u * 44100u).LoopHere().Wait(10u * 3600u * 44100u).Add({0x66});
    const std::vector<uint8_t> file = b.Finish();
    VgmSong song;
    ASSERT_TRUE(Parses(file, &song));
    std::string error;
    PlayOptions options;
    PlayPlan plan;
    options.loops = 2;
    EXPECT_TRUE(Ok(PlanVgm(song, options, &plan), &error)) << error;
    options.loops = 3;  // 1 minute + 30 hours
    EXPECT_FALSE(Ok(PlanVgm(song, options, &plan), &error));
    options.loops = 1000000;
    EXPECT_FALSE(Ok(PlanVgm(song, options, &plan), &error));
}

TEST(VgmPlan, PitchFixedChipRate)
{
    // hostRate x 3993600 / clock, rounded.
    EXPECT_EQ(PitchFixedRate(44100, 3579545), 49201);  // 49201.19...
    EXPECT_EQ(PitchFixedRate(44100, 4000000), 44029);  // 44029.44
    EXPECT_EQ(PitchFixedRate(44100, 2000000), 88059);  // 88058.88
    EXPECT_EQ(PitchFixedRate(48000, 3993600), 48000);
}

TEST(VgmPlan, ClocksBeyondTheChipsReachAreRefused)
{
    // 1000 Hz would need a chip rate of 176 MHz; 10.5 MHz would make the
    // chips count many times per frame for nothing a real chip could do.
    for (uint32_t clock : {1000u, 10500000u}) {
        SCOPED_TRACE(clock);
        const std::vector<uint8_t> file = VgmBuilder(clock).Add({0x66}).Finish();
        VgmSong song;
        ASSERT_TRUE(Parses(file, &song));
        std::string error;
        PlayOptions options;
        PlayPlan plan;
        EXPECT_FALSE(Ok(PlanVgm(song, options, &plan), &error));
        EXPECT_NE(error.find("--no-pitch-fix"), std::string::npos) << error;
        options.pitchFix = false;
        EXPECT_TRUE(Ok(PlanVgm(song, options, &plan), &error)) << error;
        EXPECT_EQ(plan.chipRateHz, 44100);
    }
}

TEST(InputFile, GzipIsUnpackedAndItsFaultsReported)
{
    const std::vector<uint8_t> vgm = VgmBuilder().Add({0x50, 0x90, 0x62, 0x66}).Finish();
    const std::vector<uint8_t> packed = Gzip(vgm);
    {
        SCOPED_TRACE("whole");
        std::vector<uint8_t> bytes = packed;
        InputKind kind = InputKind::PortScript;
        std::string error;
        ASSERT_TRUE(Ok(PrepareInput(&bytes, kMaxInputBytes, &kind), &error)) << error;
        EXPECT_EQ(kind, InputKind::Vgm);
        EXPECT_EQ(bytes, vgm);
    }
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        size_t limit;
        const char* reason;  // part of the message
    };
    std::vector<Case> cases;
    for (size_t keep : {packed.size() - 1, packed.size() - 9, packed.size() / 2, size_t{12}}) {
        cases.push_back({"cut short to " + std::to_string(keep),
                         {packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep)}, kMaxInputBytes,
                         "ends early"});
    }
    std::vector<uint8_t> badSum = packed;
    badSum[badSum.size() - 6] ^= 0xFF;
    cases.push_back({"corrupt checksum", badSum, kMaxInputBytes, "corrupt"});
    cases.push_back({"over the size limit", packed, vgm.size() - 1, "unpacks to more than"});
    const std::string text = "mix 10\n";
    cases.push_back({"packed text", Gzip(std::vector<uint8_t>(text.begin(), text.end())), kMaxInputBytes, "not a VGM"});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        InputKind kind;
        std::string error;  // each case its own message
        EXPECT_FALSE(Ok(PrepareInput(&c.bytes, c.limit, &kind), &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}
