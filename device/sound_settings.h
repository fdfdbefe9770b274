#pragma once
// The settings the device takes: volume offset (-40 to +20 from the page) and
// enable. The settings store keeps them in J27.INI (config/).

#include <cstddef>
#include <cstdint>

struct SoundSettings {
    int32_t volume;  // gain steps added to the device's offset of 40; default 0
    int32_t enable;  // nonzero: the device sounds; default 1
};
// As a 32-bit host lays it out: the device is handed this record.
static_assert(sizeof(SoundSettings) == 8 && offsetof(SoundSettings, volume) == 0 &&
                  offsetof(SoundSettings, enable) == 4,
              "settings record layout");

// What a missing settings file gives: offset 0, enabled.
constexpr SoundSettings kDefaultSettings = {0, 1};
