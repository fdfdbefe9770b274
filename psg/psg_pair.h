#pragma once
// The device's two chips, by index: 0 behind port 0xAC, 1 behind 0xAF. The
// records are library-wide state, zero at load; each call forwards to the
// record functions of psg/psg_chip.h. chip must be 0 or 1.

#include <cstdint>

#include "psg/psg_chip.h"

void PsgReset(int chip, int32_t clockHz, int32_t rateHz);
void PsgBuildLevels(int chip, int32_t gain);
void PsgWrite(int chip, uint32_t value);
void PsgRender(int chip, StereoFrame* frames, int32_t count);
// Chip 0 and then chip 1 into the same frames, in one pass over them: the
// same frames and chips as PsgRender for 0 and then for 1.
void PsgRenderBoth(StereoFrame* frames, int32_t count);
