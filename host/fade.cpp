#include "host/fade.h"

int32_t FadeSample(int32_t sample, uint64_t k, uint64_t fadeFrames)
{
    // |sample| < 2^31 and the factor is at most 2^32 frames: the product fits.
    const int64_t remaining = static_cast<int64_t>(fadeFrames - k);
    return static_cast<int32_t>(int64_t{sample} * remaining / static_cast<int64_t>(fadeFrames));
}

FadeStage::FadeStage(uint64_t startFrame, uint64_t fadeFrames) : start(startFrame), length(fadeFrames) {}

std::span<const StereoFrame> FadeStage::Process(std::span<const StereoFrame> frames)
{
    const uint64_t first = seen;
    seen += frames.size();
    if (length == 0 || seen <= start) {
        return frames;
    }
    faded.assign(frames.begin(), frames.end());
    for (size_t i = 0; i < faded.size(); ++i) {
        const uint64_t frame = first + i;
        if (frame < start) {
            continue;
        }
        const uint64_t k = frame - start;
        if (k >= length) {
            faded[i] = {0, 0};  // past the planned end; playback stops there
            continue;
        }
        faded[i].left = FadeSample(faded[i].left, k, length);
        faded[i].right = FadeSample(faded[i].right, k, length);
    }
    return faded;
}
