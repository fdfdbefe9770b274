// Drives the sound device as a host would: port writes on any port with any
// data, rate changes with any value, settings with any volume and enable,
// mixes of up to a million frames (also into a null buffer), hub changes,
// and a hub whose Update mixes the device, as a host's hub does.
//
// Input: a sequence of operations, each an op byte and its operands; bits
// 0-2 of the op byte are the kind, the rest its flags:
//   0 chip write: byte; bit 3 picks port 0xAF over 0xAC
//   1 handler:    32-bit port, 32-bit data; bits 3-4 = 0, 1, 2, 3 pick
//                 output-table entry 0, 3, 6, 3
//   2 chip pair:  two bytes to the port of bit 3 (a latch and its data)
//   3 rate:       byte b; b < 0xC0 picks kRates[b % size], otherwise a
//                 32-bit word is the rate, any value
//   4 settings:   32-bit volume, 32-bit enable, any values
//   5 mix:        32-bit word w; count = w % 1000001, or w itself as a
//                 signed value with bit 4; bit 3 null buffer; bit 5 frames
//                 start from arbitrary values seeded by the next byte
//   6 hub:        bit 3 connects the hub, otherwise null
//   7 update:     16-bit word: frames the hub mixes in each Update, % 20001
// Multi-byte operands are little endian; a missing byte reads as 0.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/device.h"
#include "fuzz/fuzz_input.h"
#include "tests/support/chip_state.h"

namespace {

constexpr int32_t kRates[] = {44100, 48000, 22050, 11025, 96000, 4,        5,          3997381,
                              3997380, 1000, 0,   3,     -1,     3997382, INT32_MIN, INT32_MAX};
constexpr int32_t kMaxMixFrames = 1000000;
constexpr int32_t kMaxUpdateFrames = 20000;

// Work per input, in frames plus channel events, so that short periods and
// long mixes do not make single inputs slow.
constexpr int64_t kWorkBudget = int64_t{1} << 21;

bool SameChips(const ChipPair& a)
{
    return SameChip(a[0], StandInChip(0)) && SameChip(a[1], StandInChip(1));
}

// What one chip can add to a frame: every channel at most its amplitude.
uint32_t ChipBound(const PsgChip& c)
{
    uint32_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        sum += static_cast<uint32_t>(c.amplitude[i]);
    }
    return sum < 32767u ? sum : 32767u;
}

// Frames plus events of a mix of one frame; the device renders both chips.
int64_t WorkPerFrame()
{
    int64_t work = 1;
    for (int chip = 0; chip < 2; ++chip) {
        const PsgChip& c = StandInChip(chip);
        for (int i = 0; i < 4; ++i) {
            work += kFrameUnits / c.period[i] + 2;
        }
    }
    return work;
}

struct Session;

// A host's hub: Update mixes the frames due so far through the source.
class FuzzHub : public ISoundHub {
public:
    bool J27_CALL Attach(ISoundSource* source) override;
    bool J27_CALL Detach(ISoundSource* source) override;
    bool J27_CALL Update(ISoundSource* source) override;

    Session* session = nullptr;
    int32_t framesPerUpdate = 16;
    int attached = 0;
    int updates = 0;
};

struct Session {
    Session() : device(kDeviceIdQrxs) { hub.session = this; }

    // Mixes count frames (clamped to the budget) into frames, or into null,
    // and checks what the device did to buffer and chips.
    void Mix(ISoundSource* source, std::vector<StereoFrame>& frames, int32_t count, bool toNull, bool arbitrary,
             uint32_t seed);

    Quarix device;
    FuzzHub hub;
    ChipPair beforeOp;  // chips as the current operation found them
    bool inOp = false;
    int64_t budget = kWorkBudget;
    std::vector<StereoFrame> initial;
};

std::vector<StereoFrame> mixFrames(static_cast<size_t>(kMaxMixFrames));
std::vector<StereoFrame> updateFrames(static_cast<size_t>(kMaxUpdateFrames));

bool J27_CALL FuzzHub::Attach(ISoundSource* source)
{
    Check(source == static_cast<ISoundSource*>(&session->device), "attached another face");
    Check(attached == 0, "attached twice");
    ++attached;
    return true;
}

