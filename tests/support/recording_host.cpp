#include "tests/support/recording_host.h"

#include <cstdio>
#include <cstring>

#include "tests/support/scratch_dir.h"

namespace {

std::string Contents(const std::string& path)
{
    return FileExists(path) ? "present:" + ReadText(path) : "absent";
}

}  // namespace

J27CreateModuleFn LoadQuarix(const std::string& dir, HMODULE* library)
{
    *library = LoadLibraryA((dir + "\\Quarix.j27").c_str());
    if (*library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<J27CreateModuleFn>(reinterpret_cast<void*>(GetProcAddress(*library, "J27CreateModule")));
}

void CallLog::Watch(const std::string& path, const std::string& label)
{
    watchedFile = path;
    watchedLabel = label;
    lastContents = Contents(path);
}

void CallLog::Flush()
{
    if (watchedFile.empty()) {
        return;
    }
    std::string now = Contents(watchedFile);
    if (now != lastContents) {
        calls.push_back(watchedLabel + " written");
        lastContents = now;
    }
}

void CallLog::Add(const std::string& call)
{
    Flush();
    calls.push_back(call);
}

std::string ConnectorBytes(const PortConnector* table)
{
    std::string text;
    for (int i = 0; i < 16; ++i) {
        unsigned char bytes[4];
        std::memcpy(bytes, &table[i], 4);
        char word[16];
        std::snprintf(word, sizeof word, "%s%02X%02X%02X%02X", i == 0 ? "" : " ", bytes[0], bytes[1], bytes[2],
                      bytes[3]);
        text += word;
        if ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0) {
            break;
        }
    }
    return text;
}

bool J27_CALL RecordingPortBus::Connect(IDevice* device, const PortConnector* table)
{
    const uint32_t& id = device->GetId();
    char name[5] = {};
    std::memcpy(name, &id, 4);
    log.Add(std::string("PortBus.Connect ") + name + " [" + ConnectorBytes(table) + "]");
    if (accept) {
        connected = device;
    }
    return accept;
}

bool J27_CALL RecordingPortBus::Disconnect(IDevice* device)
{
    log.Add(device == connected ? "PortBus.Disconnect" : "PortBus.Disconnect (another device)");
    connected = nullptr;
    return true;
}

bool J27_CALL RecordingSoundHub::Attach(ISoundSource* source)
{
    log.Add("SoundHub.Attach");
    attached = source;
    return true;
}

bool J27_CALL RecordingSoundHub::Detach(ISoundSource* source)
{
    log.Add(source == attached ? "SoundHub.Detach" : "SoundHub.Detach (another source)");
    attached = nullptr;
    return true;
}

bool J27_CALL RecordingSoundHub::Update(ISoundSource* source)
{
    log.Add(source == attached ? "SoundHub.Update" : "SoundHub.Update (another source)");
    return true;
}

bool J27_CALL RecordingPageRegistry::Add(IConfigPropSheet* page)
{
    log.Add("PageRegistry.Add");
    added = page;
    return true;
}

bool J27_CALL RecordingPageRegistry::Remove(IConfigPropSheet* page)
{
    log.Add(page == added && page != nullptr ? "PageRegistry.Remove" : "PageRegistry.Remove (another page)");
    added = nullptr;
    return true;
}

void* J27_CALL RecordingHost::GetInterface(const GUID* id)
{
    if (SameGuid(*id, kPortBusId)) {
        log.Add("GetInterface PortBus");
        return hasBus ? static_cast<IPortBus*>(&bus) : nullptr;
    }
    if (SameGuid(*id, kSoundHubId)) {
        log.Add("GetInterface SoundHub");
        return hasHub ? static_cast<ISoundHub*>(&hub) : nullptr;
    }
    if (SameGuid(*id, kPageRegistryId)) {
        log.Add("GetInterface PageRegistry");
        return hasRegistry ? static_cast<IPageRegistry*>(&registry) : nullptr;
    }
    log.Add("GetInterface unknown");
    return nullptr;
}

bool J27_CALL RecordingPageSite::Reserved0()
{
    log.Add(name + ".Reserved0");
    return true;
}

bool J27_CALL RecordingPageSite::Reserved1()
{
    log.Add(name + ".Reserved1");
    return true;
}

bool J27_CALL RecordingPageSite::OnPageApplied()
{
    log.Add(name + ".OnPageApplied");
    return true;
}

bool J27_CALL RecordingPageSite::OnPageShown(IConfigPropSheet* page)
{
    log.Add(name + ".OnPageShown" + (page == expectedPage ? "" : " (another page)"));
    return true;
}

bool J27_CALL RecordingPageSite::OnPageModified(HWND window)
{
    log.Add(name + ".OnPageModified" + (window == expectedWindow ? "" : " (another window)"));
    return true;
}
