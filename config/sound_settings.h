#pragma once
#include <cstdint>

// The persisted settings: volume offset (-40 to +20 from the page) and enable.
struct SoundSettings {
    int32_t volume;  // gain steps added to the device's offset of 40; default 0
    int32_t enable;  // nonzero: the device sounds; default 1
};
static_assert(sizeof(SoundSettings) == 8, "settings record layout");
