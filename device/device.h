#pragma once
// The sound device: the host's port bus calls its handlers, the host's sound
// hub asks it to mix. Portable: builds natively for tests and for Win32.

#include <cstdint>

#include "contract/abi.h"
#include "contract/host_device.h"
#include "contract/host_sound.h"
#include "contract/port_protocol.h"
#include "device/sound_settings.h"

// Default device: an identifier, no handlers, zero answers.
class Device : public IDevice {
public:
    explicit Device(const uint32_t& deviceId);
    virtual ~Device();

    const uint32_t& J27_CALL GetId() override;
    const DeviceDescriptor* J27_CALL GetDescriptor() override;  // null
    uint32_t J27_CALL AuxQuery() override;                       // 0
    uint32_t J27_CALL AuxCallA(uint32_t value) override;         // 0
    uint32_t J27_CALL AuxCallB(uint32_t value) override;         // 0

    uint32_t id;  // four characters in memory order
};

constexpr int32_t kDefaultRateHz = 44100;
constexpr int32_t kGainOffset = 40;             // added to the settings' volume offset
constexpr uint32_t kDeviceIdQrxs = 0x53585251;  // "QRXS" in memory order: 'Q' | 'R' << 8 | 'X' << 16 | 'S' << 24

// Two sound generators behind kChip0Port and kChip1Port. The chips themselves are
// library-wide state (psg/), so one device exists at a time.
class Quarix : public Device, public ISoundSource {
public:
    explicit Quarix(const uint32_t& deviceId);
    ~Quarix() override;

    const DeviceDescriptor* J27_CALL GetDescriptor() override;

    bool J27_CALL Connect(ISoundHub* hub) override;
    // A rate outside kMinChipRateHz..kMaxChipRateHz would give a timing step the
    // chips cannot count with: the previous rate and both chips are kept.
    // Always true.
    bool J27_CALL SetRate(int32_t rate) override;
    // Chip 0 then chip 1 add into frames; nothing while disabled, with a null
    // buffer or a count of 0 or less.
    void J27_CALL Mix(StereoFrame* frames, int32_t count) override;

    // Resets both chips at the current rate.
    void Init();
    // The device's part of a host's start-up, in this order: Init, the bus
    // binds kConnectors, the device attaches to hub. False, with nothing
    // connected, when the bus refuses.
    bool Plug(IPortBus& bus, ISoundHub& hub);
    // The device's part of a host's shut-down: detaches from its hub, then
    // the bus (if any) unbinds its ports.
    void Unplug(IPortBus* bus);
    // Takes volume and enable; the gain is volume + 40 with two's-complement
    // wrap-around, since only its low 8 bits reach the level table.
    void ApplySettings(const SoundSettings* settings);

    // Port handler kResetHandler: resets both chips (port and data ignored), without Update.
    void Reset(uint32_t port, uint32_t data);
    // Port handler kWriteHandler: brings the hub up to date, then writes the
    // bit-reversed low 8 bits of data to chip (port AND 1). Ports other than
    // kChip0Port and kChip1Port are ignored.
    void WritePort(uint32_t port, uint32_t data);
    // Port handler kDiscardHandler: kIgnoredPort, accepted and dropped.
    void DiscardWrite(uint32_t port, uint32_t data);

    // The connector table handed to the port bus; lives as long as the library.
    static const PortConnector kConnectors[5];

    ISoundHub* soundHub;       // not owned; null while detached
    uint32_t bitReverse[256];  // BitReverse of each byte
    int32_t rate;              // Hz, passed to every reset
    int32_t gain;              // level-table gain: volume + 40
    int32_t enable;            // nonzero: Mix renders

private:
    void ResetChips();
};
