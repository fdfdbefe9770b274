#pragma once
// The host's port bus: routes port writes to the handlers a device listed in
// its connector table, through the output table of its descriptor.

#include <cstdint>
#include <string>
#include <vector>

#include "contract/host_device.h"
#include "contract/host_sound.h"
#include "host/result.h"

// Where the player's port writes go: the bus itself, or a piece in front of
// it that changes what the device is told (host/channels.h).
class PortWriter {
public:
    // The emulated machine's write of data to port. False when nothing listens there.
    virtual bool Write(uint32_t port, uint32_t data) = 0;
    // Both chips were reset besides a write (a rate change).
    virtual void ChipsReset() {}

protected:
    ~PortWriter() = default;
};

class PortBus final : public IPortBus, public PortWriter {
public:
    // Binds every port of table (up to its all-zero record) to the device's
    // handler. All or nothing: a connector of another kind than kWriteConnector, a handler
    // id beyond the output table or with a null entry, a port another device
    // holds, or a table without its end record refuse the whole connection,
    // and Refusal says why.
    bool J27_CALL Connect(IDevice* device, const PortConnector* table) override;
    // Unbinds every port of the device; false if it held none.
    bool J27_CALL Disconnect(IDevice* device) override;

    // Calls the handler bound to port with the device and data, as the
    // emulated machine's write would. False when nothing listens there.
    bool Write(uint32_t port, uint32_t data) override;

    size_t BoundPorts() const { return bindings.size(); }
    // Why the last Connect was refused; empty when it was not.
    const std::string& Refusal() const { return refusal; }

private:
    struct Binding {
        uint32_t port;
        IDevice* device;      // not owned
        PortHandler handler;
    };
    Result ReadTable(IDevice* device, const PortConnector* table, std::vector<Binding>* added) const;
    Result CheckConnector(int index, const PortConnector& c, const DeviceDescriptor* descriptor,
                          const std::vector<Binding>& added) const;

    std::vector<Binding> bindings;
    std::string refusal;
};

// Longest connector table accepted: a table without its end record is caught.
constexpr int kMaxConnectors = 256;
