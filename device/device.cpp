#include "device/device.h"

#include <array>

#include "psg/psg_pair.h"

// The chip-rate range is where the timing step is 1 to kMaxStep.
static_assert(int64_t{kMinChipRateHz} * 16 * kFrameUnits / kChipClockHz == 1 &&
                  int64_t{kMinChipRateHz - 1} * 16 * kFrameUnits / kChipClockHz == 0,
              "lowest chip rate: step 1");
static_assert(int64_t{kMaxChipRateHz} * 16 * kFrameUnits / kChipClockHz == kMaxStep &&
                  int64_t{kMaxChipRateHz + 1} * 16 * kFrameUnits / kChipClockHz > kMaxStep,
              "highest chip rate: step kMaxStep");

namespace {

// Output-table entries: plain functions, so a host calls them without knowing
// the class. self is the IDevice face handed to the port bus.
void J27_CALL ResetHandler(IDevice* self, uint32_t port, uint32_t data)
{
    static_cast<Quarix*>(self)->Reset(port, data);
}

void J27_CALL WritePortHandler(IDevice* self, uint32_t port, uint32_t data)
{
    static_cast<Quarix*>(self)->WritePort(port, data);
}

void J27_CALL DiscardWriteHandler(IDevice* self, uint32_t port, uint32_t data)
{
    static_cast<Quarix*>(self)->DiscardWrite(port, data);
}

constexpr std::array<PortHandler, kOutputHandlerCount> MakeOutputTable()
{
    std::array<PortHandler, kOutputHandlerCount> table{};
    table[kResetHandler] = ResetHandler;
    table[kWriteHandler] = WritePortHandler;
    table[kDiscardHandler] = DiscardWriteHandler;
    return table;
}

const std::array<PortHandler, kOutputHandlerCount> kOutputTable = MakeOutputTable();

const DeviceDescriptor kDescriptor = {nullptr, kOutputTable.data()};

}  // namespace

const PortConnector Quarix::kConnectors[5] = {
    {kResetPort, kWriteConnector, kResetHandler},
    {kChip0Port, kWriteConnector, kWriteHandler},
    {kIgnoredPort, kWriteConnector, kDiscardHandler},
    {kChip1Port, kWriteConnector, kWriteHandler},
    {0, 0, 0},
};

Device::Device(const uint32_t& deviceId) : id(deviceId) {}

Device::~Device() = default;

const uint32_t& J27_CALL Device::GetId()
{
    return id;
}

const DeviceDescriptor* J27_CALL Device::GetDescriptor()
{
    return nullptr;
}

uint32_t J27_CALL Device::AuxQuery()
{
    return 0;
}

uint32_t J27_CALL Device::AuxCallA(uint32_t)
{
    return 0;
}

uint32_t J27_CALL Device::AuxCallB(uint32_t)
{
    return 0;
}

Quarix::Quarix(const uint32_t& deviceId)
    : Device(deviceId), soundHub(nullptr), bitReverse(), rate(kDefaultRateHz), gain(100), enable(0)
{
    for (uint32_t i = 0; i < 256; ++i) {
        bitReverse[i] = BitReverse(static_cast<uint8_t>(i));
    }
}

Quarix::~Quarix() = default;

const DeviceDescriptor* J27_CALL Quarix::GetDescriptor()
{
    return &kDescriptor;
}

bool J27_CALL Quarix::Connect(ISoundHub* hub)
{
    if (soundHub != nullptr) {
        soundHub->Detach(this);
    }
    soundHub = hub;
    if (hub != nullptr) {
        hub->Attach(this);
    }
    return true;
}

bool J27_CALL Quarix::SetRate(int32_t newRate)
{
    if (newRate < kMinChipRateHz || newRate > kMaxChipRateHz) {
        return true;
    }
    rate = newRate;
    ResetChips();
    return true;
}

void J27_CALL Quarix::Mix(StereoFrame* frames, int32_t count)
{
    if (enable == 0 || frames == nullptr) {
        return;
    }
    // Chip 0's samples and chip 1's, added in one pass over the frames; a long
    // call goes in pieces the counters allow.
    PsgRenderBoth(frames, count);
}

void Quarix::Init()
{
    Reset(0, 0);
}

bool Quarix::Plug(IPortBus& bus, ISoundHub& hub)
{
    Init();
    if (!bus.Connect(this, kConnectors)) {
        return false;
    }
    Connect(&hub);
    return true;
}

void Quarix::Unplug(IPortBus* bus)
{
    Connect(nullptr);
    if (bus != nullptr) {
        bus->Disconnect(this);
    }
}

void Quarix::ApplySettings(const SoundSettings* settings)
{
    // Everything due so far is rendered with the old gain and enable.
    if (soundHub != nullptr) {
        soundHub->Update(this);
    }
    gain = static_cast<int32_t>(static_cast<uint32_t>(settings->volume) + static_cast<uint32_t>(kGainOffset));
    enable = settings->enable;
    PsgBuildLevels(0, gain);
    PsgBuildLevels(1, gain);
}

void Quarix::Reset(uint32_t, uint32_t)
{
    ResetChips();
}

void Quarix::WritePort(uint32_t port, uint32_t data)
{
    if (port != kChip0Port && port != kChip1Port) {
        return;
    }
    // Every sample before this write is rendered with the registers as they were.
    if (soundHub != nullptr) {
        soundHub->Update(this);
    }
    PsgWrite(static_cast<int>(port & 1u), bitReverse[data & 0xFFu]);
}

void Quarix::DiscardWrite(uint32_t, uint32_t) {}

void Quarix::ResetChips()
{
    for (int chip = 0; chip < 2; ++chip) {
        PsgReset(chip, kChipClockHz, rate);
        PsgBuildLevels(chip, gain);
    }
}
