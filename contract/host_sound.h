#pragma once
// Host interfaces the sound side of the module calls: services, port bus and
// sound hub. Portable: no platform headers, so the device builds natively.

#include <cstddef>
#include <cstdint>

#include "contract/abi.h"

#if defined(_WIN32)
#  include <guiddef.h>
#else
// The platform's 16-byte GUID layout, for native builds.
struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
#endif
static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data1) == 0 && offsetof(GUID, Data2) == 4 &&
                  offsetof(GUID, Data3) == 6 && offsetof(GUID, Data4) == 8,
              "GUID layout");

class IDevice;
class ISoundSource;
struct PortConnector;

inline constexpr GUID kPortBusId = {0x328ABDEA, 0x7E10, 0x11D3, {0xBD, 0x4F, 0x00, 0xA0, 0xC9, 0x0A, 0xC9, 0xDA}};
inline constexpr GUID kSoundHubId = {0x328ABDF2, 0x7E10, 0x11D3, {0xBD, 0x4F, 0x00, 0xA0, 0xC9, 0x0A, 0xC9, 0xDA}};
inline constexpr GUID kPageRegistryId = {0x32694F5A, 0x7F25, 0x11D3, {0xBD, 0x53, 0x00, 0xA0, 0xC9, 0x0A, 0xC9, 0xDA}};

inline bool SameGuid(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

// What the module gets from the host: the host's interfaces by GUID.
class IHostServices {
public:
    // The interface for id, or null if the host has none.
    virtual void* J27_CALL GetInterface(const GUID* id) = 0;

protected:
    ~IHostServices() = default;  // the module never deletes host objects
};

// Routes port writes to a device's handlers.
class IPortBus {
public:
    // True: the host calls the device's handlers for the ports in table
    // (ending with four zero bytes); false fails the module's creation.
    virtual bool J27_CALL Connect(IDevice* device, const PortConnector* table) = 0;
    // Unbinds every port of the device; false if it held none.
    virtual bool J27_CALL Disconnect(IDevice* device) = 0;

protected:
    ~IPortBus() = default;
};

// Mixes sound sources into the host's output.
class ISoundHub {
public:
    // The source is mixed from the present moment on; false if already attached.
    virtual bool J27_CALL Attach(ISoundSource* source) = 0;
    // The source is mixed no more; false if it was not attached.
    virtual bool J27_CALL Detach(ISoundSource* source) = 0;
    // Before it returns, the source's output is rendered (through its Mix)
    // up to the present emulated moment.
    virtual bool J27_CALL Update(ISoundSource* source) = 0;

protected:
    ~ISoundHub() = default;
};

#if defined(_WIN32) && !defined(_WIN64)
// Nothing but the pointer to the table of operations.
static_assert(sizeof(IHostServices) == 4 && sizeof(IPortBus) == 4 && sizeof(ISoundHub) == 4, "interface layout");
#endif
