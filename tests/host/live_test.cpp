// The live player's parts that need no sound server: the frame ring across
// two threads, the history kept for seeks back, and the live options.
// Playback itself is tested against a real PulseAudio daemon (live_play.sh
// and friends).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "host/frame_ring.h"
#include "host/heard_history.h"
#include "host/live_player.h"
#include "host/render_options.h"

namespace {

PcmFrame FrameNumber(uint32_t n)
{
    return {static_cast<int16_t>(n & 0x7FFF), static_cast<int16_t>((n >> 15) & 0x7FFF)};
}

TEST(FrameRing, CarriesEveryFrameInOrderBetweenTwoThreads)
{
    constexpr uint32_t kFrames = 100000;
    FrameRing ring(97);  // small and odd, so the counters wrap at every phase
    std::thread reader([&] {
        std::vector<PcmFrame> got(61);
        uint32_t next = 0;
        while (next < kFrames) {
            const size_t n = ring.Pop(got.data(), got.size());
            for (size_t k = 0; k < n; ++k, ++next) {
                const PcmFrame want = FrameNumber(next);
                if (got[k].left != want.left || got[k].right != want.right) {
                    ADD_FAILURE() << "frame " << next << " differs";
                    return;
                }
            }
            if (n == 0) {
                std::this_thread::yield();
            }
        }
    });
    std::vector<PcmFrame> chunk;
    for (uint32_t sent = 0; sent < kFrames;) {
        const uint32_t size = std::min<uint32_t>(1 + sent % 150, kFrames - sent);
        chunk.clear();
        for (uint32_t k = 0; k < size; ++k) {
            chunk.push_back(FrameNumber(sent + k));
        }
        size_t done = 0;
        while (done < size) {
            done += ring.Push(chunk.data() + done, size - done);
            EXPECT_LE(ring.Fill(), ring.Capacity());
        }
        sent += size;
    }
    reader.join();
    EXPECT_EQ(ring.Fill(), 0u);
}

// Kept in blocks of 65536 frames, the oldest dropped past the bound; a
// stretch ends at a block's end, at the frame asked for or at the last kept.
TEST(HeardHistory, KeepsTheLatestFramesAndHandsThemOutInStretches)
{
    constexpr uint64_t kBlock = 65536;
    HeardHistory history(2 * kBlock);
    std::vector<PcmFrame> frames(100000);
    uint32_t next = 0;
    for (int k = 0; k < 3; ++k) {
        for (PcmFrame& f : frames) {
            f = FrameNumber(next++);
        }
        history.Append(frames);
    }
    EXPECT_EQ(history.End(), 300000u);
    EXPECT_EQ(history.Begin(), 3 * kBlock);  // 300000 needs five blocks; two are kept
    struct Case {
        uint64_t from, to, size;
    } cases[] = {
        {3 * kBlock - 1, 300000, 0},          // dropped
        {3 * kBlock, 300000, kBlock},          // a whole block
        {4 * kBlock - 10, 4 * kBlock + 5, 10}, // up to the block's end
        {4 * kBlock + 5, 4 * kBlock + 9, 4},   // up to the frame asked for
        {299990, 400000, 10},                  // up to the last kept
        {300000, 400000, 0},                   // not made yet
    };
    for (const Case& c : cases) {
        const std::span<const PcmFrame> got = history.Stretch(c.from, c.to);
        ASSERT_EQ(got.size(), c.size) << "from " << c.from;
        if (!got.empty()) {
            EXPECT_EQ(got.front().left, FrameNumber(static_cast<uint32_t>(c.from)).left);
            EXPECT_EQ(got.back().right, FrameNumber(static_cast<uint32_t>(c.from + c.size - 1)).right);
        }
    }
    history.Clear(7);
    EXPECT_EQ(history.Begin(), 7u);
    EXPECT_TRUE(history.Stretch(7, 8).empty());
    history.Append(std::span<const PcmFrame>(frames).first(1));
    EXPECT_EQ(history.Stretch(7, 8).size(), 1u);
}

TEST(LiveOptions, ParseAndRefuseAsDocumented)
{
    struct Case {
        std::vector<std::string> args;  // after the input
        bool offersSettings;            // j27host
        bool ok;
        uint32_t latencyMs;
    };
    const Case cases[] = {
        {{"--latency", "10"}, false, true, 10},     {{"--latency", "2000"}, false, true, 2000},
        {{"--latency", "9"}, false, false, 75},     {{"--latency", "2001"}, false, false, 75},
        {{"--latency", "50ms"}, false, false, 75},  {{"--latency"}, false, false, 75},
        {{"--device"}, false, false, 75},           {{"--settings", "--play"}, false, false, 75},
        {{"--settings", "--play"}, true, true, 75}, {{"-o", "x.wav"}, false, true, 75},
        // Live-only options without --play are refused, not ignored.
        {{"--settings"}, true, false, 75},          {{"--device", "sink"}, false, false, 75},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        FrontEnd frontEnd;
        frontEnd.offersSettings = c.offersSettings;
        std::vector<std::string> args = {"in.vgm"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        RenderOptions options;
        const Result parsed = ParseRenderOptions(args, frontEnd, &options);
        EXPECT_EQ(parsed.Ok(), c.ok) << parsed.Message();
        EXPECT_EQ(parsed.Ok(), parsed.Message().empty());
        if (c.ok) {
            EXPECT_EQ(options.live.latencyMs, c.latencyMs);
        }
    }
}

}  // namespace
