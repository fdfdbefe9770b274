#include "host/frame_chain.h"

void FrameChain::AddStage(FrameStage* stage)
{
    stages.push_back(stage);
}

void FrameChain::AddSink(FrameSink* sink)
{
    sinks.push_back({sink, stages.size()});
}

void FrameChain::AddSink(PcmSink* sink)
{
    pcmSinks.push_back(sink);
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
    Deliver(stages.size(), frames);
    if (pcmSinks.empty() || frames.empty()) {
        return;
    }
    if (pcm.size() < frames.size()) {
        pcm.resize(frames.size());
    }
    SaturateFrames(frames, pcm.data());
    const std::span<const PcmFrame> saturated(pcm.data(), frames.size());
    for (PcmSink* sink : pcmSinks) {
        sink->Take(saturated);
    }
}

void FrameChain::Deliver(size_t stagesPassed, std::span<const StereoFrame> frames)
{
    if (frames.empty()) {
        return;
    }
    for (const Tap& tap : sinks) {
        if (tap.after == stagesPassed) {
            tap.sink->Take(frames);
        }
    }
}
