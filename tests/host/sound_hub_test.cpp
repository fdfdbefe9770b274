#include <gtest/gtest.h>

#include <vector>

#include "device/device.h"
#include "host/player.h"
#include "host/port_bus.h"
#include "host/port_script.h"
#include "host/sound_hub.h"
#include "tests/support/host_result.h"

namespace {

// A source that fills every frame it mixes with a running frame number, so
// the buffer shows which call rendered which frame.
class CountingSource final : public ISoundSource {
public:
    bool J27_CALL Connect(ISoundHub*) override { return true; }
    bool J27_CALL SetRate(int32_t rate) override
    {
        rates.push_back(rate);
        return true;
    }
    void J27_CALL Mix(StereoFrame* frames, int32_t count) override
    {
        mixes.push_back(count);
        for (int32_t i = 0; i < count; ++i) {
            frames[i].left += next;
            frames[i].right -= next;
            ++next;
        }
    }
    std::vector<int32_t> rates;
    std::vector<int32_t> mixes;
    int32_t next = 1;
};

class Collector final : public FrameSink {
public:
    void Take(std::span<const StereoFrame> frames) override
    {
        batches.push_back(frames.size());
        for (const StereoFrame& f : frames) {
            left.push_back(f.left);
        }
    }
    std::vector<size_t> batches;
    std::vector<int32_t> left;
};

}  // namespace

TEST(SoundHub, UpdateRendersWhatIsDueInOneCall)
{
    Collector sink;
    SoundHub hub(&sink);
    CountingSource source;
    ASSERT_TRUE(hub.Attach(&source));
    EXPECT_FALSE(hub.Attach(&source));
    hub.Advance(5);
    EXPECT_TRUE(hub.Update(&source));
    EXPECT_TRUE(hub.Update(&source));  // nothing due: no call
    hub.Advance(3);
    hub.RenderAll();
    EXPECT_EQ(source.mixes, (std::vector<int32_t>{5, 3}));
    EXPECT_EQ(sink.batches, (std::vector<size_t>{8}));
    EXPECT_EQ(sink.left, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(hub.Now(), 8u);
}

TEST(SoundHub, UnknownOrDetachedSourcesAreNotMixed)
{
    Collector sink;
    SoundHub hub(&sink);
    CountingSource source;
    EXPECT_FALSE(hub.Update(&source));
    EXPECT_FALSE(hub.Detach(&source));
    ASSERT_TRUE(hub.Attach(&source));
    hub.SetRate(22050);
    EXPECT_TRUE(hub.Detach(&source));
    hub.Advance(4);
    hub.RenderAll();
    EXPECT_TRUE(source.mixes.empty());
    EXPECT_EQ(source.rates, (std::vector<int32_t>{22050}));
    EXPECT_EQ(sink.left, (std::vector<int32_t>{0, 0, 0, 0}));  // silence still counts as time
}

TEST(PlayScript, EachMixLineIsOneMixCall)
{
    PortScript script;
    std::string error;
    const std::string text = "rate 8000\nmix 3\nmix 20000\nmix 0\nmix 1\n";
    ASSERT_TRUE(Ok(ParsePortScript(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &script), &error));
    PlayPlan plan;
    ASSERT_TRUE(Ok(PlanScript(script, PlayOptions{}, &plan), &error)) << error;
    EXPECT_EQ(plan.hostRateHz, 8000);
    Collector sink;
    SoundHub hub(&sink);
    CountingSource source;
    hub.Attach(&source);
    PortBus bus;
    PlayScript(script, plan, bus, hub, nullptr);
    EXPECT_EQ(source.mixes, (std::vector<int32_t>{3, 20000, 1}));
    EXPECT_EQ(source.rates, (std::vector<int32_t>{8000, 8000}));  // the host's start, then the line
    EXPECT_EQ(sink.left.size(), 20004u);
}

TEST(PlayVgm, HubMixesAtBlockBoundariesAndAtEveryWrite)
{
    // Writes at sample 0 and 1500; a wait to 3000: mixing at the write and at
    // each multiple of the block length.
    VgmSong song;
    song.snClockHz = 3993600;
    song.events = {{VgmEvent::Kind::Write, 0, 0x9F, 0},
                   {VgmEvent::Kind::Wait, 0, 0, 1500},
                   {VgmEvent::Kind::Write, 1, 0x9F, 0},
                   {VgmEvent::Kind::Wait, 0, 0, 1500}};
    song.introSamples = 3000;
    PlayOptions options;
    PlayPlan plan;
    std::string error;
    ASSERT_TRUE(Ok(PlanVgm(song, options, &plan), &error)) << error;
    Collector sink;
    SoundHub hub(&sink);
    PortBus bus;
    // The device stands in for itself: its writes ask the hub to update first.
    Quarix quarix(kDeviceIdQrxs);
    ASSERT_TRUE(bus.Connect(&quarix, Quarix::kConnectors));
    quarix.Connect(&hub);
    CountingSource probe;
    hub.Attach(&probe);
    PlayVgm(song, plan, bus, hub, nullptr);
    quarix.Connect(nullptr);
    // Probe is mixed only by the hub's own rounds: 1024, 2048 and the end at 3000.
    EXPECT_EQ(probe.mixes, (std::vector<int32_t>{1024, 1024, 952}));
    EXPECT_EQ(sink.batches, (std::vector<size_t>{1024, 1024, 952}));
}
