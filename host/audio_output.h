#pragma once
// Where rendered frames end up: a 16-bit stereo WAV (saturated), the raw
// 32-bit frames, or both, and the figures of the summary. Files are written
// under a temporary name and moved into place only when complete, so a failed
// run never leaves a file that looks finished.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "host/sound_hub.h"

// Largest WAV data chunk: the RIFF size field is 32 bits.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

struct RenderStats {
    uint64_t frames = 0;
    int64_t peak = 0;      // largest |sample| of the 32-bit frames, left and right
    uint64_t clipped = 0;  // samples beyond the 16-bit range, saturated in the WAV
};

// Saturates a mixed sample to 16 bits.
int16_t SaturateSample(int32_t value);

class AudioOutput final : public FrameSink {
public:
    AudioOutput() = default;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;
    ~AudioOutput();  // removes unfinished files

    // Creates the temporary files; an empty path means no such output.
    // On failure error names the file.
    bool Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz, std::string* error);
    void Take(const StereoFrame* frames, size_t count) override;
    // Completes the WAV header and moves the files into place; on a write
    // error earlier or now, removes them and says which file failed.
    bool Finish(std::string* error);
    // Removes the temporary files.
    void Abandon();

    const RenderStats& Stats() const { return stats; }

    std::function<void(uint64_t frames)> onProgress;  // after each batch taken

private:
    struct File {
        std::string path;      // final name
        std::string tempPath;  // name while being written
        std::FILE* handle = nullptr;
    };
    bool OpenOne(File* file, const std::string& path, std::string* error);
    void WriteTo(File* file, const void* bytes, size_t size);
    void Close(File* file, bool keep);

    File wav;
    File raw;
    int32_t rate = 0;
    RenderStats stats;
    std::string writeError;  // first failure, with its file name
};
