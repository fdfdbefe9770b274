#pragma once
// What the fuzz targets share: their view of the input, the host buffer
// contents they render onto, and the check that stops a run.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "psg/psg_chip.h"
#include "tests/support/random.h"

// The input as bytes in order, zeros past the end, so every input, however
// short, is a complete run.
class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool More() const { return pos_ < size_; }

    uint32_t Byte() { return pos_ < size_ ? data_[pos_++] : 0u; }

    // Little-endian; the reads are sequenced so that every compiler takes
    // the bytes in the same order.
    uint32_t Word16()
    {
        const uint32_t low = Byte();
        return low | (Byte() << 8);
    }

    uint32_t Word32()
    {
        const uint32_t low = Word16();
        return low | (Word16() << 16);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Fills count frames with zeros or, if arbitrary, with values from the seed
// (tests/support/random.h); with copy, copies them there too, for a check
// against what was there before the render or a second renderer's buffer.
inline void FillFuzzFrames(StereoFrame* frames, int32_t count, bool arbitrary, uint32_t seed,
                           StereoFrame* copy = nullptr)
{
    Random random(seed);
    for (int32_t f = 0; f < count; ++f) {
        frames[f] = {0, 0};
    }
    if (arbitrary) {
        FillArbitraryFrames(frames, count, random);
    }
    if (copy != nullptr && count > 0) {
        std::memcpy(copy, frames, static_cast<size_t>(count) * sizeof(StereoFrame));
    }
}

// A failed check ends the run, which the fuzzer reports with its input.
inline void Check(bool ok, const char* what = "unnamed check")
{
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}
