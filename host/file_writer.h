#pragma once
// The output files: a 16-bit stereo WAV or FLAC file (from the saturated
// frames, with the song's tags), the raw 32-bit frames, or both. Targets follow the rules of output_target.h:
// regular files appear only when complete, and with two of them both appear
// or neither, so a failed run never leaves a file that looks finished;
// standard output and devices are written as frames come.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/frame_sink.h"
#include "host/gd3_tags.h"
#include "host/output_target.h"
#include "host/result.h"

// Largest WAV data chunk: the RIFF size field is 32 bits.
constexpr uint64_t kMaxWavDataBytes = 0xFFFFFFFFull - 36;

// What the 16-bit output is: a WAV file, its tags in a LIST/INFO chunk after
// the samples (so the samples still start at byte 44), or a FLAC file, its
// tags as Vorbis comments.
enum class SoundFormat { Wav, Flac };

class FlacEncoder;

class FileWriter final : public FrameSink, public PcmSink {
public:
    FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    ~FileWriter();  // removes unfinished files

    // Opens both outputs; an empty path means no such output, "-" means
    // standardOutput (one of them at most). wavPath is the 16-bit output, of
    // format, carrying tags. Its header gives expectedFrames, so that a
    // stream that cannot seek back still gets a right header; a file is
    // corrected in Finish. A failure names the file.
    Result Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz, uint64_t expectedFrames,
                std::FILE* standardOutput, SoundFormat format = SoundFormat::Wav,
                const std::vector<SongTagField>& tags = {});
    bool WritesWav() const { return wav.handle != nullptr; }
    bool WritesRaw() const { return raw.handle != nullptr; }

    void Take(std::span<const StereoFrame> frames) override;  // the raw file
    void Take(std::span<const PcmFrame> frames) override;     // the WAV or FLAC file

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
    Result StartSoundFile(SoundFormat format, const std::vector<SongTagField>& tags);
    void CompleteSoundFile();
    void CompleteWavHeader();
    void Close(File* file, bool keep);
    void Abandon();

    File wav;
    File raw;
    int32_t rate = 0;
    uint64_t expected = 0;   // frames the WAV header was written with
    uint64_t wavFrames = 0;  // frames written to the WAV
    std::vector<uint8_t> infoChunk;      // the WAV's tags, written after its samples
    std::unique_ptr<FlacEncoder> flac;   // set when the 16-bit output is FLAC
    std::vector<uint8_t> bytes;  // frames in file order, where the machine's order is not
    std::string writeError;      // first failure, with its file name
};
