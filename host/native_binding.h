#pragma once
// The native front end's device: the Quarix device linked in, bound to the
// host's bus and hub in the order the module binds it.

#include <memory>

#include "device/device.h"
#include "host/device_binding.h"
#include "host/front_end.h"

class NativeBinding final : public DeviceBinding {
public:
    NativeBinding();
    ~NativeBinding() override;

    // kDefaultSettings, as a fresh settings file gives, then the device's
    // own start-up (Quarix::Plug), as the module does it.
    Result Bind(PortBus& bus, SoundHub& hub) override;
    void Release() override;

    Quarix* Device() { return device.get(); }

private:
    std::unique_ptr<Quarix> device;
    PortBus* connectedBus = nullptr;  // not owned
};

// quarix-render: the device linked in, parallel batches.
FrontEnd NativeFrontEnd();
