#include "host/fade.h"

int32_t FadeSample(int32_t sample, uint64_t k, uint64_t fadeFrames)
{
    // |sample| < 2^31 and the factor is at most 2^32 frames: the product fits.
    const int64_t remaining = static_cast<int64_t>(fadeFrames - k);
    return static_cast<int32_t>(int64_t{sample} * remaining / static_cast<int64_t>(fadeFrames));
}

FadeSink::FadeSink(FrameSink* nextSink, uint64_t startFrame, uint64_t fadeFrames)
    : next(nextSink), start(startFrame), length(fadeFrames)
{
}

void FadeSink::Take(const StereoFrame* frames, size_t count)
{
    const uint64_t first = seen;
    seen += count;
    if (length == 0 || seen <= start) {
        next->Take(frames, count);
        return;
    }
    scratch.assign(frames, frames + count);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t frame = first + i;
        if (frame < start) {
            continue;
        }
        const uint64_t k = frame - start;
        if (k >= length) {
            scratch[i] = {0, 0};  // past the planned end; playback stops there
            continue;
        }
        scratch[i].left = FadeSample(scratch[i].left, k, length);
        scratch[i].right = FadeSample(scratch[i].right, k, length);
    }
    next->Take(scratch.data(), count);
}
