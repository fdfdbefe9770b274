#include "host/frame_chain.h"

#include <algorithm>

namespace {

// The part of frames, which begin at frame first, from frame from on.
template <typename Frame>
std::span<const Frame> From(std::span<const Frame> frames, uint64_t first, uint64_t from)
{
    const uint64_t skip = std::min<uint64_t>(from > first ? from - first : 0, frames.size());
    return frames.subspan(static_cast<size_t>(skip));
}

}  // namespace

void FrameChain::AddStage(FrameStage* stage)
{
    stages.push_back(stage);
    passed.push_back(0);
    owed.push_back(owed.back());
    owed[owed.size() - 2] = startModule;
}

void FrameChain::AddSink(FrameSink* sink)
{
    sinks.push_back({sink, stages.size()});
}

void FrameChain::AddSink(PcmSink* sink)
{
    pcmSinks.push_back(sink);
}

void FrameChain::AddHeardSink(PcmSink* sink)
{
    heard = sink;
}

void FrameChain::StartAt(uint64_t moduleFrame, uint64_t outputFrame)
{
    startModule = moduleFrame;
    std::fill(owed.begin(), owed.end(), moduleFrame);
    owed.back() = outputFrame;
    heardNext = outputFrame;
}

void FrameChain::SeekTo(uint64_t outputFrame)
{
    heardNext = outputFrame;
    const bool kept = historyStands && outputFrame >= history.Begin();
    restartPending = outputFrame < Position() && !kept;
}

void FrameChain::Restart()
{
    for (FrameStage* stage : stages) {
        stage->Restart();
    }
    std::fill(passed.begin(), passed.end(), 0);
    restartPending = false;
    history.Clear(0);
    historyStands = true;
}

bool FrameChain::ForgetHeard(uint64_t playing)
{
    historyStands = false;
    history.Clear(Position());
    if (heardNext >= Position()) {
        return false;
    }
    SeekTo(playing);
    return true;
}

void FrameChain::HearRest()
{
    if (heard != nullptr) {
        Hear(Position(), {});
    }
}

void FrameChain::Take(std::span<const StereoFrame> frames)
{
    Pass(0, frames);
}

void FrameChain::Finish()
{
    for (size_t i = 0; i < stages.size(); ++i) {
        Pass(i + 1, stages[i]->Flush());
    }
}

void FrameChain::Pass(size_t firstStage, std::span<const StereoFrame> frames)
{
    for (size_t i = firstStage; i < stages.size(); ++i) {
        Deliver(i, frames);
        frames = stages[i]->Process(frames);
    }
    const uint64_t first = passed.back();
    const uint64_t keptFrom = owed.back();
    Deliver(stages.size(), frames);
    HandOn(first, keptFrom, frames);
}

void FrameChain::HandOn(uint64_t first, uint64_t keptFrom, std::span<const StereoFrame> frames)
{
    if (heard == nullptr && pcmSinks.empty()) {
        return;
    }
    const std::span<const StereoFrame> kept = From(frames, first, keptFrom);
    // The history takes every frame, heard now or not.
    const std::span<const StereoFrame> wanted = heard != nullptr ? frames : kept;
    if (wanted.empty()) {
        return;
    }
    if (pcm.size() < wanted.size()) {
        pcm.resize(wanted.size());
    }
    SaturateFrames(wanted, pcm.data());
    const std::span<const PcmFrame> saturated(pcm.data(), wanted.size());
    for (PcmSink* sink : pcmSinks) {
        sink->Take(saturated.subspan(wanted.size() - kept.size()));
    }
    if (heard != nullptr) {
        if (historyStands) {
            history.Append(saturated);
        }
        Hear(first, saturated);
    }
}

void FrameChain::Hear(uint64_t first, std::span<const PcmFrame> fresh)
{
    // A seek back that needs no restart: the kept frames up to fresh. The
    // sink may seek again while it takes them, which moves heardNext.
    while (heardNext < first && !restartPending) {
        const std::span<const PcmFrame> again = history.Stretch(heardNext, first);
        if (again.empty()) {
            restartPending = true;  // no longer kept
            return;
        }
        heardNext += again.size();
        heard->Take(again);
    }
    const std::span<const PcmFrame> part = From(fresh, first, heardNext);
    if (restartPending || part.empty()) {
        return;
    }
    heardNext = first + fresh.size();
    heard->Take(part);
}

void FrameChain::Deliver(size_t stagesPassed, std::span<const StereoFrame> frames)
{
    const uint64_t first = passed[stagesPassed];
    passed[stagesPassed] += frames.size();
    const std::span<const StereoFrame> kept = From(frames, first, owed[stagesPassed]);
    if (kept.empty()) {
        return;
    }
    for (const Tap& tap : sinks) {
        if (tap.after == stagesPassed) {
            tap.sink->Take(kept);
        }
    }
    owed[stagesPassed] = passed[stagesPassed];
}
