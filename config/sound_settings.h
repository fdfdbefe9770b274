#pragma once
#include <cstddef>
#include <cstdint>

// The persisted settings: volume offset (-40 to +20 from the page) and enable.
struct SoundSettings {
    int32_t volume;  // gain steps added to the device's offset of 40; default 0
    int32_t enable;  // nonzero: the device sounds; default 1
};
// As a 32-bit host lays it out: the device is handed this record.
static_assert(sizeof(SoundSettings) == 8 && offsetof(SoundSettings, volume) == 0 &&
                  offsetof(SoundSettings, enable) == 4,
              "settings record layout");
