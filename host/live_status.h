#pragma once
// The status line while playing live, on a terminal: time played and total,
// the title, pause and underruns, redrawn in place a few times a second.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

class StatusLine {
public:
    // terminal: null for no line at all.
    // keys: the hint at its end.
    StatusLine(std::FILE* terminal, int32_t rateHz, uint64_t totalFrames, std::string title, std::string keys);

    // Redraws the line; at most every 250 ms unless forced.
    void Show(uint64_t playedFrames, bool paused, uint64_t underruns, bool force);
    // "2,5": the channels muted, shown from the next Show on; empty for none.
    void SetMuted(std::string channels) { muted = std::move(channels); }
    // Leaves the line as it is and moves to the next.
    void End();

private:
    std::FILE* terminal;
    int32_t rate;
    uint64_t total;
    std::string title;
    std::string muted;
    std::string keys;
    int64_t lastMs = -1000;
    size_t width = 0;  // of the line last drawn
};
