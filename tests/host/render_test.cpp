// End to end through the shared front end and the device linked in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/fade.h"
#include "host/frame_chain.h"
#include "host/front_end.h"
#include "host/native_binding.h"
#include "host/player.h"
#include "host/render_options.h"
#include "host/resample_stage.h"
#include "host/sound_hub.h"
#include "host/source.h"
#include "tests/host/scratch_dir.h"
#include "tests/support/host_result.h"
#include "tests/support/vgm_builder.h"

namespace fs = std::filesystem;

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

class RenderTest : public ScratchDir {
protected:
    // Runs the front end; returns its exit code, with stdout and stderr text.
    int Run(const std::vector<std::string>& args)
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int rc = ExitWith(RunFrontEnd(NativeFrontEnd(), args, out, err), "quarix-render", err);
        stdoutText = Slurp(out);
        stderrText = Slurp(err);
        return rc;
    }

    static std::string Slurp(std::FILE* f)
    {
        std::string text;
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;) {
            text += static_cast<char>(c);
        }
        std::fclose(f);
        return text;
    }

    // Raw output as left samples (the device writes left and right alike).
    static std::vector<int32_t> LeftSamples(const std::vector<uint8_t>& raw)
    {
        std::vector<int32_t> left;
        for (size_t i = 0; i + 8 <= raw.size(); i += 8) {
            left.push_back(static_cast<int32_t>(Le32(raw, i)));
        }
        return left;
    }

    std::string stdoutText;
    std::string stderrText;
};

// Tone 0 of a chip at period register 254 and full volume, for 100 samples,
// in the chip's own byte order, at the chips' own clock so that no pitch
// correction applies.
std::vector<uint8_t> TinyToneVgm(uint8_t command, uint32_t clockField)
{
    return VgmBuilder(clockField).Add({command, 0x8E, command, 0x0F, command, 0x90}).Wait(100).Add({0x66}).Finish();
}

// Frames of tone 254 at 44100 Hz after a reset: toggle to 1 at 11579 units,
// to 0 at 45 frames + 3525, to 1 at 89 frames + 61007.
const std::pair<int, int32_t> kToneFrames[] = {{0, 8992}, {1, 10922}, {44, 10922}, {45, 587}, {46, 0},
                                                {88, 0},   {89, 754},  {90, 10922}, {99, 10922}};

}  // namespace

TEST(PortByte, ReversesTheBitOrder)
{
    EXPECT_EQ(PortByteFor(0x01), 0x80);
    EXPECT_EQ(PortByteFor(0x0F), 0xF0);
    EXPECT_EQ(PortByteFor(0x9F), 0xF9);
    EXPECT_EQ(PortByteFor(0x8E), 0x71);
    EXPECT_EQ(PortByteFor(0x00), 0x00);
    EXPECT_EQ(PortByteFor(0xFF), 0xFF);
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(PortByteFor(PortByteFor(static_cast<uint8_t>(v))), v);
    }
}

