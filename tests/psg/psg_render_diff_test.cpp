// PsgRender against the per-frame reference renderer: both get the same
// chip state and the same frames, and after every call the chip record and
// every frame must be identical. Random streams drive writes, resets, renders
// split every way, long runs of calls of a few frames, and counters placed on
// the edges of the hold and on frame ends. Streams of both chips render them
// in one pass (PsgRenderBoth) against the reference for chip 0 and then for
// chip 1 on the same frames.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "psg/psg_chip.h"
#include "tests/support/psg_stand_in.h"
#include "tests/support/random.h"
#include "tests/support/reference_render.h"

namespace {


std::string Describe(const PsgChip& c)
{
    std::string s;
    for (int i = 0; i < 4; ++i) {
        s += " ch" + std::to_string(i) + " counter " + std::to_string(c.counter[i]) + " output " +
             std::to_string(c.output[i]) + " period " + std::to_string(c.period[i]) + " amplitude " +
             std::to_string(c.amplitude[i]) + ";";
    }
    return s + " lfsr " + std::to_string(c.lfsr) + " taps " + std::to_string(c.noiseTaps);
}

// Frames as a host may hand them over: zero, or anything, near the wrap too.
std::vector<StereoFrame> StartFrames(int32_t count, Random& rng)
{
    std::vector<StereoFrame> frames(static_cast<size_t>(std::max(count, 1)), StereoFrame{0, 0});
    if (rng.OneIn(2)) {
        FillArbitraryFrames(frames.data(), static_cast<int32_t>(frames.size()), rng);
    }
    return frames;
}

// One call through both renderers, from the same state: chip 0, or both
// chips when chips is 2.
::testing::AssertionResult RenderMatches(int32_t count, Random& rng, int chips)
{
    const PsgChip before[2] = {StandInChip(0), StandInChip(1)};
    PsgChip reference[2] = {before[0], before[1]};
    std::vector<StereoFrame> actual = StartFrames(count, rng);
    std::vector<StereoFrame> expected = actual;
    if (chips == 2) {
        PsgRenderBoth(actual.data(), count);
    } else {
        PsgRender(0, actual.data(), count);
    }
    for (int chip = 0; chip < chips; ++chip) {
        ReferenceRender(reference[chip], expected.data(), count);
    }
    for (int chip = 0; chip < 2; ++chip) {
        if (std::memcmp(&reference[chip], &StandInChip(chip), sizeof reference[chip]) != 0) {
            return ::testing::AssertionFailure() << "count " << count << ", chip " << chip
                                                 << "\nbefore:   " << Describe(before[chip])
                                                 << "\nexpected: " << Describe(reference[chip])
                                                 << "\nactual:   " << Describe(StandInChip(chip));
        }
    }
    for (size_t f = 0; f < actual.size(); ++f) {
        if (actual[f].left != expected[f].left || actual[f].right != expected[f].right) {
            return ::testing::AssertionFailure()
                   << "count " << count << ", frame " << f << ": " << actual[f].left << "/" << actual[f].right
                   << " instead of " << expected[f].left << "/" << expected[f].right
                   << "\nbefore: " << Describe(before[0]);
        }
    }
    return ::testing::AssertionSuccess();
}

// How a stream picks its values.
struct Stream {
    const char* name;
    uint64_t seed;
    int steps;
    bool fullRateRange;      // rates from 4 to 3997381 Hz, else a list of typical ones
    uint32_t maxToneRegister;  // tone period registers 0 to this
    int32_t maxCount;        // render counts 0 to this per call
    uint32_t pokeOneIn;      // place counters on edges every so many steps (0: never)
    bool fastNoise;          // noise mostly following tone 2, so shifting within frames
    int32_t maxPiece = 0;    // a stretch goes in calls of 1 to this many frames (0: split at random)
    int chips = 1;           // 2: both chips, rendered in one pass; chip 1 written less often
};

int32_t PickRate(const Stream& s, Random& rng)
{
    static const int32_t kTypical[] = {44100, 48000, 22050, 11025, 96000, 7800, 249600, 3900, 4, 3997381};
    if (!s.fullRateRange) {
        return kTypical[rng.Below(sizeof kTypical / sizeof kTypical[0])];
    }
    // Spread over the decades, the ends included.
    switch (rng.Below(8)) {
    case 0:
        return kMinRateHz + static_cast<int32_t>(rng.Below(4));
    case 1:
        return kMaxRateHz - static_cast<int32_t>(rng.Below(4));
    default: {
        const int32_t decade = static_cast<int32_t>(rng.Below(6));  // 10^1 .. 10^6
        int32_t low = 1;
        for (int i = 0; i < decade + 1; ++i) {
            low *= 10;
        }
        const int32_t rate = low + static_cast<int32_t>(rng.Below(static_cast<uint32_t>(9 * low)));
        return std::clamp(rate, kMinRateHz, kMaxRateHz);
    }
    }
}

// The chip a write or a reset goes to: chip 1 a quarter of the time, so
// that it is often silent beside a sounding chip 0.
int PickChip(const Stream& s, Random& rng)
{
    return s.chips == 2 && rng.OneIn(4) ? 1 : 0;
}

void WriteSomething(const Stream& s, Random& rng)
{
    const int chip = PickChip(s, rng);
    const uint32_t what = rng.Below(10);
    if (what < 4) {  // a tone period, latch and data
        const uint32_t reg = rng.Below(s.maxToneRegister + 1);
        const uint32_t channel = s.fastNoise && rng.OneIn(2) ? 2u : rng.Below(3);
        PsgWrite(chip, 0x80u | (channel << 5) | (reg & 0x0Fu));
        PsgWrite(chip, reg >> 4);
    } else if (what < 8) {  // an attenuation, often off or loud
        const uint32_t channel = rng.Below(4);
        const uint32_t att = rng.OneIn(3) ? 15u : rng.OneIn(2) ? 0u : rng.Below(16);
        PsgWrite(chip, 0x90u | (channel << 5) | att);
    } else if (what < 9) {  // noise control
        const bool followTone2 = s.fastNoise && !rng.OneIn(4);
        PsgWrite(chip, 0xE0u | (followTone2 ? 3u | (rng.Below(4) << 2) : rng.Below(16)));
    } else {  // any byte
        PsgWrite(chip, rng.Below(256));
    }
}

// Counters where the rules meet: a held channel's next event at the end of
// the call or just beside it, and events on frame ends. Outputs are set at
// random; the noise output stays bit 0 of its register, as always.
void PlaceCounters(int32_t count, Random& rng, int chip)
{
    PsgChip& c = StandInChip(chip);
    const int64_t limit = int64_t{2046} * c.step;
    for (int i = 0; i < 4; ++i) {
        if (!rng.OneIn(2)) {
            continue;
        }
        const int64_t frames = rng.OneIn(2) ? int64_t{count} : int64_t{rng.Below(static_cast<uint32_t>(count) + 2)};
        const int64_t wanted = frames * kFrameUnits + static_cast<int64_t>(rng.Below(3)) - 1;
        c.counter[i] = static_cast<int32_t>(std::clamp<int64_t>(wanted, 1, limit));
        if (i < 3) {
            c.output[i] = static_cast<int32_t>(rng.Below(2));
        }
    }
}

int32_t PickCount(const Stream& s, Random& rng)
{
    switch (rng.Below(6)) {
    case 0:
        return -static_cast<int32_t>(rng.Below(3));  // 0, -1, -2: nothing at all
    case 1:
        return 1 + static_cast<int32_t>(rng.Below(3));
    case 2:
        return s.maxCount;
    default:
        return static_cast<int32_t>(rng.Below(static_cast<uint32_t>(s.maxCount) + 1));
    }
}

class PsgRenderDifferential : public ::testing::TestWithParam<Stream> {};

}  // namespace

