#include "host/progress_line.h"

ProgressLine::ProgressLine(std::FILE* terminalFile, uint64_t totalFrames, int32_t rateHz)
    : terminal(terminalFile), total(totalFrames), rate(rateHz), last(std::chrono::steady_clock::now())
{
}

void ProgressLine::Take(std::span<const StereoFrame> block)
{
    frames += block.size();
    const auto t = std::chrono::steady_clock::now();
    if (t - last < std::chrono::milliseconds(250) && frames < total) {
        return;
    }
    last = t;
    const double percent = total > 0 ? 100.0 * static_cast<double>(frames) / static_cast<double>(total) : 100.0;
    std::fprintf(terminal, "\r%10.1f s of %.1f s (%3.0f%%)", static_cast<double>(frames) / rate,
                 static_cast<double>(total) / rate, percent);
    std::fflush(terminal);
    shown = true;
}

void ProgressLine::End()
{
    if (shown) {
        std::fprintf(terminal, "\r%60s\r", "");
    }
}
