#include "module/quarix_module.h"

#include <new>

HINSTANCE moduleInstance = nullptr;

extern "C" {

// The library's own entry: records the instance at process attach. Detaching
// releases nothing and writes nothing.
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);

// Reached from the runtime's start-up once it has initialised itself.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

// The factory, exported as J27CreateModule and _J27CreateModule (module.def).
IModule* J27CreateModule(IHostServices* services) noexcept;

}  // extern "C"

BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
    }
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return DllEntryPoint(instance, reason, reserved);
}

IModule* J27CreateModule(IHostServices* services) noexcept
{
    if (services == nullptr) {
        return nullptr;
    }
    auto* module = new (std::nothrow) QuarixModule;
    if (module == nullptr) {
        return nullptr;
    }
    // Without code memory for its dialog procedure the page would hand the
    // host an unusable record: treated like a failed allocation.
    if (!module->page.HasDialogProc() || !module->Bind(services)) {
        delete module;
        return nullptr;
    }
    return module;
}

QuarixModule::QuarixModule()
    : device(kDeviceIdQrxs), page(), portBus(nullptr), pageRegistry(nullptr)
{
    page.Init(moduleInstance, &device);
}

bool QuarixModule::Bind(IHostServices* services)
{
    portBus = static_cast<IPortBus*>(services->GetInterface(&kPortBusId));
    ISoundHub* soundHub = static_cast<ISoundHub*>(services->GetInterface(&kSoundHubId));
    pageRegistry = static_cast<IPageRegistry*>(services->GetInterface(&kPageRegistryId));
    if (portBus == nullptr || soundHub == nullptr) {
        return false;
    }
    if (!device.Plug(*portBus, *soundHub)) {  // reset, ports, hub
        return false;
    }
    if (pageRegistry != nullptr) {
        pageRegistry->Add(&page);
    }
    return true;
}

void J27_CALL QuarixModule::Release()
{
    device.Unplug(portBus);  // hub, then ports
    page.Save();
    if (pageRegistry != nullptr) {
        pageRegistry->Remove(&page);
    }
    delete this;
}

void* J27_CALL QuarixModule::QueryModuleInterface(uintptr_t)
{
    return nullptr;
}