TEST_P(PsgRenderDifferential, SameStateAndFramesAfterEveryCall)
{
    const Stream& s = GetParam();
    Random rng(s.seed);
    int64_t budget = int64_t{1} << 26;  // reference work, in channel-frames and events
    for (int chip = 0; chip < s.chips; ++chip) {
        StandInChip(chip) = PsgChip{};
        PsgBuildLevels(chip, static_cast<int32_t>(rng.Below(61)));
        PsgReset(chip, kClockHz, PickRate(s, rng));
    }
    int calls = 0;
    for (int step = 0; step < s.steps && budget > 0; ++step) {
        SCOPED_TRACE(step);
        const uint32_t what = rng.Below(16);
        if (what < 6) {
            WriteSomething(s, rng);
        } else if (what < 7) {
            PsgReset(PickChip(s, rng), kClockHz, PickRate(s, rng));
        } else if (what < 8) {
            PsgBuildLevels(PickChip(s, rng), static_cast<int32_t>(rng.Next()));
        } else {
            // One stretch of time, in calls split at random or in pieces of
            // a few frames.
            int32_t total = AffordableFrames(s.chips == 2 ? 2 : 0, PickCount(s, rng), budget);
            if (s.pokeOneIn != 0 && rng.OneIn(s.pokeOneIn)) {
                PlaceCounters(std::max(total, 1), rng, PickChip(s, rng));
            }
            do {
                const int32_t most = s.maxPiece != 0 ? std::min(total, s.maxPiece) : total;
                const int32_t count = (s.maxPiece == 0 && rng.OneIn(3)) || total <= 0
                                          ? total
                                          : 1 + static_cast<int32_t>(rng.Below(static_cast<uint32_t>(most)));
                ASSERT_TRUE(RenderMatches(count, rng, s.chips));
                ++calls;
                total -= std::max(count, 1);
            } while (total > 0);
        }
    }
    EXPECT_GT(calls, s.steps / 4) << "the reference's budget ran out early";
    RecordProperty("calls", calls);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, PsgRenderDifferential,
    ::testing::Values(
        // Music: long periods, calls of a host's size.
        Stream{"Musical", 1, 3000, false, 1023, 1100, 0, false},
        // Tones that toggle several times per frame, at any rate.
        Stream{"ShortPeriods", 2, 3000, true, 12, 400, 0, false},
        Stream{"ShortPeriodsOnFrameEnds", 8, 3000, false, 12, 400, 3, false},
        Stream{"AnyRateAnyPeriod", 3, 3000, true, 1023, 3000, 0, false},
        // Whole calls of the longest length.
        Stream{"LongestCalls", 4, 600, false, 1023, kMaxRenderFrames, 0, false},
        // Counters on the hold's edges and on frame ends.
        Stream{"EdgesTypicalRates", 5, 4000, false, 1023, 40, 2, false},
        Stream{"EdgesAnyRate", 6, 4000, true, 64, 300, 2, false},
        Stream{"EdgesLongCalls", 7, 800, false, 1023, kMaxRenderFrames, 2, false},
        // Noise following a short tone 2: several shifts in every frame.
        Stream{"FastNoise", 9, 3000, false, 12, 1100, 0, true},
        Stream{"FastNoiseOnEdges", 10, 4000, false, 12, 300, 2, true},
        // Long runs of calls of 1 to 6 frames: a host's Update before every
        // write. Short tones, as speech through the volume registers.
        Stream{"TinyCallsShortTones", 11, 20000, false, 2, 400, 0, false, 6},
        Stream{"TinyCallsAnyRate", 12, 20000, true, 1023, 300, 3, false, 6},
        Stream{"TinyCallsFastNoise", 13, 20000, false, 12, 300, 3, true, 4},
        // Calls of up to 17 frames: either side of the short call's longest.
        Stream{"ShortCallsShortTones", 17, 20000, false, 2, 400, 3, false, 17},
        // Both chips in one pass, chip 1 often silent.
        Stream{"BothChips", 14, 3000, false, 1023, 1100, 0, false, 0, 2},
        Stream{"BothChipsShortPeriods", 15, 3000, true, 12, 400, 3, true, 0, 2},
        Stream{"BothChipsTinyCalls", 16, 20000, false, 12, 300, 3, false, 6, 2},
        Stream{"BothChipsShortCallsShortTones", 18, 20000, false, 2, 400, 3, false, 17, 2}),
    [](const ::testing::TestParamInfo<Stream>& param) { return std::string(param.param.name); });

