#include "host/meter.h"

#include <algorithm>
#include <cmath>

void Meter::Take(std::span<const StereoFrame> block)
{
    frames += block.size();
    const SampleRange range = SaturatedRange(block);
    if (range.high < 32767 && range.low > -32768) {
        peak = std::max(peak, std::max(int64_t{range.high}, -int64_t{range.low}));
        return;
    }
    // At a rail: the block's exact extremes and clips, without a branch per sample.
    int32_t high = 0;
    int32_t low = 0;
    uint64_t over = 0;
    for (const StereoFrame& f : block) {
        high = std::max(high, std::max(f.left, f.right));
        low = std::min(low, std::min(f.left, f.right));
        // Beyond -32768..32767 exactly when the sample, moved up by 32768, leaves 0..65535.
        over += (static_cast<uint32_t>(f.left) + 32768u > 65535u ? 1u : 0u) +
                (static_cast<uint32_t>(f.right) + 32768u > 65535u ? 1u : 0u);
    }
    peak = std::max(peak, std::max(int64_t{high}, -int64_t{low}));
    clipped += over;
}

double Meter::PeakDbfs() const
{
    return peak > 0 ? 20.0 * std::log10(static_cast<double>(peak) / 32767.0) : -INFINITY;
}