bool J27_CALL FuzzHub::Detach(ISoundSource* source)
{
    Check(source == static_cast<ISoundSource*>(&session->device), "detached another face");
    Check(attached == 1, "detached while not attached");
    --attached;
    return true;
}

bool J27_CALL FuzzHub::Update(ISoundSource* source)
{
    Check(source == static_cast<ISoundSource*>(&session->device), "updated another face");
    Check(attached == 1, "update from a detached device");
    ++updates;
    // The change comes after the update: the chips are still as they were.
    Check(updates > 1 || !session->inOp || SameChips(session->beforeOp), "chips changed before the update");
    session->Mix(source, updateFrames, framesPerUpdate, false, false, 0);
    return true;
}


void Session::Mix(ISoundSource* source, std::vector<StereoFrame>& frames, int32_t count, bool toNull, bool arbitrary,
                  uint32_t seed)
{
    const ChipPair before = SnapshotChips();
    if (toNull) {
        source->Mix(nullptr, count);
        Check(SameChips(before), "a mix into no buffer moved a chip");
        return;
    }
    if (count > 0) {
        const int64_t perFrame = WorkPerFrame();
        const int64_t affordable = budget / perFrame;
        if (affordable < count) {
            count = static_cast<int32_t>(affordable);
        }
        budget -= count * perFrame;
    }
    const int32_t filled = count > 0 ? count : 16;
    FillFuzzFrames(frames.data(), filled, arbitrary, seed);
    initial.assign(frames.begin(), frames.begin() + filled);
    const uint32_t bound = ChipBound(before[0]) + ChipBound(before[1]);

    source->Mix(frames.data(), count);

    if (count <= 0 || device.enable == 0) {
        Check(SameChips(before), "a mix of nothing moved a chip");
        Check(std::memcmp(frames.data(), initial.data(), initial.size() * sizeof(StereoFrame)) == 0,
              "a mix of nothing changed the buffer");
        return;
    }
    for (size_t f = 0; f < initial.size(); ++f) {
        const uint32_t left = static_cast<uint32_t>(frames[f].left) - static_cast<uint32_t>(initial[f].left);
        const uint32_t right = static_cast<uint32_t>(frames[f].right) - static_cast<uint32_t>(initial[f].right);
        Check(left == right, "left and right differ");
        Check(left <= bound, "frame value above what the amplitudes allow");
    }
    for (int chip = 0; chip < 2; ++chip) {
        const PsgChip& was = before[static_cast<size_t>(chip)];
        for (int i = 0; i < 4; ++i) {
            Check(StandInChip(chip).amplitude[i] == was.amplitude[i], "a mix changed an amplitude");
            Check(StandInChip(chip).period[i] == was.period[i], "a mix changed a period");
        }
    }
}

