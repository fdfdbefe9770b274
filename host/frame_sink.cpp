#include "host/frame_sink.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
// Four frames, eight samples, saturated to 16 bits in one pack; the loops
// take eight frames a turn.
inline __m128i PackFour(const StereoFrame* frames)
{
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 2));
    return _mm_packs_epi32(first, second);
}

// The largest (or, with min, smallest) of eight 16-bit lanes.
template <typename Fold>
int16_t FoldLanes(__m128i lanes, Fold fold)
{
    lanes = fold(lanes, _mm_shuffle_epi32(lanes, _MM_SHUFFLE(1, 0, 3, 2)));
    lanes = fold(lanes, _mm_shuffle_epi32(lanes, _MM_SHUFFLE(2, 3, 0, 1)));
    lanes = fold(lanes, _mm_shufflelo_epi16(lanes, _MM_SHUFFLE(2, 3, 0, 1)));
    return static_cast<int16_t>(_mm_cvtsi128_si32(lanes));
}
#endif

}  // namespace

void SaturateFrames(std::span<const StereoFrame> frames, PcmFrame* out)
{
    size_t k = 0;
#if defined(__SSE2__)
    for (; k + 8 <= frames.size(); k += 8) {
        const __m128i first = PackFour(&frames[k]);
        const __m128i second = PackFour(&frames[k + 4]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 4), second);
    }
#endif
    for (; k < frames.size(); ++k) {
        out[k] = {SaturateSample(frames[k].left), SaturateSample(frames[k].right)};
    }
}

SampleRange SaturatedRange(std::span<const StereoFrame> frames)
{
    int16_t high = 0;
    int16_t low = 0;
    size_t k = 0;
#if defined(__SSE2__)
    if (frames.size() >= 8) {
        __m128i highs = _mm_setzero_si128();
        __m128i lows = _mm_setzero_si128();
        for (; k + 8 <= frames.size(); k += 8) {
            const __m128i first = PackFour(&frames[k]);
            const __m128i second = PackFour(&frames[k + 4]);
            highs = _mm_max_epi16(highs, _mm_max_epi16(first, second));
            lows = _mm_min_epi16(lows, _mm_min_epi16(first, second));
        }
        high = FoldLanes(highs, [](__m128i a, __m128i b) { return _mm_max_epi16(a, b); });
        low = FoldLanes(lows, [](__m128i a, __m128i b) { return _mm_min_epi16(a, b); });
    }
#endif
    for (; k < frames.size(); ++k) {
        high = std::max({high, SaturateSample(frames[k].left), SaturateSample(frames[k].right)});
        low = std::min({low, SaturateSample(frames[k].left), SaturateSample(frames[k].right)});
    }
    return {high, low};
}
