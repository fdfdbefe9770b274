#pragma once
// Progress of a render on a terminal: seconds done of the whole, at most a
// few times a second, wiped when the render ends.

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "host/frame_sink.h"

class ProgressLine final : public FrameSink {
public:
    ProgressLine(std::FILE* terminal, uint64_t totalFrames, int32_t rateHz);  // terminal: not owned
    void Take(std::span<const StereoFrame> frames) override;
    // Wipes the line, if one was drawn.
    void End();

private:
    std::FILE* terminal;
    uint64_t total;
    int32_t rate;
    uint64_t frames = 0;
    std::chrono::steady_clock::time_point last;
    bool shown = false;
};
