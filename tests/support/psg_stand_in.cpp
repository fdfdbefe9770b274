#include "tests/support/psg_stand_in.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <string>

namespace {

PsgChip chips[2];
CallLog* callLog = nullptr;
const StereoFrame* logBase = nullptr;

void Log(const char* format, long long a, long long b = 0, long long c = 0)
{
    char line[64];
    std::snprintf(line, sizeof line, format, a, b, c);
    callLog->Add(line);
}

long long Offset(const StereoFrame* frames)
{
    return logBase != nullptr ? frames - logBase : 0;
}

}  // namespace

PsgChip& StandInChip(int chip)
{
    assert(chip == 0 || chip == 1);
    return chips[chip];
}

void Write(int chip, std::initializer_list<uint32_t> bytes)
{
    for (const uint32_t b : bytes) {
        PsgWrite(chip, b);
    }
}

void ClearStandInChips()
{
    chips[0] = PsgChip{};
    chips[1] = PsgChip{};
}

int32_t AffordableFrames(int chip, int32_t wanted, int64_t& budget)
{
    int64_t perFrame = 4;
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; i < 4 && (chip == 2 || chip == k); ++i) {
            if (StandInChip(k).amplitude[i] != 0) {  // silent channels have no events
                perFrame += kFrameUnits / StandInChip(k).period[i] + 1;
            }
        }
    }
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(wanted, std::max<int64_t>(budget / perFrame, 0)));
    budget -= std::max(count, 0) * perFrame;
    return count;
}

void LogPsgCalls(CallLog* log, const StereoFrame* frameBase)
{
    callLog = log;
    logBase = frameBase;
}

void PsgReset(int chip, int32_t clockHz, int32_t rateHz)
{
    if (callLog != nullptr) {
        Log("Psg.Reset %lld %lld %lld", chip, clockHz, rateHz);
    }
    PsgReset(StandInChip(chip), clockHz, rateHz);
}

void PsgBuildLevels(int chip, int32_t gain)
{
    if (callLog != nullptr) {
        Log("Psg.Levels %lld %lld", chip, gain);
    }
    PsgBuildLevels(StandInChip(chip), gain);
}

void PsgWrite(int chip, uint32_t value)
{
    if (callLog != nullptr) {
        Log("Psg.Write %lld 0x%02llX", chip, value);
    }
    PsgWrite(StandInChip(chip), value);
}

void PsgRender(int chip, StereoFrame* frames, int32_t count)
{
    if (callLog != nullptr) {
        Log("Psg.Render %lld @%lld %lld", chip, Offset(frames), count);
    }
    PsgRender(StandInChip(chip), frames, count);
}

// The benchmarks count the device's Mix through PsgRenderBoth: with the log
// off it is the library's own call plus one test, the logging kept apart.
[[gnu::noinline]] void LoggedRenderBoth(StereoFrame* frames, int32_t count)
{
    Log("Psg.RenderBoth @%lld %lld", Offset(frames), count);
    PsgRenderPair(chips[0], chips[1], frames, count);
}

void PsgRenderBoth(StereoFrame* frames, int32_t count)
{
    if (callLog != nullptr) {
        LoggedRenderBoth(frames, count);
        return;
    }
    PsgRenderPair(chips[0], chips[1], frames, count);
}
