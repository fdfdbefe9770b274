#include "host/flac_encoder.h"

#include <cerrno>
#include <cstring>

namespace {

// 64-bit file positions: a Win32 long has 32 bits.
int64_t TellFile(std::FILE* file)
{
#if defined(_WIN32)
    return _ftelli64(file);
#else
    return ftello(file);
#endif
}

int SeekFile(std::FILE* file, uint64_t offset)
{
#if defined(_WIN32)
    return _fseeki64(file, static_cast<int64_t>(offset), SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

}  // namespace

// libFLAC's callbacks, on the encoder's file.
struct FlacCallbacks {
    static FLAC__StreamEncoderWriteStatus Write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                                uint32_t, uint32_t, void* client)
    {
        auto* self = static_cast<FlacEncoder*>(client);
        if (!self->error.empty()) {
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;  // nothing more after a failure
        }
        if (std::fwrite(buffer, 1, bytes, self->out) != bytes) {
            self->Fail(std::strerror(errno));
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    static FLAC__StreamEncoderSeekStatus Seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client)
    {
        auto* self = static_cast<FlacEncoder*>(client);
        if (!self->canSeek || !self->error.empty()) {
            return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
        }
        if (SeekFile(self->out, offset) != 0) {
            self->Fail(std::strerror(errno));
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        }
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus Tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client)
    {
        auto* self = static_cast<FlacEncoder*>(client);
        if (!self->canSeek || !self->error.empty()) {
            return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
        }
        const int64_t at = TellFile(self->out);
        if (at < 0) {
            return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
        }
        *offset = static_cast<FLAC__uint64>(at);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }
};

FlacEncoder::~FlacEncoder()
{
    if (encoder != nullptr) {
        // An unfinished stream is finished here, so the file must still be
        // open; after a failure nothing more reaches it.
        Fail("abandoned");
        FLAC__stream_encoder_delete(encoder);
    }
    if (comments != nullptr) {
        FLAC__metadata_object_delete(comments);
    }
}

void FlacEncoder::Fail(const std::string& why)
{
    if (error.empty()) {
        error = why;
    }
}

Result FlacEncoder::Open(std::FILE* file, bool seekable, int32_t rateHz, uint64_t expectedFrames,
                         const std::vector<SongTagField>& tags)
{
    out = file;
    canSeek = seekable;
    encoder = FLAC__stream_encoder_new();
    comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (encoder == nullptr || comments == nullptr) {
        return Result::Failure("libFLAC: out of memory");
    }
    for (const SongTagField& tag : tags) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, tag.vorbisName,
                                                                             tag.value.c_str()) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(comments, entry, false)) {
            return Result::Failure(std::string("libFLAC: cannot hold the tag ") + tag.vorbisName);
        }
    }
    FLAC__StreamMetadata* blocks[] = {comments};
    // Level 5, the flac tool's default. The stream stays within the subset
    // that every decoder plays where its rate allows (a frame header can
    // name the rate: up to 65535 Hz, or in whole kHz or tens of Hz above).
    const bool set = FLAC__stream_encoder_set_channels(encoder, 2) &&
                     FLAC__stream_encoder_set_bits_per_sample(encoder, 16) &&
                     FLAC__stream_encoder_set_sample_rate(encoder, static_cast<uint32_t>(rateHz)) &&
                     FLAC__stream_encoder_set_compression_level(encoder, 5) &&
                     FLAC__stream_encoder_set_streamable_subset(
                         encoder, FLAC__format_sample_rate_is_subset(static_cast<uint32_t>(rateHz))) &&
                     FLAC__stream_encoder_set_total_samples_estimate(encoder, expectedFrames) &&
                     FLAC__stream_encoder_set_metadata(encoder, blocks, 1);
    if (!set) {
        return Result::Failure("libFLAC refused the stream's settings");
    }
    const FLAC__StreamEncoderInitStatus init = FLAC__stream_encoder_init_stream(
        encoder, FlacCallbacks::Write, FlacCallbacks::Seek, FlacCallbacks::Tell, nullptr, this);
    if (init != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        return Result::Failure(error.empty() ? std::string("libFLAC: ") + FLAC__StreamEncoderInitStatusString[init]
                                             : error);
    }
    return {};
}

bool FlacEncoder::Encode(std::span<const PcmFrame> frames)
{
    if (!error.empty()) {
        return false;
    }
    samples.resize(2 * frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        samples[2 * i] = frames[i].left;
        samples[2 * i + 1] = frames[i].right;
    }
    if (!FLAC__stream_encoder_process_interleaved(encoder, samples.data(), static_cast<uint32_t>(frames.size()))) {
        Fail(std::string("libFLAC: ") + FLAC__stream_encoder_get_resolved_state_string(encoder));
    }
    return error.empty();
}

bool FlacEncoder::Finish()
{
    // After a failure the stream is abandoned, not finished.
    if (error.empty() && !FLAC__stream_encoder_finish(encoder)) {
        Fail(std::string("libFLAC: ") + FLAC__stream_encoder_get_resolved_state_string(encoder));
    }
    return error.empty();
}
