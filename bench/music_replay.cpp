#include "bench/music_replay.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "bench/device_workloads.h"
#include "host/input_file.h"
#include "host/play_plan.h"
#include "host/player.h"
#include "host/port_bus.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"
#include "tests/support/call_log.h"
#include "tests/support/psg_stand_in.h"

namespace {

// Stands between the host and the real device, and notes what the host asks
// of it: port writes from the bus, passed on to the device's own handlers;
// the rate and Mix calls from the hub. The device's Update calls come here
// and go to the hub as the tap's, so the hub renders before every write as
// it would for the device itself.
class HostTap final : public Device, public ISoundSource, public ISoundHub {
public:
    HostTap(Quarix& target, SoundHub& soundHub, std::vector<HostCall>* out)
        : Device(target.id), device(target), hub(soundHub), calls(out)
    {
    }

    const DeviceDescriptor* J27_CALL GetDescriptor() override { return &kDescriptor; }

    // ISoundSource, as the hub sees the device.
    bool J27_CALL Connect(ISoundHub*) override { return true; }
    bool J27_CALL SetRate(int32_t rateHz) override
    {
        calls->push_back({HostCall::Kind::Rate, 0, 0, rateHz});
        return device.SetRate(rateHz);
    }
    void J27_CALL Mix(StereoFrame* frames, int32_t count) override
    {
        calls->push_back({HostCall::Kind::Mix, 0, 0, count});
        device.Mix(frames, count);
    }

    // ISoundHub, as the device sees the host's hub.
    bool J27_CALL Attach(ISoundSource*) override { return true; }
    bool J27_CALL Detach(ISoundSource*) override { return true; }
    bool J27_CALL Update(ISoundSource*) override { return hub.Update(this); }

private:
    template <size_t slot>
    static void J27_CALL Pass(IDevice* self, uint32_t port, uint32_t data)
    {
        // Noted once handled, after the Mix the device's Update asked for:
        // a replay without a hub then renders before the write as it did.
        auto* tap = static_cast<HostTap*>(self);
        tap->device.GetDescriptor()->outputTable[slot](&tap->device, port, data);
        tap->calls->push_back({HostCall::Kind::Port, static_cast<uint8_t>(slot), port, static_cast<int32_t>(data)});
    }
    template <size_t... slot>
    static constexpr std::array<PortHandler, kOutputHandlerCount> Table(std::index_sequence<slot...>)
    {
        return {Pass<slot>...};
    }

    static const std::array<PortHandler, kOutputHandlerCount> kTable;
    static const DeviceDescriptor kDescriptor;

    Quarix& device;
    SoundHub& hub;
    std::vector<HostCall>* calls;  // not owned
};

const std::array<PortHandler, kOutputHandlerCount> HostTap::kTable =
    Table(std::make_index_sequence<kOutputHandlerCount>());
const DeviceDescriptor HostTap::kDescriptor = {nullptr, kTable.data()};

// The stand-in's log lines as chip calls; false on a call the replay does
// not know.
bool ReadChipCalls(const std::vector<std::string>& lines, Song* song)
{
    for (const std::string& line : lines) {
        const char* text = line.c_str();
        int chip = 0;
        int a = 0;
        int b = 0;
        unsigned byte = 0;
        long long offset = 0;
        if (std::sscanf(text, "Psg.Reset %d %d %d", &chip, &a, &b) == 3) {
            song->chipCalls.push_back({ChipCall::Kind::Reset, static_cast<uint8_t>(chip), a, b});
        } else if (std::sscanf(text, "Psg.Levels %d %d", &chip, &a) == 2) {
            song->chipCalls.push_back({ChipCall::Kind::Levels, static_cast<uint8_t>(chip), a, 0});
        } else if (std::sscanf(text, "Psg.Write %d 0x%X", &chip, &byte) == 2) {
            song->chipCalls.push_back({ChipCall::Kind::Write, static_cast<uint8_t>(chip), static_cast<int32_t>(byte), 0});
            song->chips = std::max(song->chips, chip + 1);
        } else if (std::sscanf(text, "Psg.RenderBoth @%lld %d", &offset, &a) == 2) {
            for (int32_t left = a; left > 0; left -= kMaxRenderFrames) {
                const int32_t piece = std::min(left, kMaxRenderFrames);
                song->chipCalls.push_back({ChipCall::Kind::Render, 0, piece, 0});
                song->frames += static_cast<uint64_t>(piece);
                ++song->mixCalls;
            }
        } else {
            return false;
        }
    }
    return true;
}

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
    BenchDevice bench;
    PortBus bus;
    SoundHub hub(nullptr);
    HostTap tap(bench.device(), hub, &song->hostCalls);
    if (!bus.Connect(&tap, Quarix::kConnectors)) {
        return Result::Failure(bus.Refusal());
    }
    hub.Attach(&tap);
    bench.device().Connect(&tap);
    CallLog chipLog;
    LogPsgCalls(&chipLog);
    PlayVgm(vgm, plan, bus, hub, nullptr);
    LogPsgCalls(nullptr);
    bench.device().Connect(nullptr);
    bus.Disconnect(&tap);
    if (!ReadChipCalls(chipLog.calls, song)) {
        return Result::Failure("the device made a chip call the replay does not know");
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
    uint64_t position = 0;
    for (const ChipCall& c : song.chipCalls) {
        switch (c.kind) {
        case ChipCall::Kind::Reset:
            PsgReset(BenchChip(c.chip), c.amount, c.rateHz);
            break;
        case ChipCall::Kind::Levels:
            PsgBuildLevels(BenchChip(c.chip), c.amount);
            break;
        case ChipCall::Kind::Write:
            PsgWrite(BenchChip(c.chip), static_cast<uint32_t>(c.amount));
            break;
        case ChipCall::Kind::Render: {
            StereoFrame* frames = block + position % kBlockFrames;
            for (int chip = 0; chip < song.chips; ++chip) {
                PsgRenderWith(renderer, chip, frames, c.amount);
            }
            position += static_cast<uint64_t>(c.amount);
            break;
        }
        }
    }
}
