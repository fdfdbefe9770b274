#pragma once
// The Win32 host's side of the module contract: its services, page registry
// and page site, and the binding that loads Quarix.j27 and creates the module.

#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "contract/host_sound.h"
#include "contract/host_ui.h"
#include "contract/module_api.h"
#include "host/device_binding.h"

class LiveSettingsSheet;

// The configuration dialog's list of pages.
class PageRegistry final : public IPageRegistry {
public:
    bool J27_CALL Add(IConfigPropSheet* page) override;     // false for null or a page already listed
    bool J27_CALL Remove(IConfigPropSheet* page) override;  // false if not listed

    std::vector<IConfigPropSheet*> pages;  // not owned
};

// What the sheet's pages tell the host. A change enables the sheet's Apply button.
class PageSite final : public IPageSite {
public:
    bool J27_CALL Reserved0() override;
    bool J27_CALL Reserved1() override;
    bool J27_CALL OnPageApplied() override;
    bool J27_CALL OnPageShown(IConfigPropSheet* page) override;
    bool J27_CALL OnPageModified(HWND window) override;

    int applied = 0;
    int shown = 0;
    int modified = 0;
};

// Hands out the host's interfaces by GUID.
class HostServices final : public IHostServices {
public:
    HostServices(IPortBus* bus, ISoundHub* hub, IPageRegistry* pages);  // none owned
    void* J27_CALL GetInterface(const GUID* id) override;

private:
    IPortBus* portBus;
    ISoundHub* soundHub;
    IPageRegistry* pageRegistry;
};

// Quarix.j27 beside the running program.
std::string DefaultModulePath();

// Loads the module library, creates the module on the host's bus and hub,
// and releases and unloads it again.
class ModuleBinding final : public DeviceBinding {
public:
    explicit ModuleBinding(std::string path);  // empty: DefaultModulePath()
    ~ModuleBinding() override;

    Result Bind(PortBus& bus, SoundHub& hub) override;
    // Release of the module (which writes J27.INI), then the library is unloaded.
    void Release() override;
    // The configuration sheet with the module's pages, modeless.
    SettingsWhilePlaying* SettingsSheet() override;

    const std::string& Path() const { return modulePath; }
    PageRegistry registry;

private:
    std::string modulePath;
    HMODULE library = nullptr;
    IModule* module = nullptr;
    std::unique_ptr<HostServices> services;
    std::unique_ptr<LiveSettingsSheet> sheet;
};
