#include "host/live_status.h"

#include <chrono>
#include <utility>

#include "host/text.h"

namespace {

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

StatusLine::StatusLine(std::FILE* terminalFile, int32_t rateHz, uint64_t totalFrames, std::string songTitle,
                       std::string keyHint)
    : terminal(terminalFile), rate(rateHz), total(totalFrames), title(std::move(songTitle)), keys(std::move(keyHint))
{
}

void StatusLine::Show(uint64_t playedFrames, bool paused, uint64_t underruns, bool force)
{
    if (terminal == nullptr) {
        return;
    }
    const int64_t now = NowMs();
    if (!force && now - lastMs < 250) {
        return;
    }
    lastMs = now;
    const auto clock = [&](uint64_t frames) {
        const uint64_t seconds = rate > 0 ? frames / static_cast<uint64_t>(rate) : 0;
        return FormatDuration(static_cast<double>(seconds), DurationStyle::Clock);
    };
    std::string line = "  " + clock(playedFrames) + " / " + clock(total);
    line += title.empty() ? "" : "  " + title;
    line += paused ? "  [paused]" : "";
    line += muted.empty() ? "" : "  [muted " + muted + "]";
    line += underruns > 0 ? "  underruns " + std::to_string(underruns) : "";
    line += "  (" + keys + ")";
    const size_t drawn = line.size();
    if (drawn < width) {
        line.append(width - drawn, ' ');
    }
    width = drawn;
    std::fprintf(terminal, "\r%s", line.c_str());
    std::fflush(terminal);
}

void StatusLine::End()
{
    if (terminal != nullptr) {
        std::fputc('\n', terminal);
    }
}
