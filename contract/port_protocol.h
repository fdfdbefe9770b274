#pragma once
// The Quarix port protocol, shared by the device and the hosts that drive it:
// which ports reach which handler, the rates the chips can count with, and
// the bit order of the bytes written. A host's own choice of rates is its
// own (the reference host's: host/player.h).

#include <cstdint>

constexpr uint16_t kChip0Port = 0xAC;    // chip 0: port & 1 == 0
constexpr uint16_t kIgnoredPort = 0xAE;  // accepted and dropped
constexpr uint16_t kChip1Port = 0xAF;    // chip 1: port & 1 == 1
constexpr uint16_t kResetPort = 0x108;   // any write resets both chips

// Slots of the device's output table (kOutputHandlerCount entries).
constexpr uint8_t kResetHandler = 0;
constexpr uint8_t kWriteHandler = 3;
constexpr uint8_t kDiscardHandler = 6;

constexpr int32_t kChipClockHz = 3993600;  // what the chips count in, Hz
// Output rates the chips can count with: a timing step rate * 2^20 / clock
// of 1 to kMaxStep (1049568).
constexpr int32_t kMinChipRateHz = 4;
constexpr int32_t kMaxChipRateHz = 3997381;

// A byte's bits in the opposite order. The device hands a chip the reversal
// of what reaches its port; being its own inverse, it is also the byte a
// host writes for a chip value.
constexpr uint8_t BitReverse(uint8_t value)
{
    uint8_t reversed = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
        if ((static_cast<unsigned>(value) >> bit) & 1u) {
            reversed = static_cast<uint8_t>(reversed | (0x80u >> bit));
        }
    }
    return reversed;
}