TEST(RenderOptions, NewOptionsAndTheirLimits)
{
    struct Case {
        std::vector<std::string> args;
        const char* error;  // nullptr: parses
        uint32_t fadeMs;
    };
    const Case cases[] = {
        {{"a", "--fade", "0.5"}, nullptr, 500},
        {{"a", "--fade", "3600"}, nullptr, 3600000},
        {{"a", "--fade", "1.25"}, nullptr, 1250},
        {{"a", "--fade", "0"}, "--fade 0:", 0},
        {{"a", "--fade", "1.2345"}, "--fade 1.2345:", 0},
        {{"a", "--fade", "3600.001"}, "--fade 3600.001:", 0},
        {{"a", "--fade", "-1"}, "--fade -1:", 0},
        {{"a", "--fade", ".5"}, "--fade .5:", 0},
        {{"a", "b", "-d", "out", "--raw"}, nullptr, 0},
        {{"a", "b", "--raw", "x.bin"}, "several inputs: give -d DIR", 0},
        {{"a", "-d", "out", "-o", "x.wav"}, "-o names one file", 0},
        {{"a", "b", "-d", "out", "-j", "0"}, "-j 0:", 0},
        {{"--info"}, "no input file", 0},
        {{"a", "--stems"}, "--stems writes files beside the mix", 0},
        {{"a", "--stems", "-o", "x.wav", "--play"}, "--stems writes files beside the mix", 0},
        {{"a", "--start", "-1"}, "--start -1:", 0},
        {{"a", "--start", "0.0001"}, "--start 0.0001:", 0},
        {{"a", "b", "-d", "out", "--stems", "--start", "2.5"}, nullptr, 0},
        {{"a", "--format", "ogg"}, "--format ogg: give wav or flac", 0},
        {{"a", "-o", "x.WAV", "--format", "flac"}, "--format and the name of -o x.WAV", 0},
        {{"a", "-o", "x.flac", "--format", "flac"}, nullptr, 0},
        {{"a", "-o", "-", "--format", "flac"}, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        RenderOptions options;
        std::string error;
        EXPECT_EQ(Ok(ParseRenderOptions(c.args, NativeFrontEnd(), &options), &error), c.error == nullptr) << error;
        if (c.error != nullptr) {
            EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
        } else {
            EXPECT_EQ(options.play.fadeMs, c.fadeMs);
        }
    }
    RenderOptions options;
    std::string error;
    ASSERT_TRUE(Ok(ParseRenderOptions({"a", "b", "-d", "out", "--raw"}, NativeFrontEnd(), &options), &error));
    EXPECT_TRUE(options.rawInDir);
    EXPECT_TRUE(options.rawPath.empty());
    FrontEnd oneAtATime;  // as j27host, which renders one file after another
    oneAtATime.offersModule = true;
    EXPECT_FALSE(Ok(ParseRenderOptions({"a", "-j", "2"}, oneAtATime, &options), &error));
    // The format: the name's extension, else --format.
    EXPECT_EQ(OutputFormat("x.FLAC", SoundFormat::Wav), SoundFormat::Flac);
    EXPECT_EQ(OutputFormat("x.wav", SoundFormat::Flac), SoundFormat::Wav);
    EXPECT_EQ(OutputFormat("-", SoundFormat::Flac), SoundFormat::Flac);
    EXPECT_EQ(OutputFormat("flac", SoundFormat::Wav), SoundFormat::Wav);
}

TEST_F(RenderTest, TinyVgmGivesExactWavHeaderAndFrames)
{
    const std::string input = Write("tone.vgm", TinyToneVgm(0x50, 3993600));
    const std::string wav = (dir / "tone.wav").string();
    const std::string raw = (dir / "tone.bin").string();
    ASSERT_EQ(Run({input, "-o", wav, "--raw", raw, "--exact"}), 0) << stderrText;

    const std::vector<uint8_t> w = Read(wav);
    ASSERT_EQ(w.size(), 44u + 100u * 4u);
    EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(w, 4), 36u + 400u);
    EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(Le32(w, 16), 16u);
    EXPECT_EQ(Le16(w, 20), 1u);      // PCM
    EXPECT_EQ(Le16(w, 22), 2u);      // stereo
    EXPECT_EQ(Le32(w, 24), 44100u);
    EXPECT_EQ(Le32(w, 28), 176400u);
    EXPECT_EQ(Le16(w, 32), 4u);
    EXPECT_EQ(Le16(w, 34), 16u);
    EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
    EXPECT_EQ(Le32(w, 40), 400u);

    const std::vector<int32_t> left = LeftSamples(Read(raw));
    ASSERT_EQ(left.size(), 100u);
    for (const auto& [frame, value] : kToneFrames) {
        SCOPED_TRACE(frame);
        const size_t at = 44 + 4 * static_cast<size_t>(frame);
        EXPECT_EQ(static_cast<int16_t>(Le16(w, at)), value);      // left
        EXPECT_EQ(static_cast<int16_t>(Le16(w, at + 2)), value);  // right
        EXPECT_EQ(left[static_cast<size_t>(frame)], value);
    }
    EXPECT_FALSE(fs::exists(wav + ".part"));
}

