#pragma once
// The module object a host gets from J27CreateModule: the sound device and
// its settings page, bound to the host's port bus, sound hub and page list.

#include <windows.h>

#include "config/config_dlg.h"
#include "contract/host_device.h"
#include "contract/host_sound.h"
#include "contract/host_ui.h"
#include "contract/module_api.h"
#include "device/device.h"

// The library's instance handle, recorded at process attach.
extern HINSTANCE moduleInstance;

class QuarixModule final : public IModule {
public:
    // Builds the device ("QRXS") and the page, which reads J27.INI and
    // applies it to the device. Touches no host interface.
    QuarixModule();
    QuarixModule(const QuarixModule&) = delete;
    QuarixModule& operator=(const QuarixModule&) = delete;

    // Detaches and disconnects the device, saves the settings, removes the
    // page and frees the module.
    void J27_CALL Release() override;
    void* J27_CALL QueryModuleInterface(uintptr_t request) override;  // null

    // Asks for the port bus, the sound hub and the page registry (all three,
    // in that order), then resets the device, connects it to the bus and the
    // hub and adds the page. False, with nothing connected, without a port
    // bus or sound hub or when the bus refuses. Without a page registry the
    // module runs without a page.
    bool Bind(IHostServices* services);

    Quarix device;
    ConfigDlg page;
    IPortBus* portBus;            // not owned; null if the host has none
    IPageRegistry* pageRegistry;  // not owned; null if the host has none
};
