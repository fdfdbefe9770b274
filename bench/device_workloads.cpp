#include "bench/device_workloads.h"

#include "contract/port_protocol.h"
#include "host/player.h"
#include "psg/psg_chip.h"

namespace {

constexpr int32_t kCallFrames = 735;       // one 60 Hz video frame at 44100 Hz
constexpr int32_t kTenSecondsCalls = 600;  // of kCallFrames

// The host's mixing block: renders land at the block's running position.
constexpr uint32_t kBlockFrames = 1024;
StereoFrame block[kBlockFrames + kMaxRenderFrames];
uint64_t position = 0;

StereoFrame* NextFrames(int32_t count)
{
    StereoFrame* frames = block + position % kBlockFrames;
    position += static_cast<uint64_t>(count);
    return frames;
}

void WriteAll(BenchDevice& bench, const std::vector<uint8_t>& bytes)
{
    for (const uint8_t b : bytes) {
        bench.WriteChip(0, b);
    }
}

// The host's calls again, as its bus and hub made them: port writes to the
// handlers the bus called.
DeviceRun ReplayOnDevice(BenchDevice& bench, const std::vector<Song>& songs)
{
    DeviceRun run;
    Quarix& dev = bench.device();
    const PortHandler* handlers = dev.GetDescriptor()->outputTable;
    for (const Song& song : songs) {
        for (const HostCall& c : song.hostCalls) {
            switch (c.kind) {
            case HostCall::Kind::Rate:
                dev.SetRate(c.value);
                break;
            case HostCall::Kind::Port:
                handlers[c.handler](&dev, c.port, static_cast<uint32_t>(c.value));
                break;
            case HostCall::Kind::Mix:
                dev.Mix(NextFrames(c.value), c.value);
                break;
            }
        }
        run.chipFrames += static_cast<double>(song.frames) * song.chips;
        run.mixCalls += static_cast<double>(song.mixCalls);
    }
    return run;
}

DeviceRun MixCalls(BenchDevice& bench, int32_t calls, int32_t frames)
{
    for (int32_t i = 0; i < calls; ++i) {
        const int32_t count = frames != 0 ? frames : 5 + (i & 1);
        bench.device().Mix(NextFrames(count), count);
    }
    DeviceRun run;
    run.mixCalls = calls;
    run.chipFrames = frames != 0 ? double{1} * calls * frames : calls * 5.5;
    return run;
}

}  // namespace

BenchDevice::BenchDevice() : dev_(kDeviceIdQrxs)
{
    const SoundSettings settings{0, 1};
    dev_.ApplySettings(&settings);
    dev_.Init();
}

void BenchDevice::WriteChip(int chip, uint8_t value)
{
    dev_.WritePort(chip == 0 ? kChip0Port : kChip1Port, PortByteFor(value));
}

// Tone 0 at register 0 (acting as 1), tones 1 and 2 at register 1, all loud.
const std::vector<uint8_t> kSpeechTones = {0x80, 0x00, 0xA1, 0x00, 0xC1, 0x00, 0x90, 0xB0, 0xD0};
const std::vector<uint8_t> kSlowSpeechTones = {0x8E, 0x0F, 0xA6, 0x0B, 0xCF, 0x07, 0x90, 0xB0, 0xD0};
const std::vector<uint8_t> kSpeechNoise = {0xE4, 0xF0};

// 4-bit samples from a fixed stream, one attenuation write per sample, the
// three tones in turn; x carries the stream from one call to the next.
uint8_t SpeechByte(int32_t call, uint32_t& x)
{
    x = x * 1664525u + 1013904223u;
    return static_cast<uint8_t>(0x90u | (static_cast<uint32_t>(call % 3) << 5) | (x >> 28));
}

void SetUpSpeech(BenchDevice& bench, SpeechVoice voice)
{
    bench.device().Reset(kResetPort, 0);
    WriteAll(bench, voice == SpeechVoice::kSlowTones ? kSlowSpeechTones : kSpeechTones);
    if (voice == SpeechVoice::kWithNoise) {
        WriteAll(bench, kSpeechNoise);
    }
    if (voice == SpeechVoice::kBothChips) {
        for (const uint8_t b : kSpeechTones) {
            bench.WriteChip(1, b);
        }
    }
}

void RunSpeech(BenchDevice& bench, int32_t calls, int32_t frames, SpeechVoice voice)
{
    const int32_t chips = voice == SpeechVoice::kBothChips ? 2 : 1;
    uint32_t x = 0x12345678u;
    for (int32_t i = 0; i < calls; ++i) {
        bench.WriteChip(i % chips, SpeechByte(i / chips, x));
        const int32_t count = frames != 0 ? frames : 5 + (i & 1);
        bench.device().Mix(NextFrames(count), count);
    }
}

void RunSpeechOnRecord(PsgRenderer renderer, int32_t calls, int32_t frames)
{
    PsgBenchSetUp(PsgBenchCase::kSilent);
    for (const uint8_t b : kSpeechTones) {
        PsgWrite(BenchChip(0), b);
    }
    uint32_t x = 0x12345678u;
    for (int32_t i = 0; i < calls; ++i) {
        PsgWrite(BenchChip(0), SpeechByte(i, x));
        const int32_t count = frames != 0 ? frames : 5 + (i & 1);
        PsgRenderWith(renderer, 0, NextFrames(count), count);
    }
}

DeviceRun RunDeviceWorkload(BenchDevice& bench, DeviceWorkload which, const std::vector<Song>& songs,
                            SpeechVoice voice)
{
    switch (which) {
    case DeviceWorkload::kMusic:
        return ReplayOnDevice(bench, songs);
    case DeviceWorkload::kSpeech:
    case DeviceWorkload::kSpeechLong:
    case DeviceWorkload::kSpeech11: {
        const int32_t frames = which == DeviceWorkload::kSpeech ? 0 : which == DeviceWorkload::kSpeech11 ? 11 : kCallFrames;
        const int32_t calls = frames == 0 ? kSpeechCalls : frames == 11 ? kSpeechCalls / 2 : kTenSecondsCalls;
        SetUpSpeech(bench, voice);
        RunSpeech(bench, calls, frames, voice);
        DeviceRun run;
        run.mixCalls = calls;
        run.chipFrames = (frames == 0 ? calls * 5.5 : double{1} * calls * frames) *
                         (voice == SpeechVoice::kBothChips ? 2 : 1);
        return run;
    }
    case DeviceWorkload::kWorstCase:
        bench.device().Reset(kResetPort, 0);
        WriteAll(bench, PsgBenchBytes(PsgBenchCase::kWorstCase));
        return MixCalls(bench, kTenSecondsCalls, kCallFrames);
    case DeviceWorkload::kSilent:
        bench.device().Reset(kResetPort, 0);
        return MixCalls(bench, kTenSecondsCalls, kCallFrames);
    case DeviceWorkload::kSilentShort:
        bench.device().Reset(kResetPort, 0);
        return MixCalls(bench, kSpeechCalls, 0);
    }
    return {};
}
