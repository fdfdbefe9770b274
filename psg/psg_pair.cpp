#include "psg/psg_pair.h"

#include <cassert>

namespace {

PsgChip chips[2];  // zero at load; the device resets both before use

PsgChip& Chip(int chip)
{
    assert(chip == 0 || chip == 1);
    return chips[chip];
}

}  // namespace

void PsgReset(int chip, int32_t clockHz, int32_t rateHz)
{
    PsgReset(Chip(chip), clockHz, rateHz);
}

void PsgBuildLevels(int chip, int32_t gain)
{
    PsgBuildLevels(Chip(chip), gain);
}

void PsgWrite(int chip, uint32_t value)
{
    PsgWrite(Chip(chip), value);
}

void PsgRender(int chip, StereoFrame* frames, int32_t count)
{
    PsgRender(Chip(chip), frames, count);
}

void PsgRenderBoth(StereoFrame* frames, int32_t count)
{
    PsgRenderPair(chips[0], chips[1], frames, count);
}
