#include "host/port_bus.h"

bool J27_CALL PortBus::Connect(IDevice* device, const PortConnector* table)
{
    std::vector<Binding> added;
    const Result read = ReadTable(device, table, &added);
    refusal = read.Message();
    if (!read.Ok()) {
        return false;
    }
    bindings.insert(bindings.end(), added.begin(), added.end());
    return true;
}

Result PortBus::ReadTable(IDevice* device, const PortConnector* table, std::vector<Binding>* added) const
{
    if (device == nullptr || table == nullptr) {
        return Result::Failure("no device or no connector table");
    }
    // Resolved once here, as a host does when a device plugs in.
    const DeviceDescriptor* descriptor = device->GetDescriptor();
    for (int i = 0; i < kMaxConnectors; ++i) {
        const PortConnector& c = table[i];
        if (c.port == 0 && c.kind == 0 && c.handler == 0) {
            return {};
        }
        const Result checked = CheckConnector(i, c, descriptor, *added);
        if (!checked.Ok()) {
            return checked;
        }
        added->push_back({c.port, device, descriptor->outputTable[c.handler]});
    }
    return Result::Failure("connector table has no end record within " + std::to_string(kMaxConnectors) +
                           " entries");
}

Result PortBus::CheckConnector(int index, const PortConnector& c, const DeviceDescriptor* descriptor,
                               const std::vector<Binding>& added) const
{
    const std::string which = "connector " + std::to_string(index) + " (port " + std::to_string(c.port) + ")";
    if (c.kind != kWriteConnector) {
        return Result::Failure(which + " has kind " + std::to_string(c.kind) +
                               "; only write connectors (2) are supported");
    }
    if (descriptor == nullptr || descriptor->outputTable == nullptr) {
        return Result::Failure(which + " needs an output table, and the device has none");
    }
    if (c.handler >= kOutputHandlerCount || descriptor->outputTable[c.handler] == nullptr) {
        return Result::Failure(which + " names handler " + std::to_string(c.handler) +
                               ", which the output table lacks");
    }
    for (const Binding& b : bindings) {
        if (b.port == c.port) {
            return Result::Failure(which + " is already taken by another device");
        }
    }
    for (const Binding& b : added) {
        if (b.port == c.port) {
            return Result::Failure(which + " is listed twice");
        }
    }
    return {};
}

bool J27_CALL PortBus::Disconnect(IDevice* device)
{
    const size_t before = bindings.size();
    std::erase_if(bindings, [device](const Binding& b) { return b.device == device; });
    return bindings.size() != before;
}

bool PortBus::Write(uint32_t port, uint32_t data)
{
    for (const Binding& b : bindings) {
        if (b.port == port) {
            const Binding target = b;  // the handler may change the bus
            target.handler(target.device, port, data);
            return true;
        }
    }
    return false;
}
