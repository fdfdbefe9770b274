#pragma once
// The output files: a 16-bit stereo WAV (from the saturated frames), the raw
// 32-bit frames, or both. Targets follow the rules of output_target.h:
// regular files appear only when complete, and with two of them both appear
// or neither, so a failed run never leaves a file that looks finished;
// standard output and devices are written as frames come.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/frame_sink.h"
#include "host/output_target.h"
#include "host/result.h"

// Largest WAV data chunk: the RIFF size field is 32 bits.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

class FileWriter final : public FrameSink, public PcmSink {
public:
    FileWriter() = default;
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    ~FileWriter();  // removes unfinished files

    // Opens both outputs; an empty path means no such output, "-" means
    // standardOutput (one of them at most). The WAV header gives
    // expectedFrames, so that a stream that cannot seek back still gets a
    // right header; a file is corrected in Finish. A failure names the file.
    Result Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz, uint64_t expectedFrames,
                std::FILE* standardOutput);
    bool WritesWav() const { return wav.handle != nullptr; }
    bool WritesRaw() const { return raw.handle != nullptr; }

    void Take(std::span<const StereoFrame> frames) override;  // the raw file
    void Take(std::span<const PcmFrame> frames) override;     // the WAV file

    // Completes the WAV header and moves the files into place, both or
    // neither; after a write error, earlier or now, removes the temporary
    // files and says which output failed.
    Result Finish();

private:
    struct File {
        OutputTarget target;
        std::string path;      // as given
        std::string tempPath;  // name while being written; empty for streams and devices
        std::FILE* handle = nullptr;
        bool owned = false;    // false: standard output, flushed but not closed
    };
    Result OpenOne(File* file, const std::string& path, std::FILE* standardOutput);
    Result OpenBoth(const std::string& wavPath, const std::string& rawPath, std::FILE* standardOutput);
    void Write(File* file, const void* bytes, size_t size);
    void CompleteWavHeader();
    void Close(File* file, bool keep);
    void Abandon();

    File wav;
    File raw;
    int32_t rate = 0;
    uint64_t expected = 0;   // frames the WAV header was written with
    uint64_t wavFrames = 0;  // frames written to the WAV
    std::vector<uint8_t> bytes;  // frames in file order, where the machine's order is not
    std::string writeError;      // first failure, with its file name
};
