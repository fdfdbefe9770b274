#include <gtest/gtest.h>

#include <vector>

#include "device/device.h"
#include "host/port_bus.h"

namespace {

struct Call {
    int handler;
    IDevice* device;
    uint32_t port;
    uint32_t data;
    bool operator==(const Call&) const = default;
};

std::vector<Call> calls;

// Handler n: logs itself as n.
template <int n>
void J27_CALL Handler(IDevice* self, uint32_t port, uint32_t data)
{
    calls.push_back({n, self, port, data});
}

// A device whose output table has handlers at 0, 3 and 8.
class FakeDevice final : public IDevice {
public:
    const uint32_t& J27_CALL GetId() override { return id; }
    const DeviceDescriptor* J27_CALL GetDescriptor() override { return descriptor; }
    uint32_t J27_CALL AuxQuery() override { return 0; }
    uint32_t J27_CALL AuxCallA(uint32_t) override { return 0; }
    uint32_t J27_CALL AuxCallB(uint32_t) override { return 0; }

    uint32_t id = 0x4B414B46;
    const DeviceDescriptor* descriptor = &kDescriptor;

    static constexpr PortHandler kOutput[kOutputHandlerCount] = {Handler<0>, nullptr, nullptr, Handler<3>, nullptr,
                                                                 nullptr,    nullptr, nullptr, Handler<8>};
    static constexpr DeviceDescriptor kDescriptor = {nullptr, kOutput};
};

class PortBusTest : public ::testing::Test {
protected:
    void SetUp() override { calls.clear(); }
    PortBus bus;
    FakeDevice device;
    FakeDevice other;
};

}  // namespace

TEST_F(PortBusTest, WritesReachTheHandlerTheConnectorNames)
{
    const PortConnector table[] = {{0x108, 2, 0}, {0xAC, 2, 3}, {0x1FF, 2, 8}, {0, 0, 0}};
    ASSERT_TRUE(bus.Connect(&device, table)) << bus.Refusal();
    EXPECT_TRUE(bus.Write(0xAC, 0x80));
    EXPECT_TRUE(bus.Write(0x108, 7));
    EXPECT_TRUE(bus.Write(0x1FF, 0xFF));
    EXPECT_FALSE(bus.Write(0xAD, 1));  // nobody listens there
    const std::vector<Call> expected = {
        {3, &device, 0xAC, 0x80}, {0, &device, 0x108, 7}, {8, &device, 0x1FF, 0xFF}};
    EXPECT_EQ(calls, expected);
}

TEST_F(PortBusTest, TheDevicesOwnTableBindsItsFourPorts)
{
    Quarix quarix(kDeviceIdQrxs);
    ASSERT_TRUE(bus.Connect(&quarix, Quarix::kConnectors)) << bus.Refusal();
    EXPECT_EQ(bus.BoundPorts(), 4u);
    for (uint32_t port : {0xACu, 0xAEu, 0xAFu, 0x108u}) {
        EXPECT_TRUE(bus.Write(port, 0x9F)) << port;
    }
    EXPECT_TRUE(bus.Disconnect(&quarix));
}

TEST_F(PortBusTest, DisconnectStopsDispatchForThatDeviceOnly)
{
    const PortConnector mine[] = {{0xAC, 2, 3}, {0, 0, 0}};
    const PortConnector theirs[] = {{0xAF, 2, 0}, {0, 0, 0}};
    ASSERT_TRUE(bus.Connect(&device, mine));
    ASSERT_TRUE(bus.Connect(&other, theirs));
    EXPECT_TRUE(bus.Disconnect(&device));
    EXPECT_FALSE(bus.Disconnect(&device));
    EXPECT_FALSE(bus.Write(0xAC, 1));
    EXPECT_TRUE(bus.Write(0xAF, 2));
    EXPECT_EQ(calls, (std::vector<Call>{{0, &other, 0xAF, 2}}));
}

TEST_F(PortBusTest, BadTablesAreRefusedWhole)
{
    const PortConnector taken[] = {{0xAF, 2, 0}, {0, 0, 0}};
    ASSERT_TRUE(bus.Connect(&other, taken));
    std::vector<PortConnector> endless(kMaxConnectors + 1, PortConnector{0x300, 2, 0});
    for (size_t i = 0; i < endless.size(); ++i) {
        endless[i].port = static_cast<uint16_t>(0x300 + i);
    }
    struct Case {
        const char* name;
        std::vector<PortConnector> table;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"read connector", {{0xAC, 2, 3}, {0xAD, 1, 3}, {0, 0, 0}}, "kind 1"},
        {"handler beyond the table", {{0xAC, 2, 9}, {0, 0, 0}}, "handler 9"},
        {"null entry", {{0xAC, 2, 3}, {0xAD, 2, 1}, {0, 0, 0}}, "handler 1"},
        {"port of another device", {{0xAC, 2, 3}, {0xAF, 2, 3}, {0, 0, 0}}, "already taken"},
        {"port twice", {{0xAC, 2, 3}, {0xAC, 2, 0}, {0, 0, 0}}, "listed twice"},
        {"no end record", endless, "no end record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(bus.Connect(&device, c.table.data()));
        EXPECT_NE(bus.Refusal().find(c.reason), std::string::npos) << bus.Refusal();
        EXPECT_FALSE(bus.Write(0xAC, 1));  // nothing of the table was bound
    }
    FakeDevice noTable;
    noTable.descriptor = nullptr;
    const PortConnector one[] = {{0xAC, 2, 3}, {0, 0, 0}};
    EXPECT_FALSE(bus.Connect(&noTable, one));
    EXPECT_TRUE(calls.empty());
}
