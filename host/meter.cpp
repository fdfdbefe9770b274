#include "host/meter.h"

#include <cmath>

namespace {

void Count(int32_t v, int64_t* peak, uint64_t* clipped)
{
    const int64_t magnitude = v < 0 ? -int64_t{v} : int64_t{v};
    *peak = magnitude > *peak ? magnitude : *peak;
    *clipped += v > 32767 || v < -32768 ? 1 : 0;
}

}  // namespace

void Meter::Take(std::span<const StereoFrame> block)
{
    for (const StereoFrame& f : block) {
        Count(f.left, &peak, &clipped);
        Count(f.right, &peak, &clipped);
    }
    frames += block.size();
}

double Meter::PeakDbfs() const
{
    return peak > 0 ? 20.0 * std::log10(static_cast<double>(peak) / 32767.0) : -INFINITY;
}
