#pragma once
// Direct access to the two static chip records, for tests only.
#include "psg/psg_chip.h"

PsgChip& PsgTestChip(int chip);
