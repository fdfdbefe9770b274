#include "tests/support/recording_host.h"

#include <cstdio>
#include <cstring>

J27CreateModuleFn LoadQuarix(const std::string& dir, HMODULE* library)
{
    *library = LoadLibraryA((dir + "\\Quarix.j27").c_str());
    if (*library == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<J27CreateModuleFn>(reinterpret_cast<void*>(GetProcAddress(*library, "J27CreateModule")));
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

void* J27_CALL RecordingHost::GetInterface(const GUID* id)
{
    const struct {
        const GUID& id;
        const char* name;
        bool given;
        void* face;
    } faces[] = {{kPortBusId, "PortBus", hasBus, static_cast<IPortBus*>(&bus)},
                 {kSoundHubId, "SoundHub", hasHub, static_cast<ISoundHub*>(&hub)},
                 {kPageRegistryId, "PageRegistry", hasRegistry, static_cast<IPageRegistry*>(&registry)}};
    for (const auto& f : faces) {
        if (SameGuid(*id, f.id)) {
            log.Add(std::string("GetInterface ") + f.name);
            return f.given ? f.face : nullptr;
        }
    }
    log.Add("GetInterface unknown");
    return nullptr;
}
