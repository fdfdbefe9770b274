#include "tests/support/psg_stand_in.h"

#include <cassert>

namespace {

PsgChip chips[2];
PsgCallLog* callLog = nullptr;

void Log(PsgCall::Op op, int chip, int64_t a, int64_t b)
{
    if (callLog != nullptr) {
        callLog->calls.push_back({op, chip, a, b});
    }
}

int64_t FrameOffset(const StereoFrame* frames)
{
    return callLog != nullptr && callLog->frameBase != nullptr ? frames - callLog->frameBase : 0;
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

void LogPsgCalls(PsgCallLog* log)
{
    callLog = log;
}

std::ostream& operator<<(std::ostream& out, const PsgCall& call)
{
    static const char* const kNames[] = {"Reset", "Levels", "Write", "Render", "RenderBoth"};
    return out << kNames[static_cast<int>(call.op)] << "(" << call.chip << ", " << call.a << ", " << call.b << ")";
}

void PsgReset(int chip, int32_t clockHz, int32_t rateHz)
{
    Log(PsgCall::Op::Reset, chip, rateHz, clockHz);
    PsgReset(StandInChip(chip), clockHz, rateHz);
}

void PsgBuildLevels(int chip, int32_t gain)
{
    Log(PsgCall::Op::Levels, chip, gain, 0);
    PsgBuildLevels(StandInChip(chip), gain);
}

void PsgWrite(int chip, uint32_t value)
{
    Log(PsgCall::Op::Write, chip, value, 0);
    PsgWrite(StandInChip(chip), value);
}

void PsgRender(int chip, StereoFrame* frames, int32_t count)
{
    Log(PsgCall::Op::Render, chip, count, FrameOffset(frames));
    PsgRender(StandInChip(chip), frames, count);
}

void PsgRenderBoth(StereoFrame* frames, int32_t count)
{
    Log(PsgCall::Op::RenderBoth, 0, count, FrameOffset(frames));
    PsgRenderPair(StandInChip(0), StandInChip(1), frames, count);
}
