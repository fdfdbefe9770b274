#include "host/native_binding.h"

#include "device/sound_settings.h"
#include "host/port_bus.h"
#include "host/sound_hub.h"

NativeBinding::NativeBinding() = default;

NativeBinding::~NativeBinding()
{
    Release();
}

Result NativeBinding::Bind(PortBus& bus, SoundHub& hub)
{
    Release();
    device = std::make_unique<Quarix>(kDeviceIdQrxs);
    device->ApplySettings(&kDefaultSettings);
    if (!device->Plug(bus, hub)) {
        device.reset();
        return Result::Failure("the port bus refused the device: " + bus.Refusal());
    }
    connectedBus = &bus;
    return {};
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

FrontEnd NativeFrontEnd()
{
    FrontEnd frontEnd;
    frontEnd.program = "quarix-render";
    frontEnd.offersJobs = true;
    frontEnd.makeBinding = [](const RenderOptions&) { return std::make_unique<NativeBinding>(); };
    return frontEnd;
}
