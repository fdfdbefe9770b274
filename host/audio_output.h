#pragma once
// Where rendered frames end up: a 16-bit stereo WAV (saturated), the raw
// 32-bit frames, or both, and the figures of the summary. Targets follow the
// rules of output_target.h: regular files appear only when complete, and with
// two of them both appear or neither, so a failed run never leaves a file that
// looks finished; standard output and devices are written as frames come.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "host/output_target.h"
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

    // Opens both outputs; an empty path means no such output, "-" means
    // standardOutput (at most one of them). The WAV header gives
    // expectedFrames, so that a stream that cannot seek back still gets a
    // right header; a file is corrected in Finish. On failure error names the file.
    bool Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz, uint64_t expectedFrames,
              std::FILE* standardOutput, std::string* error);
    void Take(const StereoFrame* frames, size_t count) override;
    // Completes the WAV header and moves the files into place, both or
    // neither; on a write error earlier or now, removes the temporary files
    // and says which output failed.
    bool Finish(std::string* error);
    // Removes the temporary files; streams keep what they were given.
    void Abandon();

    const RenderStats& Stats() const { return stats; }

    std::function<void(uint64_t frames)> onProgress;  // after each batch taken

private:
    struct File {
        OutputTarget target;
        std::string path;      // as given
        std::string tempPath;  // name while being written; empty for streams and devices
        std::FILE* handle = nullptr;
        bool owned = false;    // false: standard output, flushed but not closed
    };
    bool OpenOne(File* file, const std::string& path, std::FILE* standardOutput, std::string* error);
    void WriteTo(File* file, const void* bytes, size_t size);
    void Close(File* file, bool keep);

    File wav;
    File raw;
    int32_t rate = 0;
    uint64_t expected = 0;  // frames the WAV header was written with
    RenderStats stats;
    std::string writeError;  // first failure, with its file name
};
