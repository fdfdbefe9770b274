#include "bench/music_replay.h"

#include <algorithm>
#include <filesystem>

#include "contract/port_protocol.h"
#include "device/device.h"
#include "host/input_file.h"
#include "host/play_plan.h"
#include "host/player.h"
#include "host/port_bus.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"
#include "psg/psg_chip.h"

namespace {

constexpr int32_t kGain = 40;  // volume offset 0, as a fresh settings file gives

// Stands where the device stands on the host's bus and hub, and notes what
// the device would do with the chips: Update before every write, both chips
// reset on a rate change or the reset port, Mix in pieces the counters allow.
class RecordingDevice final : public Device, public ISoundSource {
public:
    explicit RecordingDevice(std::vector<ReplayStep>* out) : Device(kDeviceIdQrxs), steps(out) {}

    const DeviceDescriptor* J27_CALL GetDescriptor() override { return &kDescriptor; }

    bool J27_CALL Connect(ISoundHub* hub) override
    {
        soundHub = hub;
        return hub->Attach(this);
    }
    bool J27_CALL SetRate(int32_t rateHz) override
    {
        steps->push_back({ReplayStep::Kind::Reset, 0, 0, rateHz});
        return true;
    }
    void J27_CALL Mix(StereoFrame*, int32_t count) override
    {
        while (count > 0) {
            const int32_t piece = std::min(count, kMaxRenderFrames);
            steps->push_back({ReplayStep::Kind::Mix, 0, 0, piece});
            count -= piece;
        }
    }

private:
    static void J27_CALL ResetPort(IDevice* self, uint32_t, uint32_t)
    {
        auto* d = static_cast<RecordingDevice*>(self);
        d->steps->push_back({ReplayStep::Kind::Reset, 0, 0, 0});
    }
    static void J27_CALL WritePort(IDevice* self, uint32_t port, uint32_t data)
    {
        auto* d = static_cast<RecordingDevice*>(self);
        d->soundHub->Update(d);
        d->steps->push_back({ReplayStep::Kind::Write, static_cast<uint8_t>(port & 1u),
                             BitReverse(static_cast<uint8_t>(data)), 0});
    }
    static void J27_CALL Ignore(IDevice*, uint32_t, uint32_t) {}

    static constexpr PortHandler kOutputTable[kOutputHandlerCount] = {
        ResetPort, nullptr, nullptr, WritePort, nullptr, nullptr, Ignore, nullptr, nullptr,
    };
    static constexpr DeviceDescriptor kDescriptor = {nullptr, kOutputTable};

    std::vector<ReplayStep>* steps;  // not owned
    ISoundHub* soundHub = nullptr;   // not owned
};

Result LoadSong(const std::filesystem::path& path, Song* song)
{
    std::vector<uint8_t> bytes;
    InputKind kind = InputKind::PortScript;
    VgmSong vgm;
    PlayPlan plan;
    const PlayOptions options;  // 44100 Hz, pitch fix, looped part once
    Result loaded = ReadFileBytes(path.string(), kMaxInputBytes, &bytes);
    if (loaded.Ok()) {
        loaded = PrepareInput(&bytes, kMaxInputBytes, &kind);
    }
    if (loaded.Ok() && kind != InputKind::Vgm) {
        loaded = Result::Failure("not a VGM");
    }
    if (loaded.Ok()) {
        loaded = ParseVgm(bytes.data(), bytes.size(), &vgm);
    }
    if (loaded.Ok()) {
        loaded = PlanVgm(vgm, options, &plan);
    }
    if (!loaded.Ok()) {
        return loaded;
    }
    song->name = path.filename().string();
    RecordingDevice device(&song->steps);
    PortBus bus;
    SoundHub hub(nullptr);
    if (!bus.Connect(&device, Quarix::kConnectors)) {
        return Result::Failure(bus.Refusal());
    }
    device.Connect(&hub);
    PlayVgm(vgm, plan, bus, hub, nullptr);
    bus.Disconnect(&device);
    for (const ReplayStep& s : song->steps) {
        if (s.kind == ReplayStep::Kind::Write && s.chip == 1) {
            song->chips = 2;
        }
        if (s.kind == ReplayStep::Kind::Mix) {
            song->frames += static_cast<uint64_t>(s.amount);
            ++song->mixCalls;
        }
    }
    return {};
}

// The host's mixing block: renders land at the block's running position.
constexpr uint32_t kBlockFrames = 1024;
StereoFrame block[kBlockFrames + kMaxRenderFrames];

}  // namespace

std::vector<Song> LoadCorpus(const std::string& dir, std::vector<std::string>* errors)
{
    std::vector<Song> songs;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        return songs;
    }
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".vgm" || ext == ".vgz")) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        Song song;
        const Result loaded = LoadSong(path, &song);
        if (loaded.Ok()) {
            songs.push_back(std::move(song));
        } else if (errors != nullptr) {
            errors->push_back(path.filename().string() + ": " + loaded.Message());
        }
    }
    return songs;
}

void ReplaySong(const Song& song, PsgRenderer renderer)
{
    int32_t rateHz = kDefaultRateHz;
    uint64_t position = 0;
    for (const ReplayStep& s : song.steps) {
        switch (s.kind) {
        case ReplayStep::Kind::Reset:
            if (s.amount != 0) {
                rateHz = s.amount;
            }
            for (int chip = 0; chip < 2; ++chip) {
                PsgReset(BenchChip(chip), kChipClockHz, rateHz);
                PsgBuildLevels(BenchChip(chip), kGain);
            }
            break;
        case ReplayStep::Kind::Write:
            PsgWrite(BenchChip(s.chip), s.value);
            break;
        case ReplayStep::Kind::Mix: {
            StereoFrame* frames = block + position % kBlockFrames;
            for (int chip = 0; chip < song.chips; ++chip) {
                PsgRenderWith(renderer, chip, frames, s.amount);
            }
            position += static_cast<uint64_t>(s.amount);
            break;
        }
        }
    }
}
