#pragma once
// The eight channels a listener can silence, and the piece between the
// player and the port bus that silences them by changing what the device is
// told: channels 1 to 4 are chip 0's tones 1 to 3 and its noise, 5 to 8
// chip 1's. The module itself stays as it is and exact.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/port_bus.h"
#include "host/result.h"

constexpr int kChannelCount = 8;
// A set of channels: bit k - 1 for channel k.
using ChannelSet = uint8_t;
constexpr ChannelSet kAllChannels = 0xFF;

constexpr ChannelSet ChannelBit(int channel)
{
    return static_cast<ChannelSet>(1u << (channel - 1));
}

// "1,3,5-8": channels and ranges of them, comma-separated, in any order. A
// failure says what in text is wrong.
Result ParseChannelList(std::string_view text, ChannelSet* channels);

// "2,4,5": the channels in order; empty for none.
std::string ChannelListText(ChannelSet channels);

// Between the player and the bus. An attenuation latch of a muted channel
// reaches its chip as 15 (off); every other byte passes as it came, at its
// moment. SetMuted acts at once: it writes 15 to each newly muted channel
// and its last attenuation to each unmuted one, then latches again the tone
// register the song had latched, so that the song's next data byte lands
// where it would have (that latch changes nothing in the chip).
class ChannelMuter final : public PortWriter {
public:
    ChannelMuter(PortWriter& bus, ChannelSet muted);  // bus: not owned

    bool Write(uint32_t port, uint32_t data) override;
    void ChipsReset() override;

    void SetMuted(ChannelSet muted);
    ChannelSet Muted() const { return muted; }
    // Channels the song has given an attenuation other than 15, muted or not.
    ChannelSet Sounded() const { return sounded; }

private:
    // What the muter follows of a chip's registers, as the song wrote them.
    struct Chip {
        uint8_t latched = 0;                        // the register a data byte goes to
        uint8_t toneLow[3] = {0, 0, 0};             // bits 0-3 of the tone periods
        uint8_t attenuation[4] = {15, 15, 15, 15};  // per channel
    };
    // One byte, in the chip's bit order, to chip's port.
    void Tell(int chip, uint8_t value);

    PortWriter& bus;
    ChannelSet muted;
    ChannelSet sounded = 0;
    Chip chips[2];
};
