#pragma once
// A FLAC stream of 16-bit stereo frames through libFLAC, its tags as Vorbis
// comments, written to an open file. Where the file can seek, the encoder
// goes back at the end to complete the stream's facts (length, MD5); a
// stream it cannot seek keeps the length given at the start.

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "host/frame_sink.h"
#include "host/gd3_tags.h"
#include "host/result.h"

class FlacEncoder {
public:
    FlacEncoder() = default;
    FlacEncoder(const FlacEncoder&) = delete;
    FlacEncoder& operator=(const FlacEncoder&) = delete;
    ~FlacEncoder();

    // Starts the stream on file (not owned, left open); its header is written
    // now. expectedFrames: the length to announce (0: unknown). A failure
    // says what libFLAC refused, without the file name.
    Result Open(std::FILE* file, bool seekable, int32_t rateHz, uint64_t expectedFrames,
                const std::vector<SongTagField>& tags);
    // False once libFLAC or the file failed; Error() then says why.
    bool Encode(std::span<const PcmFrame> frames);
    // Ends the stream; false as for Encode.
    bool Finish();
    const std::string& Error() const { return error; }

private:
    void Fail(const std::string& why);

    FLAC__StreamEncoder* encoder = nullptr;
    FLAC__StreamMetadata* comments = nullptr;
    std::FILE* out = nullptr;
    bool canSeek = false;
    std::vector<int32_t> samples;  // the interleaved samples libFLAC takes
    std::string error;

    friend struct FlacCallbacks;
};
