// Channel lists, and the muter's bytes to the bus, live changes included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/channels.h"
#include "host/player.h"
#include "host/render_options.h"
#include "tests/support/host_result.h"

namespace {

TEST(ChannelList, ParsesNumbersAndRangesAndRefusesTheRest)
{
    struct Case {
        const char* text;
        int channels;  // -1: refused
    };
    const Case cases[] = {
        {"1", 0x01},      {"8", 0x80},      {"2,4", 0x0A},  {"5-8", 0xF0}, {"1-3,8", 0x87},
        {"3,1,3", 0x05},  {"4-4", 0x08},    {"0", -1},      {"9", -1},     {"", -1},
        {"1,", -1},       {",1", -1},       {"3-1", -1},    {"1-", -1},    {"-2", -1},
        {"1 ,2", -1},     {"one", -1},      {"1-2-3", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ChannelSet set = 0x55;
        std::string error;
        EXPECT_EQ(Ok(ParseChannelList(c.text, &set), &error), c.channels >= 0) << error;
        if (c.channels >= 0) {
            EXPECT_EQ(set, c.channels);
        } else {
            EXPECT_NE(error.find("channels 1 to 8"), std::string::npos) << error;
        }
    }
    EXPECT_EQ(ChannelListText(0xA1), "1,6,8");
    EXPECT_EQ(ChannelListText(0), "");
    // Soloed channels sound unless muted too; options add up.
    RenderOptions options;
    std::string why;
    ASSERT_TRUE(Ok(ParseRenderOptions({"a", "--solo", "1,5", "--mute", "1", "--mute", "8"}, {}, &options), &why));
    EXPECT_EQ(options.Muted(), 0xEF);
}

// Every write as the chip sees it: port and byte in the chip's bit order.
struct ChipWrite {
    uint32_t port;
    uint32_t value;
    bool operator==(const ChipWrite&) const = default;
};

struct RecordingWriter final : PortWriter {
    bool Write(uint32_t port, uint32_t data) override
    {
        writes.push_back({port, port == kChip0Port || port == kChip1Port ? PortByteFor(static_cast<uint8_t>(data))
                                                                          : data});
        return true;
    }
    std::vector<ChipWrite> writes;
};

TEST(ChannelMuter, SendsMutedAttenuationsAsOffAndRestoresThemWhenAsked)
{
    RecordingWriter bus;
    ChannelMuter muter(bus, ChannelBit(2) | ChannelBit(8));
    const auto song = [&](uint32_t port, uint8_t value) { muter.Write(port, PortByteFor(value)); };
    song(kChip0Port, 0x8E);  // tone 1 period, low bits 14
    song(kChip0Port, 0x0F);  // its high bits
    song(kChip0Port, 0x90);  // channel 1 at 0
    song(kChip0Port, 0xB5);  // channel 2 at 5: muted
    song(kChip0Port, 0x3F);  // a data byte after it: dropped by the chip, passed as it is
    song(kChip1Port, 0xF2);  // channel 8 (chip 1's noise) at 2: muted
    song(kChip0Port, 0xA3);  // tone 2 latched, low bits 3
    muter.Write(kIgnoredPort, 0x12);
    EXPECT_EQ(muter.Sounded(), ChannelBit(1) | ChannelBit(2) | ChannelBit(8));

    muter.SetMuted(ChannelBit(1) | ChannelBit(3));  // 1 off, 2 and 8 back, 3 never sounded
    song(kChip0Port, 0x07);                         // the song's next data byte still goes to tone 2
    muter.Write(kResetPort, 0);
    muter.SetMuted(0);  // after a reset every channel is off anyway: nothing to write

    const std::vector<ChipWrite> expected = {
        {kChip0Port, 0x8E}, {kChip0Port, 0x0F}, {kChip0Port, 0x90}, {kChip0Port, 0xBF}, {kChip0Port, 0x3F},
        {kChip1Port, 0xFF}, {kChip0Port, 0xA3}, {kIgnoredPort, 0x12},
        // SetMuted: chip 0's channels 1 and 2, tone 2 latched again; chip 1's channel 8.
        {kChip0Port, 0x9F}, {kChip0Port, 0xB5}, {kChip0Port, 0xA3}, {kChip1Port, 0xF2},
        {kChip0Port, 0x07}, {kResetPort, 0},
    };
    EXPECT_EQ(bus.writes, expected);
}

}  // namespace
