#pragma once
// The stand-in's chips as the tests and fuzz targets compare them: level
// tables worked out by hand, and snapshots of both records.

#include <array>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "tests/support/psg_stand_in.h"

// Level tables from the curve (10922 at full scale, 0.2 dB per gain unit,
// 2 dB per attenuation step, truncated, clamped, entry 15 off).
using LevelRow = std::array<int32_t, 16>;
inline constexpr LevelRow kLevelsGain0 = {10922, 8675, 6891, 5473, 4348, 3453, 2743, 2179,
                                          1731,  1374, 1092, 867,  689,  547,  434,  0};
inline constexpr LevelRow kLevelsGain40 = {10922, 10922, 10922, 10922, 10921, 8675, 6891, 5473,
                                           4348,  3453,  2743,  2179,  1731,  1374, 1092, 0};
inline constexpr LevelRow kLevelsGain60 = {10922, 10922, 10922, 10922, 10922, 10922, 10921, 8675,
                                           6891,  5473,  4348,  3453,  2743,  2179,  1731,  0};

inline LevelRow StandInLevels(int chip)
{
    LevelRow out{};
    std::memcpy(out.data(), StandInChip(chip).levels.level, sizeof(out));
    return out;
}

static_assert(std::has_unique_object_representations_v<PsgChip>, "chips compare bytewise");
inline bool SameChip(const PsgChip& a, const PsgChip& b)
{
    return std::memcmp(&a, &b, sizeof(PsgChip)) == 0;
}

using ChipPair = std::array<PsgChip, 2>;
inline ChipPair SnapshotChips()
{
    return {StandInChip(0), StandInChip(1)};
}
inline void RestoreChips(const ChipPair& chips)
{
    StandInChip(0) = chips[0];
    StandInChip(1) = chips[1];
}
