#include "host/file_writer.h"

#include <bit>
#include <cerrno>
#include <cstring>

#include "host/flac_encoder.h"
#include "host/little_endian.h"
#include "host/platform.h"

namespace {

constexpr size_t kWavHeaderBytes = 44;

// The 44-byte header of 16-bit stereo PCM with dataBytes of samples and
// trailerBytes of chunks after them.
void MakeWavHeader(uint8_t* h, int32_t rateHz, uint32_t dataBytes, uint32_t trailerBytes)
{
    const uint32_t rate = static_cast<uint32_t>(rateHz);
    std::memcpy(h, "RIFF", 4);
    PutLe32(h + 4, 36 + dataBytes + trailerBytes);
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

// A LIST chunk of type INFO with one NUL-terminated UTF-8 string per tag,
// each padded to an even length; nothing when there are no tags.
std::vector<uint8_t> MakeInfoChunk(const std::vector<SongTagField>& tags)
{
    if (tags.empty()) {
        return {};
    }
    std::vector<uint8_t> chunk = {'L', 'I', 'S', 'T', 0, 0, 0, 0, 'I', 'N', 'F', 'O'};
    for (const SongTagField& tag : tags) {
        const size_t at = chunk.size();
        const uint32_t size = static_cast<uint32_t>(tag.value.size() + 1);
        chunk.resize(at + 8);
        std::memcpy(&chunk[at], tag.infoId, 4);
        PutLe32(&chunk[at + 4], size);
        chunk.insert(chunk.end(), tag.value.begin(), tag.value.end());
        chunk.resize(chunk.size() + 1 + size % 2);
    }
    PutLe32(&chunk[4], static_cast<uint32_t>(chunk.size() - 8));
    return chunk;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

}  // namespace

FileWriter::FileWriter() = default;

FileWriter::~FileWriter()
{
    flac.reset();  // it finishes an unfinished stream into a file still open
    Abandon();
}

Result FileWriter::OpenOne(File* file, const std::string& path, std::FILE* standardOutput)
{
    file->path = path;
    const Result resolved = ResolveOutputTarget(path, &file->target);
    if (!resolved.Ok()) {
        return resolved.Within("cannot write " + path);
    }
    switch (file->target.kind) {
    case TargetKind::StandardOutput:
        SetBinaryMode(standardOutput);
        file->handle = standardOutput;
        return {};
    case TargetKind::InPlace:
        file->handle = std::fopen(file->target.finalPath.c_str(), "wb");
        break;
    case TargetKind::Replace:
        file->tempPath = file->target.finalPath + ".part";
        file->handle = std::fopen(file->tempPath.c_str(), "wb");
        break;
    }
    if (file->handle == nullptr) {
        file->tempPath.clear();
        return Result::Failure("cannot write " + path + ": " + std::strerror(errno));
    }
    file->owned = true;
    return {};
}

Result FileWriter::OpenBoth(const std::string& wavPath, const std::string& rawPath, std::FILE* standardOutput)
{
    if (wavPath == "-" && rawPath == "-") {
        return Result::Failure("-o - and --raw -: only one output can go to standard output");
    }
    if (!wavPath.empty()) {
        const Result opened = OpenOne(&wav, wavPath, standardOutput);
        if (!opened.Ok()) {
            return opened;
        }
    }
    if (!rawPath.empty()) {
        const Result opened = OpenOne(&raw, rawPath, standardOutput);
        if (!opened.Ok()) {
            return opened;
        }
    }
    if (!wav.tempPath.empty() && wav.tempPath == raw.tempPath) {
        std::fclose(raw.handle);  // the same temporary file, opened twice
        raw.handle = nullptr;
        raw.tempPath.clear();
        return Result::Failure("cannot write " + rawPath + ": -o and --raw name the same file");
    }
    return {};
}

Result FileWriter::Open(const std::string& wavPath, const std::string& rawPath, int32_t rateHz,
                        uint64_t expectedFrames, std::FILE* standardOutput, SoundFormat format,
                        const std::vector<SongTagField>& tags)
{
    rate = rateHz;
    expected = expectedFrames;
    Result opened = OpenBoth(wavPath, rawPath, standardOutput);
    if (opened.Ok() && WritesWav()) {
        opened = StartSoundFile(format, tags);
    }
    if (!opened.Ok()) {
        flac.reset();
        Abandon();
    }
    return opened;
}

Result FileWriter::StartSoundFile(SoundFormat format, const std::vector<SongTagField>& tags)
{
    if (format == SoundFormat::Flac) {
        flac = std::make_unique<FlacEncoder>();
        const bool seekable = !wav.tempPath.empty();  // a regular file, not a stream or device
        return flac->Open(wav.handle, seekable, rate, expected, tags).Within("cannot write " + wav.path);
    }
    infoChunk = MakeInfoChunk(tags);
    uint8_t header[kWavHeaderBytes];
    const uint64_t dataBytes = expected * 4;
    const bool fits = dataBytes + infoChunk.size() <= kMaxWavDataBytes;
    MakeWavHeader(header, rate, fits ? static_cast<uint32_t>(dataBytes) : 0,
                  fits ? static_cast<uint32_t>(infoChunk.size()) : 0);
    Write(&wav, header, sizeof header);
    return {};
}

void FileWriter::Write(File* file, const void* data, size_t size)
{
    if (file->handle == nullptr || !writeError.empty() || size == 0) {
        return;
    }
    if (std::fwrite(data, 1, size, file->handle) != size) {
        writeError = "cannot write " + file->path + ": " + std::strerror(errno);
    }
}

void FileWriter::Take(std::span<const StereoFrame> frames)
{
    if constexpr (kLittleEndian) {
        Write(&raw, frames.data(), frames.size_bytes());  // the frames are the file's bytes already
    } else {
        bytes.resize(frames.size_bytes());
        for (size_t i = 0; i < frames.size(); ++i) {
            PutLe32(&bytes[8 * i], static_cast<uint32_t>(frames[i].left));
            PutLe32(&bytes[8 * i + 4], static_cast<uint32_t>(frames[i].right));
        }
        Write(&raw, bytes.data(), bytes.size());
    }
}

void FileWriter::Take(std::span<const PcmFrame> frames)
{
    wavFrames += frames.size();
    if (flac != nullptr) {
        if (writeError.empty() && !flac->Encode(frames)) {
            writeError = "cannot write " + wav.path + ": " + flac->Error();
        }
        return;
    }
    if constexpr (kLittleEndian) {
        Write(&wav, frames.data(), frames.size_bytes());
    } else {
        bytes.resize(frames.size_bytes());
        for (size_t i = 0; i < frames.size(); ++i) {
            PutLe16(&bytes[4 * i], static_cast<uint16_t>(frames[i].left));
            PutLe16(&bytes[4 * i + 2], static_cast<uint16_t>(frames[i].right));
        }
        Write(&wav, bytes.data(), bytes.size());
    }
}

// The tags after a WAV's samples and its header corrected, or the FLAC
// stream ended.
void FileWriter::CompleteSoundFile()
{
    if (flac == nullptr) {
        Write(&wav, infoChunk.data(), infoChunk.size());
        CompleteWavHeader();
    } else if (wavFrames != expected && wav.tempPath.empty()) {
        writeError = "cannot write " + wav.path + ": the header promised " + std::to_string(expected) +
                     " frames, " + std::to_string(wavFrames) + " came";
    } else if (!flac->Finish()) {
        writeError = "cannot write " + wav.path + ": " + flac->Error();
    }
}

void FileWriter::CompleteWavHeader()
{
    const uint64_t dataBytes = wavFrames * 4;
    if (dataBytes + infoChunk.size() > kMaxWavDataBytes) {
        writeError = "cannot write " + wav.path + ": more than 4 GiB of samples for a WAV file";
    } else if (wavFrames != expected && wav.tempPath.empty()) {
        // Only a file can take a corrected header.
        writeError = "cannot write " + wav.path + ": the header promised " + std::to_string(expected) +
                     " frames, " + std::to_string(wavFrames) + " came";
    } else if (wavFrames != expected) {
        uint8_t header[kWavHeaderBytes];
        MakeWavHeader(header, rate, static_cast<uint32_t>(dataBytes), static_cast<uint32_t>(infoChunk.size()));
        if (std::fseek(wav.handle, 0, SEEK_SET) != 0) {
            writeError = "cannot write " + wav.path + ": " + std::strerror(errno);
        }
        Write(&wav, header, sizeof header);
    }
}

void FileWriter::Close(File* file, bool keep)
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

Result FileWriter::Finish()
{
    if (WritesWav() && writeError.empty()) {
        CompleteSoundFile();
    }
    flac.reset();  // before its file closes: an unfinished stream is dropped into it
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
        return Result::Failure(writeError);
    }
    return CommitMoves(moves);
}

void FileWriter::Abandon()
{
    flac.reset();
    Close(&wav, false);
    Close(&raw, false);
}
