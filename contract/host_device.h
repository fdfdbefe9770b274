#pragma once
// The device side of the host contract: how a host binds a device's ports
// and mixes its sound. Records as a 32-bit host lays them out; portable, so
// the device and the reference host build natively.

#include <cstddef>
#include <cstdint>

#include "contract/abi.h"
#include "contract/host_sound.h"
#include "contract/stereo_frame.h"

// Binds one I/O port to one handler of a device. Tables end with four zero bytes.
struct PortConnector {
    uint16_t port;    // may exceed 0xFF (pseudo-ports)
    uint8_t kind;     // kWriteConnector: handler indexes the output table
    uint8_t handler;  // handler id
};
static_assert(sizeof(PortConnector) == 4 && offsetof(PortConnector, port) == 0 &&
                  offsetof(PortConnector, kind) == 2 && offsetof(PortConnector, handler) == 3,
              "connector layout");

constexpr uint8_t kWriteConnector = 2;  // the only connector kind a host binds

class IDevice;

// A port-write handler as the host calls it, with the IDevice face it was given.
using PortHandler = void(J27_CALL*)(IDevice* self, uint32_t port, uint32_t data);

constexpr int kOutputHandlerCount = 9;

// Where a device's port handlers are.
struct DeviceDescriptor {
    const void* inputTable;          // null: the device answers no port reads
    const PortHandler* outputTable;  // kOutputHandlerCount entries
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DeviceDescriptor) == 8 && offsetof(DeviceDescriptor, inputTable) == 0 &&
                  offsetof(DeviceDescriptor, outputTable) == 4 &&
                  sizeof(PortHandler[kOutputHandlerCount]) == 36,
              "descriptor layout: two pointers, 4-byte handler entries");
#endif

// A device on the host's port bus.
class IDevice {
public:
    // The device's four-character identifier, in memory order.
    virtual const uint32_t& J27_CALL GetId() = 0;
    // The device's port handlers; null: it has none.
    virtual const DeviceDescriptor* J27_CALL GetDescriptor() = 0;
    // Reserved queries of the contract; a device without them answers 0.
    virtual uint32_t J27_CALL AuxQuery() = 0;
    virtual uint32_t J27_CALL AuxCallA(uint32_t value) = 0;
    virtual uint32_t J27_CALL AuxCallB(uint32_t value) = 0;

protected:
    ~IDevice() = default;  // the host never deletes a device
};

// A source of samples for the host's sound hub.
class ISoundSource {
public:
    // Detaches from the current hub, if any, and attaches to hub, if not null.
    virtual bool J27_CALL Connect(ISoundHub* hub) = 0;
    // The host's output rate in Hz from now on; the source restarts its sound with it.
    virtual bool J27_CALL SetRate(int32_t rate) = 0;
    // Adds count frames into frames.
    virtual void J27_CALL Mix(StereoFrame* frames, int32_t count) = 0;

protected:
    ~ISoundSource() = default;
};

#if defined(_WIN32) && !defined(_WIN64)
// Interfaces carry nothing but the pointer to their table of operations, and
// bool results come back in AL.
static_assert(sizeof(IDevice) == 4 && sizeof(ISoundSource) == 4, "interface layout");
static_assert(sizeof(bool) == 1, "bool results");
#endif
