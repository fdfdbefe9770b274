#include "host/port_bus.h"

bool J27_CALL PortBus::Connect(IDevice* device, const PortConnector* table)
{
    if (device == nullptr || table == nullptr) {
        lastError = "no device or no connector table";
        return false;
    }
    // Resolved once here, as a host does when a device plugs in.
    const DeviceDescriptor* descriptor = device->GetDescriptor();
    std::vector<Binding> added;
    for (int i = 0;; ++i) {
        if (i == kMaxConnectors) {
            lastError = "connector table has no end record within " + std::to_string(kMaxConnectors) + " entries";
            return false;
        }
        const PortConnector& c = table[i];
        if (c.port == 0 && c.kind == 0 && c.handler == 0) {
            break;
        }
        const std::string which = "connector " + std::to_string(i) + " (port " + std::to_string(c.port) + ")";
        if (c.kind != kWriteConnector) {
            lastError = which + " has kind " + std::to_string(c.kind) + "; only write connectors (2) are supported";
            return false;
        }
        if (descriptor == nullptr || descriptor->outputTable == nullptr) {
            lastError = which + " needs an output table, and the device has none";
            return false;
        }
        if (c.handler >= kOutputHandlerCount || descriptor->outputTable[c.handler] == nullptr) {
            lastError = which + " names handler " + std::to_string(c.handler) + ", which the output table lacks";
            return false;
        }
        for (const Binding& b : bindings) {
            if (b.port == c.port) {
                lastError = which + " is already taken by another device";
                return false;
            }
        }
        for (const Binding& b : added) {
            if (b.port == c.port) {
                lastError = which + " is listed twice";
                return false;
            }
        }
        added.push_back({c.port, device, descriptor->outputTable[c.handler]});
    }
    bindings.insert(bindings.end(), added.begin(), added.end());
    return true;
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