TEST_F(RenderTest, SecondChipCommandsReachChipOneOnlyInDualChipFiles)
{
    const std::string dual = Write("dual.vgm", TinyToneVgm(0x30, 0x40000000u | 3993600u));
    const std::string single = Write("single.vgm", TinyToneVgm(0x30, 3993600u));
    const std::string dualRaw = (dir / "dual.bin").string();
    const std::string singleRaw = (dir / "single.bin").string();
    ASSERT_EQ(Run({dual, "--raw", dualRaw}), 0) << stderrText;
    ASSERT_EQ(Run({single, "--raw", singleRaw}), 0) << stderrText;
    const std::vector<int32_t> left = LeftSamples(Read(dualRaw));
    ASSERT_EQ(left.size(), 100u);
    for (const auto& [frame, value] : kToneFrames) {
        EXPECT_EQ(left[static_cast<size_t>(frame)], value) << frame;
    }
    const std::vector<int32_t> silent = LeftSamples(Read(singleRaw));
    EXPECT_EQ(silent, std::vector<int32_t>(100, 0));
}

TEST_F(RenderTest, PitchFixPlaysToneAtTheVgmClocksFrequency)
{
    // 2 s of tone 0 at period register 254, logged at 3579545 Hz.
    const std::vector<uint8_t> vgm =
        VgmBuilder(3579545).Add({0x50, 0x8E, 0x50, 0x0F, 0x50, 0x90}).Wait(2 * 44100).Add({0x66}).Finish();
    const std::string input = Write("a440.vgm", vgm);
    struct Case {
        const char* option;
        double expectedHz;
    };
    const Case cases[] = {
        {nullptr, 3579545.0 / (32.0 * 254.0)},          // 440.397 Hz
        {"--no-pitch-fix", 3993600.0 / (32.0 * 254.0)},  // the chips' own 491.339 Hz
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option != nullptr ? c.option : "pitch fix");
        const std::string raw = (dir / "a440.bin").string();
        std::vector<std::string> args = {input, "--raw", raw};
        if (c.option != nullptr) {
            args.push_back(c.option);
        }
        ASSERT_EQ(Run(args), 0) << stderrText;
        const std::vector<int32_t> v = LeftSamples(Read(raw));
        ASSERT_EQ(v.size(), 88200u);  // tempo: 44100 frames per second of VGM time either way
        // Rising crossings of half the amplitude, placed between frames by
        // linear interpolation.
        const double half = 10922 / 2.0;
        std::vector<double> rises;
        for (size_t i = 1; i < v.size(); ++i) {
            if (v[i - 1] < half && v[i] >= half) {
                rises.push_back(static_cast<double>(i - 1) + (half - v[i - 1]) / (v[i] - v[i - 1]));
            }
        }
        ASSERT_GT(rises.size(), 800u);
        const double period = (rises.back() - rises.front()) / static_cast<double>(rises.size() - 1);
        const double hz = 44100.0 / period;
        EXPECT_NEAR(hz / c.expectedHz, 1.0, 0.001) << hz << " Hz";
    }
}

