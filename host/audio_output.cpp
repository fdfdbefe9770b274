#include "host/audio_output.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "host/platform.h"

namespace {

void PutLe16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// The 44-byte header of 16-bit stereo PCM with dataBytes of samples.
void MakeWavHeader(uint8_t* h, int32_t rateHz, uint32_t dataBytes)
{
    const uint32_t rate = static_cast<uint32_t>(rateHz);
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutLe32(h + 16, 16);        // fmt chunk size
    PutLe16(h + 20, 1);         // PCM
    PutLe16(h + 22, 2);         // channels
    PutLe32(h + 24, rate);
    PutLe32(h + 28, rate * 4);  // bytes per second
    PutLe16(h + 32, 4);         // bytes per frame
    PutLe16(h + 34, 16);        // bits per sample
    std::memcpy(h + 36, "data", 4);
    PutLe32(h + 40, dataBytes);
}

constexpr size_t kWavHeaderBytes = 44;

}  // namespace

int16_t SaturateSample(int32_t value)
{
    if (value > 32767) return 32767;
    if (value < -32768) return -32768;
    return static_cast<int16_t>(value);
}

AudioOutput::~AudioOutput()
{
    Abandon();
}

bool AudioOutput::OpenOne(File* file, const std::string& path, std::FILE* standardOutput, std::string* error)
{
    file->path = path;
    std::string why;
    if (!ResolveOutputTarget(path, &file->target, &why)) {
        *error = "cannot write " + path + ": " + why;
        return false;
    }
    switch (file->target.kind) {
    case TargetKind::StandardOutput:
        SetBinaryMode(standardOutput);
        file->handle = standardOutput;
        return true;
    case TargetKind::InPlace:
        file->handle = std::fopen(file->target.finalPath.c_str(), "wb");
        break;
    case TargetKind::Replace:
        file->tempPath = file->target.finalPath + ".part";
        file->handle = std::fopen(file->tempPath.c_str(), "wb");
        break;
    }
    if (file->handle == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        file->tempPath.clear();
        return false;
    }
    file->owned = true;
    return true;
}

bool AudioOutput::Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz,
                       uint64_t expectedFrames, std::FILE* standardOutput, std::string* error)
{
    rate = rateHz;
    expected = expectedFrames;
    if (wavPath == "-" && rawPath == "-") {
        *error = "-o - and --raw -: only one output can go to standard output";
        return false;
    }
    if (!wavPath.empty()) {
        if (!OpenOne(&wav, wavPath, standardOutput, error)) {
            return false;
        }
        uint8_t header[kWavHeaderBytes];
        const uint64_t bytes = expectedFrames * 4;
        MakeWavHeader(header, rateHz, bytes <= kMaxWavDataBytes ? static_cast<uint32_t>(bytes) : 0);
        WriteTo(&wav, header, sizeof header);
    }
    if (!rawPath.empty() && !OpenOne(&raw, rawPath, standardOutput, error)) {
        Abandon();
        return false;
    }
    if (!wav.tempPath.empty() && wav.tempPath == raw.tempPath) {
        std::fclose(raw.handle);  // the same temporary file, opened twice
        raw.handle = nullptr;
        raw.tempPath.clear();
        Abandon();
        *error = "cannot write " + rawPath + ": -o and --raw name the same file";
        return false;
    }
    return true;
}

void AudioOutput::WriteTo(File* file, const void* bytes, size_t size)
{
    if (file->handle == nullptr || !writeError.empty()) {
        return;
    }
    if (std::fwrite(bytes, 1, size, file->handle) != size) {
        writeError = "cannot write " + file->path + ": " + std::strerror(errno);
    }
}

void AudioOutput::Take(const StereoFrame* frames, size_t count)
{
    std::vector<uint8_t> wavBytes(wav.handle != nullptr ? count * 4 : 0);
    std::vector<uint8_t> rawBytes(raw.handle != nullptr ? count * 8 : 0);
    for (size_t i = 0; i < count; ++i) {
        const int32_t sample[2] = {frames[i].left, frames[i].right};
        for (int c = 0; c < 2; ++c) {
            const int32_t v = sample[c];
            const int64_t magnitude = v < 0 ? -int64_t{v} : int64_t{v};
            if (magnitude > stats.peak) {
                stats.peak = magnitude;
            }
            if (v > 32767 || v < -32768) {
                ++stats.clipped;
            }
            if (!wavBytes.empty()) {
                PutLe16(&wavBytes[i * 4 + 2 * static_cast<size_t>(c)],
                        static_cast<uint16_t>(SaturateSample(v)));
            }
            if (!rawBytes.empty()) {
                PutLe32(&rawBytes[i * 8 + 4 * static_cast<size_t>(c)], static_cast<uint32_t>(v));
            }
        }
    }
    stats.frames += count;
    WriteTo(&wav, wavBytes.data(), wavBytes.size());
    WriteTo(&raw, rawBytes.data(), rawBytes.size());
    if (onProgress) {
        onProgress(stats.frames);
    }
}

void AudioOutput::Close(File* file, bool keep)
{
    if (file->handle == nullptr) {
        return;
    }
    const int result = file->owned ? std::fclose(file->handle) : std::fflush(file->handle);
    if (result != 0 && keep && writeError.empty()) {
        writeError = "cannot write " + file->path + ": " + std::strerror(errno);
    }
    file->handle = nullptr;
    if (!keep && !file->tempPath.empty()) {
        std::remove(file->tempPath.c_str());
        file->tempPath.clear();
    }
}

bool AudioOutput::Finish(std::string* error)
{
    if (wav.handle != nullptr && writeError.empty()) {
        const uint64_t dataBytes = stats.frames * 4;
        if (dataBytes > kMaxWavDataBytes) {
            writeError = "cannot write " + wav.path + ": more than 4 GiB of samples for a WAV file";
        } else if (stats.frames != expected) {
            // Only a file can take a corrected header.
            if (wav.tempPath.empty()) {
                writeError = "cannot write " + wav.path + ": the header promised " + std::to_string(expected) +
                             " frames, " + std::to_string(stats.frames) + " came";
            } else {
                uint8_t header[kWavHeaderBytes];
                MakeWavHeader(header, rate, static_cast<uint32_t>(dataBytes));
                if (std::fseek(wav.handle, 0, SEEK_SET) != 0) {
                    writeError = "cannot write " + wav.path + ": " + std::strerror(errno);
                }
                WriteTo(&wav, header, sizeof header);
            }
        }
    }
    Close(&wav, true);
    Close(&raw, true);
    std::vector<PendingMove> moves;
    for (File* file : {&wav, &raw}) {
        if (!file->tempPath.empty()) {
            moves.push_back({file->tempPath, file->target.finalPath, file->path});
            file->tempPath.clear();
        }
    }
    if (!writeError.empty()) {
        for (const PendingMove& m : moves) {
            std::remove(m.tempPath.c_str());
        }
        *error = writeError;
        return false;
    }
    return CommitMoves(moves, error);
}

void AudioOutput::Abandon()
{
    Close(&wav, false);
    Close(&raw, false);
}
