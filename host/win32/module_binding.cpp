#include "host/win32/module_binding.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "host/port_bus.h"
#include "host/sound_hub.h"
#include "host/win32/live_settings.h"

namespace {

std::string SystemMessage(DWORD code)
{
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message + " (error " + std::to_string(code) + ")";
}

}  // namespace

bool J27_CALL PageRegistry::Add(IConfigPropSheet* page)
{
    if (page == nullptr || std::find(pages.begin(), pages.end(), page) != pages.end()) {
        return false;
    }
    pages.push_back(page);
    return true;
}

bool J27_CALL PageRegistry::Remove(IConfigPropSheet* page)
{
    const auto it = std::find(pages.begin(), pages.end(), page);
    if (it == pages.end()) {
        return false;
    }
    pages.erase(it);
    return true;
}

bool J27_CALL PageSite::Reserved0()
{
    return false;
}

bool J27_CALL PageSite::Reserved1()
{
    return false;
}

bool J27_CALL PageSite::OnPageApplied()
{
    ++applied;
    return true;
}

bool J27_CALL PageSite::OnPageShown(IConfigPropSheet*)
{
    ++shown;
    return true;
}

bool J27_CALL PageSite::OnPageModified(HWND window)
{
    ++modified;
    // The page lives in a property sheet: its parent is the sheet.
    if (window != nullptr) {
        PropSheet_Changed(GetParent(window), window);
    }
    return true;
}

HostServices::HostServices(IPortBus* bus, ISoundHub* hub, IPageRegistry* pages)
    : portBus(bus), soundHub(hub), pageRegistry(pages)
{
}

void* J27_CALL HostServices::GetInterface(const GUID* id)
{
    if (id == nullptr) {
        return nullptr;
    }
    if (SameGuid(*id, kPortBusId)) {
        return portBus;
    }
    if (SameGuid(*id, kSoundHubId)) {
        return soundHub;
    }
    if (SameGuid(*id, kPageRegistryId)) {
        return pageRegistry;
    }
    return nullptr;
}

std::string DefaultModulePath()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return "Quarix.j27";
    }
    std::string text(path, n);
    const size_t slash = text.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : text.substr(0, slash + 1)) + "Quarix.j27";
}

ModuleBinding::ModuleBinding(std::string path)
    : modulePath(path.empty() ? DefaultModulePath() : std::move(path))
{
}

ModuleBinding::~ModuleBinding()
{
    sheet.reset();  // its window before the pages' library goes
    Release();
}

Result ModuleBinding::Bind(PortBus& bus, SoundHub& hub)
{
    Release();
    library = LoadLibraryA(modulePath.c_str());
    if (library == nullptr) {
        return Result::Failure("cannot load " + modulePath + ": " + SystemMessage(GetLastError()));
    }
    const FARPROC entry = GetProcAddress(library, "J27CreateModule");
    if (entry == nullptr) {
        Release();
        return Result::Failure(modulePath + " is not a sound module: it exports no J27CreateModule");
    }
    J27CreateModuleFn create;
    static_assert(sizeof create == sizeof entry, "function pointer size");
    std::memcpy(&create, &entry, sizeof create);
    services = std::make_unique<HostServices>(&bus, &hub, &registry);
    module = create(services.get());
    if (module == nullptr) {
        Release();
        const std::string& refusal = bus.Refusal();
        return Result::Failure(modulePath + ": J27CreateModule failed" +
                               (refusal.empty() ? "" : " (the port bus refused the device: " + refusal + ")"));
    }
    return {};
}

void ModuleBinding::Release()
{
    if (module != nullptr) {
        module->Release();
        module = nullptr;
    }
    services.reset();
    registry.pages.clear();
    if (library != nullptr) {
        FreeLibrary(library);
        library = nullptr;
    }
}

SettingsWhilePlaying* ModuleBinding::SettingsSheet()
{
    if (sheet == nullptr) {
        sheet = std::make_unique<LiveSettingsSheet>(*this);
    }
    return sheet.get();
}
