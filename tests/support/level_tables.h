#pragma once
// Level tables worked out by hand from the curve (10922 at full scale, 0.2 dB
// per gain unit, 2 dB per attenuation step, truncated, clamped, entry 15 off),
// for the tests of the chip and of the device.

#include <array>
#include <cstdint>
#include <cstring>

#include "tests/support/psg_stand_in.h"

using LevelRow = std::array<int32_t, 16>;

inline constexpr LevelRow kLevelsGain0 = {10922, 8675, 6891, 5473, 4348, 3453, 2743, 2179,
                                          1731,  1374, 1092, 867,  689,  547,  434,  0};
inline constexpr LevelRow kLevelsGain40 = {10922, 10922, 10922, 10922, 10921, 8675, 6891, 5473,
                                           4348,  3453,  2743,  2179,  1731,  1374, 1092, 0};
inline constexpr LevelRow kLevelsGain60 = {10922, 10922, 10922, 10922, 10922, 10922, 10921, 8675,
                                           6891,  5473,  4348,  3453,  2743,  2179,  1731,  0};

// The level table of a stand-in chip.
inline LevelRow StandInLevels(int chip)
{
    LevelRow out{};
    std::memcpy(out.data(), StandInChip(chip).levels.level, sizeof(out));
    return out;
}