// Above kMaxRenderFrames a call renders as consecutive calls of that length.
TEST(PsgRenderLongCall, SplitsIntoCallsOfTheLongestLength)
{
    PsgReset(0, kClockHz, 44100);
    PsgBuildLevels(0, 40);
    for (const uint32_t b : {0x8Eu, 0x0Fu, 0x90u, 0xA5u, 0xBFu, 0xE4u, 0xF0u}) {
        PsgWrite(0, b);
    }
    StandInChip(0).counter[1] = 3 * kFrameUnits;  // silent: held in every piece
    PsgChip reference = StandInChip(0);
    constexpr int32_t kCount = 2 * kMaxRenderFrames + 1000;
    std::vector<StereoFrame> actual(kCount, StereoFrame{1, 2});
    std::vector<StereoFrame> expected = actual;
    PsgRender(0, actual.data(), kCount);
    ReferenceRender(reference, expected.data(), kMaxRenderFrames);
    ReferenceRender(reference, expected.data() + kMaxRenderFrames, kMaxRenderFrames);
    ReferenceRender(reference, expected.data() + 2 * kMaxRenderFrames, 1000);
    EXPECT_EQ(std::memcmp(&reference, &StandInChip(0), sizeof reference), 0);
    EXPECT_EQ(std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(StereoFrame)), 0);
}
