#pragma once
// The finished frames of the song as a live run made them, since it last
// started from the top. A seek back inside them plays them again instead of
// starting the song again: they are what an uninterrupted run has there, and
// the resampler, whose state cannot be kept, would otherwise have to take
// every frame before the target once more (seconds, near the end of a song
// of five minutes). The most recent frames are kept, up to a bound.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

#include "host/frame_sink.h"

// 32 Mi frames, 128 MiB: 12 minutes at 44100 Hz.
constexpr uint64_t kHeardHistoryFrames = uint64_t{1} << 25;

class HeardHistory {
public:
    explicit HeardHistory(uint64_t maxFrames = kHeardHistoryFrames);

    // The song's next frames, from End() on.
    void Append(std::span<const PcmFrame> frames);
    // Nothing kept, and the next frame appended is the song's frame from.
    void Clear(uint64_t from);
    // Kept: the song's frames from Begin() up to End().
    uint64_t Begin() const { return begin; }
    uint64_t End() const { return end; }
    // Kept frames from frame from on, before frame to, as one stretch: all
    // of them or the part up to a block's end. Empty when from is not kept.
    std::span<const PcmFrame> Stretch(uint64_t from, uint64_t to) const;

private:
    static constexpr uint64_t kBlockFrames = 65536;
    uint64_t maxBlocks;
    std::deque<std::vector<PcmFrame>> blocks;  // each kBlockFrames long but the last
    uint64_t begin = 0;
    uint64_t end = 0;
};
