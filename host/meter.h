#pragma once
// The figures of the summary: frames, the loudest sample and how many went
// beyond the 16-bit range (and were saturated in a WAV and on the speakers).

#include <cstdint>

#include "host/frame_sink.h"

class Meter final : public FrameSink {
public:
    void Take(std::span<const StereoFrame> frames) override;

    uint64_t Frames() const { return frames; }
    int64_t Peak() const { return peak; }  // largest |sample|, left and right
    uint64_t Clipped() const { return clipped; }
    // The peak in dB of 16-bit full scale; -infinity for silence.
    double PeakDbfs() const;

private:
    uint64_t frames = 0;
    int64_t peak = 0;
    uint64_t clipped = 0;
};
