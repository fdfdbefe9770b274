#include "device/device.h"

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

const PortHandler kOutputTable[kOutputHandlerCount] = {
    ResetHandler, nullptr, nullptr,
    WritePortHandler, nullptr, nullptr,
    DiscardWriteHandler, nullptr, nullptr,
};

const DeviceDescriptor kDescriptor = {nullptr, kOutputTable};

}  // namespace

const PortConnector Quarix::kConnectors[5] = {
    {0x108, 2, 0},
    {0xAC, 2, 3},
    {0xAE, 2, 6},
    {0xAF, 2, 3},
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
        uint32_t reversed = 0;
        for (uint32_t j = 0; j < 8; ++j) {
            if (i & (1u << (7 - j))) {
                reversed |= 1u << j;
            }
        }
        bitReverse[i] = reversed;
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
    if (newRate < kMinRateHz || newRate > kMaxRateHz) {
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
    while (count > 0) {
        const int32_t piece = count < kMaxRenderFrames ? count : kMaxRenderFrames;
        PsgRender(0, frames, piece);
        PsgRender(1, frames, piece);
        frames += piece;
        count -= piece;
    }
}

bool Quarix::Init()
{
    Reset(0, 0);
    return true;
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