TEST_F(RenderTest, SummaryGivesDurationPeakAndClippedSamples)
{
    // Both chips: three tones at the longest period and full volume for 100
    // frames, so every frame after the first holds 3 x 10922 per chip; then
    // silence to one second. Port bytes are the chip bytes bit-reversed.
    std::string script = "rate 44100\n";
    for (const char* port : {"0xAC", "0xAF"}) {
        for (const char* byte : {"0xF1", "0xFC", "0x09", "0xF5", "0xFC", "0x0D", "0xF3", "0xFC", "0x0B"}) {
            script += std::string("out ") + port + " " + byte + "\n";
        }
    }
    script += "mix 100\n";
    for (const char* port : {"0xAC", "0xAF"}) {
        for (const char* byte : {"0xF9", "0xFD", "0xFB"}) {  // attenuation 15
            script += std::string("out ") + port + " " + byte + "\n";
        }
    }
    script += "mix 44000\n";
    const std::string input = Write("loud.qps", script);
    const std::string wav = (dir / "loud.wav").string();
    const std::string raw = (dir / "loud.bin").string();
    ASSERT_EQ(Run({input, "-o", wav, "--raw", raw}), 0) << stderrText;

    const std::vector<int32_t> left = LeftSamples(Read(raw));
    ASSERT_EQ(left.size(), 44100u);
    EXPECT_EQ(left[0], 2 * 26976);  // on-time 53957 of 65536 in the first frame
    EXPECT_EQ(left[1], 65532);
    EXPECT_EQ(left[99], 65532);
    EXPECT_EQ(left[100], 0);
    const std::vector<uint8_t> w = Read(wav);
    EXPECT_EQ(static_cast<int16_t>(Le16(w, 44 + 4 * 1)), 32767);  // saturated

    EXPECT_NE(stderrText.find("1.00 s at 44100 Hz"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("peak 65532 (6.0 dBFS), 200 clipped samples"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("x real time"), std::string::npos) << stderrText;
    EXPECT_TRUE(stdoutText.empty()) << stdoutText;
}

// Three loops play exactly what the same commands written out three times
// play: the chips run on through each repeat.
TEST_F(RenderTest, LoopsRepeatTheLoopedPart)
{
    // Tone 0 at period register 254, silent for the intro; the looped part
    // sounds it for 100 frames at full volume and 100 at attenuation 4.
    const std::vector<uint8_t> intro = {0x50, 0x8E, 0x50, 0x0F, 0x50, 0x9F};
    const std::vector<uint8_t> body = {0x50, 0x90};
    const std::vector<uint8_t> quieter = {0x50, 0x94};
    const std::vector<uint8_t> looped =
        VgmBuilder().Add(intro).Wait(300).LoopHere().Add(body).Wait(100).Add(quieter).Wait(100).Add({0x66}).Finish();
    VgmBuilder unrolled;
    unrolled.Add(intro).Wait(300);
    for (int pass = 0; pass < 3; ++pass) {
        unrolled.Add(body).Wait(100).Add(quieter).Wait(100);
    }
    const std::string loopInput = Write("loop.vgm", looped);
    const std::string unrolledInput = Write("unrolled.vgm", unrolled.Add({0x66}).Finish());
    ASSERT_EQ(Run({loopInput, "--raw", Path("loop.bin"), "--loops", "3"}), 0) << stderrText;
    ASSERT_EQ(Run({unrolledInput, "--raw", Path("unrolled.bin")}), 0) << stderrText;
    const std::vector<int32_t> loops = LeftSamples(Read(Path("loop.bin")));
    ASSERT_EQ(loops.size(), 300u + 3u * 200u);
    EXPECT_EQ(loops, LeftSamples(Read(Path("unrolled.bin"))));
    EXPECT_EQ(std::count(loops.begin(), loops.begin() + 300, 0), 300) << "a silent intro";
    for (const std::ptrdiff_t pass : {300, 500, 700}) {
        SCOPED_TRACE(pass);
        const auto start = loops.begin() + pass;
        EXPECT_EQ(*std::max_element(start, start + 100), 10922);
        EXPECT_EQ(*std::max_element(start + 101, start + 200), 10921);
    }
    ASSERT_EQ(Run({loopInput, "--raw", Path("loop.bin"), "--rate", "22050"}), 0) << stderrText;
    EXPECT_EQ(Read(Path("loop.bin")).size(), 250u * 8u);
}

TEST_F(RenderTest, BadInputGivesOneMessageAndNoOutput)
{
    std::vector<uint8_t> badIdent = TinyToneVgm(0x50, 3993600);
    badIdent[0] = 'X';
    std::vector<uint8_t> truncatedGzip = {0x1F, 0x8B, 0x08, 0x00, 0, 0, 0, 0, 0x00, 0x03, 0x63, 0x60};
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> extra;
        std::string mustMention;
    };
    const std::string outDir = (dir / "out").string();
    fs::create_directories(outDir);
    const std::vector<Case> cases = {
        {"missing file", (dir / "none.vgm").string(), {}, "cannot open"},
        {"bad ident", Write("ident.vgm", badIdent), {}, "no \"Vgm \" ident"},
        {"truncated gzip", Write("cut.vgz", truncatedGzip), {}, "ends early"},
        {"unknown command", Write("unknown.vgm", VgmBuilder().Add({0x62, 0x69, 0x66}).Finish()), {},
         "unknown command 0x69"},
        {"25 hours", Write("long.vgm", VgmBuilder().Wait(25u * 3600u * 44100u).Add({0x66}).Finish()), {},
         "--max-hours"},
        {"7 hours into a WAV", Write("seven.vgm", VgmBuilder().Wait(7u * 3600u * 44100u).Add({0x66}).Finish()),
         {}, "4 GiB"},
        {"bad script", Write("bad.qps", std::string("mix 1\nout 0xAC\n")), {}, "line 2"},
        {"unwritable output", Write("ok.vgm", TinyToneVgm(0x50, 3993600)), {"-o", (dir / "no/such/dir.wav").string()},
         "cannot write"},
        {"one file for both outputs", Write("ok.vgm", TinyToneVgm(0x50, 3993600)), {"--raw", outDir + "/x.wav"},
         "name the same file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {c.input, "-o", outDir + "/x.wav", "--raw", outDir + "/x.bin"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(Run(args), 1);
        EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 1) << stderrText;
        EXPECT_EQ(stderrText.rfind("quarix-render: ", 0), 0u) << stderrText;
        EXPECT_NE(stderrText.find(c.mustMention), std::string::npos) << stderrText;
        const std::string named = c.extra.empty() ? (c.mustMention == "4 GiB" ? outDir + "/x.wav" : c.input)
                                                  : c.extra.back();
        EXPECT_NE(stderrText.find(named), std::string::npos) << stderrText;
        EXPECT_TRUE(fs::is_empty(outDir)) << "output left behind";
        EXPECT_TRUE(stdoutText.empty());
    }
}

namespace {

// Tone 0 of chip 0 at period register 254 and full volume, as port-script lines.
const char kToneLines[] = "out 0xAC 0x71\nout 0xAC 0xF0\nout 0xAC 0x09\n";

}  // namespace

TEST_F(RenderTest, DashIsStandardOutputAndMessagesGoToStandardError)
{
    const std::string input = Write("tone.vgm", TinyToneVgm(0x50, 3993600));
    const std::string raw = Path("tone.bin");
    ASSERT_EQ(Run({input, "--raw", raw}), 0) << stderrText;
    for (const char* option : {"--raw", "-o"}) {
        SCOPED_TRACE(option);
        ASSERT_EQ(Run({input, option, "-"}), 0) << stderrText;
        const std::vector<uint8_t> file = Read(raw);
        if (std::string(option) == "--raw") {
            EXPECT_EQ(std::vector<uint8_t>(stdoutText.begin(), stdoutText.end()), file);
        } else {
            ASSERT_EQ(stdoutText.size(), 44u + 400u);
            EXPECT_EQ(Le32(std::vector<uint8_t>(stdoutText.begin(), stdoutText.end()), 40), 400u);
        }
        EXPECT_NE(stderrText.find("0.00 s at 44100 Hz"), std::string::npos) << stderrText;
        EXPECT_FALSE(fs::exists(Path("-")));
    }
    EXPECT_EQ(Run({input, "-o", "-", "--raw", "-"}), 1);
    EXPECT_NE(stderrText.find("only one output"), std::string::npos) << stderrText;
}

TEST_F(RenderTest, RateLineAfterAMixResetsBothChipsAtTheNewRate)
{
    // The second half must be exactly what a fresh run at 22050 Hz gives.
    const std::string fresh = Write("fresh.qps", std::string("rate 22050\n") + kToneLines + "mix 100\n");
    const std::string changing = Write("change.qps", std::string("rate 44100\n") + kToneLines +
                                                         "mix 100\nrate 22050\n" + kToneLines + "mix 100\n");
    const std::string silenced = Write("silenced.qps", std::string(kToneLines) + "mix 100\nrate 22050\nmix 10\n");
    ASSERT_EQ(Run({fresh, "--raw", Path("fresh.bin")}), 0) << stderrText;
    ASSERT_EQ(Run({changing, "--raw", Path("change.bin")}), 0) << stderrText;
    ASSERT_EQ(Run({silenced, "--raw", Path("silenced.bin")}), 0) << stderrText;
    const std::vector<int32_t> expected = LeftSamples(Read(Path("fresh.bin")));
    const std::vector<int32_t> all = LeftSamples(Read(Path("change.bin")));
    ASSERT_EQ(all.size(), 200u);
    EXPECT_EQ(all[44], 10922);  // sounding before the change
    EXPECT_EQ(std::vector<int32_t>(all.begin() + 100, all.end()), expected);
    const std::vector<int32_t> quiet = LeftSamples(Read(Path("silenced.bin")));
    ASSERT_EQ(quiet.size(), 110u);
    EXPECT_EQ(quiet[99], 10922);
    EXPECT_EQ(std::vector<int32_t>(quiet.begin() + 100, quiet.end()), std::vector<int32_t>(10, 0));

    EXPECT_EQ(Run({changing, "-o", Path("change.wav")}), 1);
    EXPECT_NE(stderrText.find("line 6: the rate changes after the first mix"), std::string::npos) << stderrText;
    EXPECT_FALSE(fs::exists(Path("change.wav")));
    // The same rate again changes nothing a WAV could not hold.
    const std::string same = Write("same.qps", "rate 44100\nmix 10\nrate 44100\nmix 10\n");
    EXPECT_EQ(Run({same, "-o", Path("same.wav")}), 0) << stderrText;
}

TEST_F(RenderTest, BatchWritesEveryGoodInputAndNamesTheBadOne)
{
    const std::string a = Write("a.vgm", TinyToneVgm(0x50, 3993600));
    const std::string bad = Write("bad.qps", std::string("mix 1\nplay\n"));
    const std::string c = Write("c.qps", std::string("rate 8000\n") + kToneLines + "mix 80\n");
    const std::string out = Path("out");
    EXPECT_EQ(Run({a, bad, c, "-d", out, "--raw", "-j", "1"}), 1);
    // The VGM plays clean: 100 samples in the WAV, and beside it the chips'
    // frames at their 249600 Hz, 565.98 of them.
    EXPECT_EQ(Read(out + "/a.wav").size(), 44u + 400u);
    EXPECT_EQ(Read(out + "/a.bin").size(), 565u * 8u);
    EXPECT_EQ(Read(out + "/c.wav").size(), 44u + 320u);
    EXPECT_FALSE(fs::exists(out + "/bad.wav"));
    // One line per file and the total.
    EXPECT_EQ(std::count(stderrText.begin(), stderrText.end(), '\n'), 4) << stderrText;
    EXPECT_NE(stderrText.find(bad + ": line 2"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("-> " + out + "/c.wav"), std::string::npos) << stderrText;
    EXPECT_NE(stderrText.find("3 files: 2 written, 1 failed"), std::string::npos) << stderrText;
}

TEST_F(RenderTest, StemsOfAPlaylistTakeTheirNamesAndComeInTheMixFormat)
{
    // Only channel 1 sounds in a.vgm: its stem a-1.flac is the name the second entry's mix would take.
    Write("a.vgm", TinyToneVgm(0x50, 3993600));
    Write("a-1.qps", std::string("rate 8000\n") + kToneLines + "mix 80\n");
    const std::string out = Path("out");
    const std::string list = Write("list.m3u", std::string("a.vgm\na-1.qps\n"));
    EXPECT_EQ(Run({list, "-d", out, "--stems", "--format", "flac", "-j", "1"}), 1);
    for (const char* name : {"/a.flac", "/a-1.flac"}) {
        const std::vector<uint8_t> flac = Read(out + name);
        EXPECT_EQ(std::string(flac.begin(), flac.end()).substr(0, 4), "fLaC") << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2) << stderrText;
    EXPECT_NE(stderrText.find("a-1.qps: skipped: another input already writes " + out + "/a-1.*"), std::string::npos)
        << stderrText;
    // -o names the stems after itself, in its format.
    EXPECT_EQ(Run({Path("a.vgm"), "--stems", "-q", "-o", Path("one.flac")}), 0) << stderrText;
    EXPECT_TRUE(fs::exists(Path("one-1.flac")));
    EXPECT_FALSE(fs::exists(Path("one-2.flac")));
}

TEST(FadeStage, RampsLinearlyToZeroAcrossBatches)
{
    struct {
        std::vector<StereoFrame> got;
        void Take(std::span<const StereoFrame> frames) { got.insert(got.end(), frames.begin(), frames.end()); }
    } recorder;
    FadeStage fade(2, 4);
    const StereoFrame loud[3] = {{1000, -1001}, {1000, -1001}, {1000, -1001}};
    recorder.Take(fade.Process(loud));  // the fade starts inside the first batch
    recorder.Take(fade.Process(loud));
    const int32_t left[] = {1000, 1000, 1000, 750, 500, 250};
    const int32_t right[] = {-1001, -1001, -1001, -750, -500, -250};  // towards zero
    ASSERT_EQ(recorder.got.size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(recorder.got[i].left, left[i]);
        EXPECT_EQ(recorder.got[i].right, right[i]);
    }
}

// The fade follows the loops: each of its frames is the unfaded play's
// frame k scaled by (F - k) / F, rounded towards zero.
TEST_F(RenderTest, FadePlaysOnAfterTheLoops)
{
    const std::vector<uint8_t> vgm = VgmBuilder()
                                         .Add({0x50, 0x8E, 0x50, 0x0F, 0x50, 0x90})
                                         .Wait(300)
                                         .LoopHere()
                                         .Add({0x50, 0x8E})
                                         .Wait(200)
                                         .Add({0x66})
                                         .Finish();
    const std::string input = Write("loop.vgm", vgm);
    ASSERT_EQ(Run({input, "--raw", Path("plain.bin"), "--loops", "5"}), 0) << stderrText;
    ASSERT_EQ(Run({input, "--raw", Path("fade.bin"), "--loops", "2", "--fade", "0.01"}), 0) << stderrText;
    const std::vector<int32_t> plain = LeftSamples(Read(Path("plain.bin")));
    const std::vector<int32_t> faded = LeftSamples(Read(Path("fade.bin")));
    constexpr int64_t kFade = 441;
    ASSERT_EQ(plain.size(), 1300u);
    ASSERT_EQ(faded.size(), 700u + kFade);
    EXPECT_EQ(std::vector<int32_t>(faded.begin(), faded.begin() + 700),
              std::vector<int32_t>(plain.begin(), plain.begin() + 700));
    int64_t sounding = 0;
    for (int64_t k = 0; k < kFade; ++k) {
        const int32_t unfaded = plain[static_cast<size_t>(700 + k)];
        ASSERT_EQ(faded[static_cast<size_t>(700 + k)], unfaded * (kFade - k) / kFade) << "fade frame " << k;
        sounding += unfaded != 0 ? 1 : 0;
    }
    EXPECT_GT(sounding, kFade / 3) << "the fade must cover sound";
    EXPECT_NE(stderrText.find("faded out over the last 0.01 s"), std::string::npos) << stderrText;
}

// Seeks on the clean path, back and then forward: what is heard after each
// is what an uninterrupted run has there, and the kept sinks get every frame
// once. A seek back plays the kept frames again, the module going on where it
// was; after the channels change (ForgetHeard), at the seek or while kept
// frames play, the song starts again, every stage restarted.
TEST_F(RenderTest, SeeksLandOnTheFramesOfAnUninterruptedRun)
{
    VgmBuilder vgm;
    for (uint8_t k = 0; k < 40; ++k) {
        const uint8_t tone = static_cast<uint8_t>(0x80 | (k & 0x0F));
        vgm.Add({0x50, tone, 0x50, static_cast<uint8_t>(k + 3), 0x50, static_cast<uint8_t>(0x90 | (k % 15)), 0x50,
                 static_cast<uint8_t>(0xE4 | (k & 3)), 0x50, 0xF2})
            .Wait(900);
    }
    std::unique_ptr<Source> source;
    std::string why;
    ASSERT_TRUE(Ok(LoadSource(Write("seek.vgm", vgm.Add({0x66}).Finish()), &source), &why)) << why;
    PlayOptions clean;
    clean.clean = true;
    PlayPlan plan;
    ASSERT_TRUE(Ok(source->Plan(clean, &plan), &why)) << why;

    struct Frames final : PcmSink {
        void Take(std::span<const PcmFrame> f) override
        {
            all.insert(all.end(), f.begin(), f.end());
            if (forgetIn != nullptr && forgetIn->HeardEnd() < forgetIn->Position()) {
                EXPECT_TRUE(forgetIn->ForgetHeard(forgetIn->HeardEnd()));  // while hearing kept frames again
                forgetIn = nullptr;
            }
        }
        std::vector<PcmFrame> all;
        FrameChain* forgetIn = nullptr;
    };
    // A seek at one of the control's calls; forget: the channels change first.
    struct Seek {
        int call;
        uint64_t target;
        bool forget;
    };
    struct Run {
        bool forgetAgain = false;  // the channels change while kept frames play again
        std::vector<uint64_t> at;  // the chain's position at each seek
        int calls = 0;
        Frames heard;
        Frames kept;
    };
    const auto run = [&](const std::vector<Seek>& seeks, Run* r) {
        FrameChain chain;
        FadeStage fade(plan.fadeStartFrame, plan.fadeFrames);
        std::unique_ptr<ResampleStage> resample;
        ASSERT_TRUE(Ok(ResampleStage::Create(plan.frameRate, plan.hostRateHz, plan.totalFrames, plan.outputFrames,
                                             &resample),
                       &why));
        chain.AddStage(&fade);
        chain.AddStage(resample.get());
        chain.AddSink(&r->kept);
        chain.AddHeardSink(&r->heard);
        r->heard.forgetIn = r->forgetAgain ? &chain : nullptr;
        struct Control final : PlayControl {
            bool GoOn() override
            {
                ++r->calls;
                for (const Seek& s : *seeks) {
                    if (s.call == r->calls) {
                        r->at.push_back(chain->Position());
                        if (s.forget) {
                            EXPECT_FALSE(chain->ForgetHeard(chain->Position()));  // heard at the present
                        }
                        chain->SeekTo(s.target);
                    }
                }
                return !chain->RestartPending();
            }
            FrameChain* chain;
            const std::vector<Seek>* seeks;
            Run* r;
        } control;
        control.chain = &chain;
        control.seeks = &seeks;
        control.r = r;
        PortBus bus;
        SoundHub hub(&chain);
        NativeBinding binding;
        ASSERT_TRUE(Ok(binding.Bind(bus, hub), &why)) << why;
        EXPECT_TRUE(PlayAcrossSeeks(*source, plan, bus, hub, chain, &control));
        binding.Release();
        chain.Finish();
    };
    const auto same = [](const std::vector<PcmFrame>& a, const std::vector<PcmFrame>& b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](PcmFrame x, PcmFrame y) {
                   return x.left == y.left && x.right == y.right;
               });
    };
    Run whole;
    run({}, &whole);
    ASSERT_EQ(whole.kept.all.size(), plan.outputFrames);
    ASSERT_GT(plan.outputFrames, 30000u);
    for (const int mode : {0, 1, 2}) {
        const char* const names[] = {"kept frames again", "after a channel change", "a change while heard again"};
        SCOPED_TRACE(names[mode]);
        const bool forget = mode == 1;
        Run r;
        r.forgetAgain = mode == 2;
        run({{60, 3000, forget}, {130, 30000, false}}, &r);
        ASSERT_EQ(r.at.size(), 2u);
        ASSERT_GT(r.at[0], 3000u);   // back
        ASSERT_LT(r.at[1], 30000u);  // on
        // Heard: up to the first seek, from 3000 up to the second, from 30000 on.
        const auto part = [&](uint64_t from, uint64_t to) {
            return std::vector<PcmFrame>(whole.kept.all.begin() + static_cast<ptrdiff_t>(from),
                                         whole.kept.all.begin() + static_cast<ptrdiff_t>(to));
        };
        std::vector<PcmFrame> expected = part(0, r.at[0]);
        const std::vector<PcmFrame> middle = part(3000, r.at[1]);
        expected.insert(expected.end(), middle.begin(), middle.end());
        const std::vector<PcmFrame> rest = part(30000, plan.outputFrames);
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_TRUE(same(r.heard.all, expected));
        EXPECT_TRUE(same(r.kept.all, whole.kept.all));
        // The song started again only after a change: the control's calls.
        EXPECT_EQ(r.calls > whole.calls, mode != 0) << r.calls << " calls against " << whole.calls;
    }
}
