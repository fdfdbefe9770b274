#pragma once
// How a front end brings its sound device to the host's bus and hub: the
// device linked in (native_binding.h) or the module loaded from its library
// (win32/module_binding.h).

#include "host/result.h"

class PortBus;
class SettingsWhilePlaying;
class SoundHub;

class DeviceBinding {
public:
    virtual ~DeviceBinding() = default;
    // Creates the device and connects it; a failure names what failed (the
    // module file, say).
    virtual Result Bind(PortBus& bus, SoundHub& hub) = 0;
    // Disconnects and destroys it; harmless when Bind failed or never ran.
    virtual void Release() = 0;
    // The settings sheet to pump while playing (--settings), the binding's
    // own; null when the front end has none.
    virtual SettingsWhilePlaying* SettingsSheet() { return nullptr; }
};
