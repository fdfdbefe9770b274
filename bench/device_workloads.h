#pragma once
// Workloads driven through the real device (Quarix, both chips behind it),
// so that what is counted is the device's Mix as a host calls it: both chips
// rendered on every call, the silent one included.

#include <cstdint>
#include <vector>

#include "bench/music_replay.h"
#include "device/device.h"

// The workloads of the device runs.
enum class DeviceWorkload {
    kMusic,       // the corpus, with the host's writes and mix sizes
    kSpeech,      // tones at period 0/1 on chip 0, a volume write, then a Mix of 5 or 6 frames
    kSpeechLong,  // the same tones and writes, Mix calls of 735 frames
    kSpeech11,    // the same with Mix calls of 11 frames: beside kSpeech, the cost of a call
                  // apart from its frames (twice kSpeech's per call, less this one's)
    kWorstCase,   // chip 0's worst case (see PsgBenchCase), Mix calls of 735 frames
    kSilent,      // both chips as reset left them, Mix calls of 735 frames
    kSilentShort, // both chips as reset left them, Mix calls of 5 or 6 frames
};

// A device as the module leaves it after start-up: volume offset 0,
// enabled, both chips reset at 44100 Hz, no hub.
class BenchDevice {
public:
    BenchDevice();
    Quarix& device() { return dev_; }

    // Writes chip bytes (in the chip's bit order) through the device's port.
    void WriteChip(int chip, uint8_t value);

private:
    Quarix dev_;
};

// What a run rendered: chip-frames of the chips that sound (chip 1 only
// where the workload writes it) and Mix calls.
struct DeviceRun {
    double chipFrames = 0;
    double mixCalls = 0;
};

// Runs the workload's writes and Mix calls once on the device; kMusic plays
// every song of songs.
DeviceRun RunDeviceWorkload(BenchDevice& bench, DeviceWorkload which, const std::vector<Song>& songs);

constexpr int32_t kSpeechCalls = 80182;  // 10 s at 5.5 frames a call

// The speech shape: chip 0 reset, then tones at period registers 0 and 1.
void SetUpSpeech(BenchDevice& bench);
// calls Mix calls, each after one attenuation write, the tones in turn.
// frames: the size of every call, or 0 for 5 and 6 in turn (an 8 kHz sample
// stream at 44100 Hz).
void RunSpeech(BenchDevice& bench, int32_t calls, int32_t frames);
// The same stream in calls of 5 and 6 frames on chip 0's bench record alone,
// without the device and its silent chip 1.
void RunSpeechOnRecord(PsgRenderer renderer, int32_t calls);
