// The live player's parts that need no sound server: the frame ring across
// two threads and the live options. Playback itself is tested against a
// real PulseAudio daemon (live_play.sh and friends).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "host/frame_ring.h"
#include "host/live_player.h"

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

TEST(LiveOptions, ParseAndRefuseAsDocumented)
{
    struct Case {
        std::vector<std::string> args;
        bool moduleOption;
        int result;  // of ParseLiveOption on args[0]
        uint32_t latencyMs;
    };
    const Case cases[] = {
        {{"--latency", "10"}, false, 1, 10},       {{"--latency", "2000"}, false, 1, 2000},
        {{"--latency", "9"}, false, -1, 75},       {{"--latency", "2001"}, false, -1, 75},
        {{"--latency", "50ms"}, false, -1, 75},    {{"--latency"}, false, -1, 75},
        {{"--device"}, false, -1, 75},             {{"--settings"}, false, 0, 75},
        {{"--settings"}, true, 1, 75},             {{"-o", "x.wav"}, false, 0, 75},
    };
    for (const Case& c : cases) {
        LiveOptions options;
        std::string error;
        size_t i = 0;
        EXPECT_EQ(ParseLiveOption(c.args, &i, c.moduleOption, &options, &error), c.result) << c.args[0];
        EXPECT_EQ(options.latencyMs, c.latencyMs) << c.args[0];
        EXPECT_EQ(c.result < 0, !error.empty()) << c.args[0];
    }
    // Live-only options without --play are refused, not ignored.
    LiveOptions settingsAlone;
    settingsAlone.settings = true;
    LiveSession session(settingsAlone, nullptr);
    std::string error;
    EXPECT_FALSE(session.Start(44100, 100, "", nullptr, &error));
    EXPECT_NE(error.find("--play"), std::string::npos);
}

}  // namespace
