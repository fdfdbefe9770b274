#pragma once
// The op stream both chip fuzzers read: an op byte, bit 0 the chip and bits
// 1-3 the kind, then its operands. Kind 0 resets the chip at a rate the
// target reads from the input; kind 1 rebuilds its levels from a 32-bit
// gain, any value; the target gives kinds 2 to 7 their meaning. Both chips
// start as at load, and a chip is reset at 44100 Hz before its first
// operation of kinds 2 to 7, as the device does; levels may come first, as
// they do in the device.

#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "tests/support/psg_stand_in.h"

// Target: int32_t Rate(FuzzReader&); void AfterReset(int chip);
// void AfterLevels(int chip); void Op(uint32_t kind, int chip, FuzzReader&).
template <class Target>
void RunChipOps(FuzzReader& in, Target& target)
{
    bool isReset[2] = {false, false};
    ClearStandInChips();
    while (in.More()) {
        const uint32_t op = in.Byte();
        const int chip = static_cast<int>(op & 1u);
        const uint32_t kind = (op >> 1) & 7u;
        if (kind > 1 && !isReset[chip]) {
            PsgReset(chip, kClockHz, 44100);
            isReset[chip] = true;
        }
        if (kind == 0) {
            PsgReset(chip, kClockHz, target.Rate(in));
            isReset[chip] = true;
            target.AfterReset(chip);
        } else if (kind == 1) {
            PsgBuildLevels(chip, static_cast<int32_t>(in.Word32()));
            target.AfterLevels(chip);
        } else {
            target.Op(kind, chip, in);
        }
    }
}
