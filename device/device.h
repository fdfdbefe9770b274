#pragma once
// The sound device: the host's port bus calls its handlers, the host's sound
// hub asks it to mix. Portable: builds natively for tests and for Win32.

#include <cstddef>
#include <cstdint>

#include "config/sound_settings.h"
#include "module/abi.h"
#include "module/host_sound.h"
#include "psg/psg_chip.h"

// Binds one I/O port to one handler of a device. Tables end with four zero bytes.
struct PortConnector {
    uint16_t port;    // may exceed 0xFF (pseudo-ports)
    uint8_t kind;     // 2: write connection, handler indexes the output table
    uint8_t handler;  // handler id
};
static_assert(sizeof(PortConnector) == 4, "connector layout");
static_assert(offsetof(PortConnector, port) == 0 && offsetof(PortConnector, kind) == 2 &&
                  offsetof(PortConnector, handler) == 3,
              "connector layout");

// A port-write handler as the host calls it, with the IDevice face it was given.
using PortHandler = void(J27_CALL*)(IDevice* self, uint32_t port, uint32_t data);

constexpr int kOutputHandlerCount = 9;

// Where a device's port handlers are.
struct DeviceDescriptor {
    const void* inputTable;            // null: the device answers no port reads
    const PortHandler* outputTable;    // kOutputHandlerCount entries
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DeviceDescriptor) == 8, "descriptor layout");
static_assert(offsetof(DeviceDescriptor, inputTable) == 0 && offsetof(DeviceDescriptor, outputTable) == 4,
              "descriptor layout");
static_assert(sizeof(PortHandler) == 4, "handler entry size");
static_assert(sizeof(PortHandler[kOutputHandlerCount]) == 36, "output table size");
#endif

// The other records the device shares with the host, as a 32-bit host lays
// them out: frames it mixes into, settings it is given, GUIDs it is asked for.
static_assert(sizeof(StereoFrame) == 8 && offsetof(StereoFrame, left) == 0 && offsetof(StereoFrame, right) == 4,
              "host buffer layout");
static_assert(sizeof(SoundSettings) == 8 && offsetof(SoundSettings, volume) == 0 &&
                  offsetof(SoundSettings, enable) == 4,
              "settings record layout");
static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data1) == 0 && offsetof(GUID, Data2) == 4 &&
                  offsetof(GUID, Data3) == 6 && offsetof(GUID, Data4) == 8,
              "GUID layout");

// A device on the host's port bus.
class IDevice {
public:
    virtual const uint32_t& J27_CALL GetId() = 0;
    virtual const DeviceDescriptor* J27_CALL GetDescriptor() = 0;
    virtual uint32_t J27_CALL AuxQuery() = 0;
    virtual uint32_t J27_CALL AuxCallA(uint32_t value) = 0;
    virtual uint32_t J27_CALL AuxCallB(uint32_t value) = 0;

protected:
    ~IDevice() = default;  // the host never deletes a device
};

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

// A source of samples for the host's sound hub.
class ISoundSource {
public:
    // Detaches from the current hub, if any, and attaches to hub, if not null.
    virtual bool J27_CALL Connect(ISoundHub* hub) = 0;
    virtual bool J27_CALL SetRate(int32_t rate) = 0;
    // Adds count frames into frames.
    virtual void J27_CALL Mix(StereoFrame* frames, int32_t count) = 0;

protected:
    ~ISoundSource() = default;
};

#if defined(_WIN32) && !defined(_WIN64)
// Interfaces carry nothing but the pointer to their table of operations, and
// bool results come back in AL.
static_assert(sizeof(IDevice) == 4 && sizeof(ISoundSource) == 4 && sizeof(ISoundHub) == 4, "interface layout");
static_assert(sizeof(bool) == 1, "bool results");
#endif

constexpr int32_t kChipClockHz = 3993600;
constexpr int32_t kDefaultRateHz = 44100;
constexpr int32_t kMinRateHz = 4;        // step 1 at the chip clock
constexpr int32_t kMaxRateHz = 3997381;  // step kMaxStep at the chip clock
constexpr int32_t kGainOffset = 40;      // added to the settings' volume offset
constexpr uint32_t kChip0Port = 0xAC;
constexpr uint32_t kChip1Port = 0xAF;
constexpr uint32_t kIgnoredPort = 0xAE;
constexpr uint32_t kResetPort = 0x108;
constexpr uint32_t kDeviceIdQrxs = 0x53585251;  // "QRXS" in memory order

// Two sound generators behind ports 0xAC and 0xAF. The chips themselves are
// library-wide state (psg/), so one device exists at a time.
class Quarix : public Device, public ISoundSource {
public:
    explicit Quarix(const uint32_t& deviceId);
    ~Quarix() override;

    const DeviceDescriptor* J27_CALL GetDescriptor() override;

    bool J27_CALL Connect(ISoundHub* hub) override;
    // A rate outside kMinRateHz..kMaxRateHz would give a timing step the
    // chips cannot count with: the previous rate and both chips are kept.
    // Always true.
    bool J27_CALL SetRate(int32_t rate) override;
    // Chip 0 then chip 1 add into frames; nothing while disabled, with a null
    // buffer or a count of 0 or less. Longer calls render in pieces of at most
    // kMaxRenderFrames, both chips per piece, so the counters stay in range.
    void J27_CALL Mix(StereoFrame* frames, int32_t count) override;

    // Resets both chips at the current rate; always true.
    bool Init();
    // Takes volume and enable; the gain is volume + 40 with two's-complement
    // wrap-around, since only its low 8 bits reach the level table.
    void ApplySettings(const SoundSettings* settings);

    // Port handler 0: resets both chips (port and data ignored), without Update.
    void Reset(uint32_t port, uint32_t data);
    // Port handler 3: brings the hub up to date, then writes the bit-reversed
    // low 8 bits of data to chip (port AND 1). Ports other than 0xAC and 0xAF
    // are ignored.
    void WritePort(uint32_t port, uint32_t data);
    // Port handler 6: port 0xAE, accepted and dropped.
    void DiscardWrite(uint32_t port, uint32_t data);

    // The connector table handed to the port bus; lives as long as the library.
    static const PortConnector kConnectors[5];

    ISoundHub* soundHub;     // not owned; null while detached
    uint32_t bitReverse[256];
    int32_t rate;            // Hz, passed to every reset
    int32_t gain;            // level-table gain: volume + 40
    int32_t enable;          // nonzero: Mix renders

private:
    void ResetChips();
};
