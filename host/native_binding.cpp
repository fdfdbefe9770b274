#include "host/native_binding.h"

#include "device/sound_settings.h"
#include "host/port_bus.h"
#include "host/sound_hub.h"

NativeBinding::NativeBinding() = default;

NativeBinding::~NativeBinding()
{
    Release();
}

bool NativeBinding::Bind(PortBus& bus, SoundHub& hub, std::string* error)
{
    Release();
    device = std::make_unique<Quarix>(kDeviceIdQrxs);
    device->ApplySettings(&kDefaultSettings);
    if (!device->Plug(bus, hub)) {
        *error = "the port bus refused the device: " + bus.lastError;
        device.reset();
        return false;
    }
    connectedBus = &bus;
    return true;
}

void NativeBinding::Release()
{
    if (device == nullptr) {
        return;
    }
    device->Unplug(connectedBus);
    connectedBus = nullptr;
    device.reset();
}