void CheckState(const Quarix& d, int32_t gain, int32_t enable)
{
    Check(d.rate >= kMinChipRateHz && d.rate <= kMaxChipRateHz, "rate outside the countable range");
    Check(d.gain == gain && d.enable == enable, "settings not taken as given");
    for (int chip = 0; chip < 2; ++chip) {
        const PsgChip& c = StandInChip(chip);
        Check(c.sampleRate == d.rate, "chip not reset at the device's rate");
        // The chip clock is 3993600 Hz, so the step is rate * 256 / 975.
        Check(c.step == static_cast<int32_t>(int64_t{d.rate} * 256 / 975), "step does not follow the rate");
        for (int i = 0; i < 4; ++i) {
            Check(c.counter[i] >= 1, "counter below 1");
            Check(c.output[i] == 0 || c.output[i] == 1, "output bit not 0 or 1");
            Check(c.period[i] >= 1, "period below 1");
            Check(c.amplitude[i] >= 0 && c.amplitude[i] <= kFullScale, "amplitude out of range");
        }
        Check(c.levels.level[15] == 0, "level 15 is not off");
        for (int i = 0; i < 15; ++i) {
            Check(c.levels.level[i] >= 0 && c.levels.level[i] <= kFullScale, "level out of range");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    StandInChip(0) = PsgChip{};  // as at load
    StandInChip(1) = PsgChip{};

    // Start-up as the module does it: settings, reset, hub.
    Session s;
    Quarix& dev = s.device;
    ISoundSource* const source = &dev;
    IDevice* const face = &dev;
    dev.ApplySettings(&kDefaultSettings);
    dev.Init();
    Check(source->Connect(&s.hub), "Connect answered false");
    int32_t gain = 40;
    int32_t enable = 1;
    bool connected = true;

    while (in.More()) {
        const uint32_t op = in.Byte();
        const uint32_t port = (op & 8u) ? kChip1Port : kChip0Port;
        s.beforeOp = SnapshotChips();
        s.inOp = true;
        s.hub.updates = 0;
        int expectedUpdates = 0;
        switch (op & 7u) {
        case 0:
            face->GetDescriptor()->outputTable[3](face, port, in.Byte());
            expectedUpdates = 1;
            break;
        case 1: {
            static constexpr int kEntries[] = {0, 3, 6, 3};
            const int entry = kEntries[(op >> 3) & 3u];
            const uint32_t anyPort = in.Word32();
            const uint32_t anyData = in.Word32();
            face->GetDescriptor()->outputTable[entry](face, anyPort, anyData);
            expectedUpdates = entry == 3 && (anyPort == kChip0Port || anyPort == kChip1Port) ? 1 : 0;
            if (entry != 0 && expectedUpdates == 0) {
                Check(SameChips(s.beforeOp), "a dropped write changed a chip");
            }
            break;
        }
        case 2:
            dev.WritePort(port, in.Byte());
            dev.WritePort(port, in.Byte());
            expectedUpdates = 2;
            break;
        case 3: {
            const uint32_t b = in.Byte();
            const int32_t rateHz = b < 0xC0 ? kRates[b % (sizeof kRates / sizeof kRates[0])]
                                            : static_cast<int32_t>(in.Word32());
            const int32_t oldRate = dev.rate;
            Check(source->SetRate(rateHz), "SetRate answered false");
            if (rateHz < kMinChipRateHz || rateHz > kMaxChipRateHz) {
                Check(dev.rate == oldRate && SameChips(s.beforeOp), "a rate out of range changed the device");
            } else {
                Check(dev.rate == rateHz, "SetRate did not take the rate");
                for (int chip = 0; chip < 2; ++chip) {
                    for (int i = 0; i < 4; ++i) {
                        Check(StandInChip(chip).amplitude[i] == 0, "a channel sounds after SetRate");
                    }
                }
            }
            break;
        }
        case 4: {
            const SoundSettings settings{static_cast<int32_t>(in.Word32()), static_cast<int32_t>(in.Word32())};
            dev.ApplySettings(&settings);
            gain = static_cast<int32_t>(static_cast<uint32_t>(settings.volume) + 40u);
            enable = settings.enable;
            expectedUpdates = 1;
            break;
        }
        case 5: {
            const uint32_t w = in.Word32();
            const int32_t count = (op & 0x10u) ? static_cast<int32_t>(w) : static_cast<int32_t>(w % (kMaxMixFrames + 1u));
            const bool arbitrary = (op & 0x20u) != 0;
            const bool toNull = (op & 8u) != 0;  // then any count, however long
            s.inOp = false;
            s.Mix(source, mixFrames, toNull || count <= kMaxMixFrames ? count : kMaxMixFrames, toNull, arbitrary,
                  arbitrary ? in.Byte() : 0u);
            break;
        }
        case 6:
            connected = (op & 8u) != 0;
            Check(source->Connect(connected ? &s.hub : nullptr), "Connect answered false");
            Check(s.hub.attached == (connected ? 1 : 0), "hub attachment not as asked");
            Check(s.hub.updates == 0, "Connect asked for an update");
            break;
        default:
            s.hub.framesPerUpdate = static_cast<int32_t>(in.Word16() % (kMaxUpdateFrames + 1u));
            break;
        }
        s.inOp = false;
        Check(s.hub.updates == (connected ? expectedUpdates : 0), "not one update per change");
        CheckState(dev, gain, enable);
    }
    source->Connect(nullptr);
    Check(s.hub.attached == 0, "hub still attached at the end");
    return 0;
}
