#include "host/frame_chain.h"

void FrameChain::AddStage(FrameStage* stage)
{
    stages.push_back(stage);
}

void FrameChain::AddSink(FrameSink* sink)
{
    sinks.push_back(sink);
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
        frames = stages[i]->Process(frames);
    }
    if (!frames.empty()) {
        Deliver(frames);
    }
}

void FrameChain::Deliver(std::span<const StereoFrame> frames)
{
    for (FrameSink* sink : sinks) {
        sink->Take(frames);
    }
    if (pcmSinks.empty()) {
        return;
    }
    if (pcm.size() < frames.size()) {
        pcm.resize(frames.size());
    }
    for (size_t k = 0; k < frames.size(); ++k) {
        pcm[k] = {SaturateSample(frames[k].left), SaturateSample(frames[k].right)};
    }
    const std::span<const PcmFrame> saturated(pcm.data(), frames.size());
    for (PcmSink* sink : pcmSinks) {
        sink->Take(saturated);
    }
}
