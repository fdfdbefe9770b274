#include "host/channels.h"

#include <algorithm>

#include "contract/port_protocol.h"
#include "host/text.h"

namespace {

constexpr uint8_t kLatchBit = 0x80;
constexpr uint8_t kOff = 15;  // the attenuation that silences a channel

bool IsToneRegister(int reg)
{
    return reg == 0 || reg == 2 || reg == 4;
}

uint8_t Latch(int reg, int low)
{
    return static_cast<uint8_t>(kLatchBit | (reg << 4) | low);
}

}  // namespace

Result ParseChannelList(std::string_view text, ChannelSet* channels)
{
    const std::string advice = "give channels 1 to 8 (chip 0: tones 1-3, noise 4; chip 1: 5-8), as in 1,3,5-8";
    ChannelSet set = 0;
    const NumberFormat channel = {1, kChannelCount};
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view item = text.substr(start, comma - start);
        const size_t dash = item.find('-');
        uint64_t first = 0;
        uint64_t last = 0;
        const bool read = dash == std::string_view::npos
                              ? ParseNumber(item, channel, &first) && ParseNumber(item, channel, &last)
                              : ParseNumber(item.substr(0, dash), channel, &first) &&
                                    ParseNumber(item.substr(dash + 1), channel, &last);
        if (!read || last < first) {
            std::string message = "'";
            message.append(item).append("' is not a channel or a range of them; ").append(advice);
            return Result::BadUsage(message);
        }
        for (uint64_t k = first; k <= last; ++k) {
            set = static_cast<ChannelSet>(set | ChannelBit(static_cast<int>(k)));
        }
        start = comma + 1;
    }
    *channels = set;
    return {};
}

std::string ChannelListText(ChannelSet channels)
{
    std::string text;
    for (int k = 1; k <= kChannelCount; ++k) {
        if ((channels & ChannelBit(k)) != 0) {
            text += text.empty() ? "" : ",";
            text += std::to_string(k);
        }
    }
    return text;
}

ChannelMuter::ChannelMuter(PortWriter& next, ChannelSet mutedChannels) : bus(next), muted(mutedChannels) {}

bool ChannelMuter::Write(uint32_t port, uint32_t data)
{
    if (port == kResetPort) {
        ChipsReset();
    }
    if ((port != kChip0Port && port != kChip1Port) || data > 0xFF) {
        return bus.Write(port, data);
    }
    const int chip = static_cast<int>(port & 1);
    Chip& c = chips[chip];
    uint8_t value = BitReverse(static_cast<uint8_t>(data));
    if ((value & kLatchBit) == 0) {
        return bus.Write(port, data);  // a data byte: the register latched before takes it, or drops it
    }
    const int reg = (value >> 4) & 7;
    const uint8_t low = value & 0x0F;
    c.latched = static_cast<uint8_t>(reg);
    if (IsToneRegister(reg)) {
        c.toneLow[reg / 2] = low;
    }
    if (reg % 2 == 1) {
        const ChannelSet bit = ChannelBit(4 * chip + reg / 2 + 1);
        c.attenuation[reg / 2] = low;
        sounded = static_cast<ChannelSet>(sounded | (low != kOff ? bit : 0));
        if ((muted & bit) != 0) {
            value = static_cast<uint8_t>(value | kOff);
        }
    }
    return bus.Write(port, BitReverse(value));
}

void ChannelMuter::ChipsReset()
{
    chips[0] = Chip{};
    chips[1] = Chip{};
}

void ChannelMuter::SetMuted(ChannelSet newlyMuted)
{
    const ChannelSet changed = static_cast<ChannelSet>(muted ^ newlyMuted);
    muted = newlyMuted;
    for (int chip = 0; chip < 2; ++chip) {
        const Chip& c = chips[chip];
        bool told = false;
        for (int channel = 0; channel < 4; ++channel) {
            const ChannelSet bit = ChannelBit(4 * chip + channel + 1);
            // A channel the song left at 15 is off either way.
            if ((changed & bit) == 0 || c.attenuation[channel] == kOff) {
                continue;
            }
            Tell(chip, Latch(2 * channel + 1, (muted & bit) != 0 ? kOff : c.attenuation[channel]));
            told = true;
        }
        // After any other latch the chip drops data bytes, as it did before.
        if (told && IsToneRegister(c.latched)) {
            Tell(chip, Latch(c.latched, c.toneLow[c.latched / 2]));
        }
    }
}

void ChannelMuter::Tell(int chip, uint8_t value)
{
    bus.Write(chip == 0 ? kChip0Port : kChip1Port, BitReverse(value));
}
