#pragma once
// What the hub hands its frames to: the stages in order, with sinks between
// them or after them. The 16-bit frames are saturated here, once, for every
// 16-bit sink.

#include <vector>

#include "host/frame_sink.h"
#include "host/frame_stage.h"

class FrameChain final : public FrameSink {
public:
    // Each added in the order frames pass them; none owned. A sink of 32-bit
    // frames takes them as they leave the stages added before it (the raw
    // file, before a resampler); 16-bit sinks take them after every stage.
    void AddStage(FrameStage* stage);
    void AddSink(FrameSink* sink);
    void AddSink(PcmSink* sink);

    void Take(std::span<const StereoFrame> frames) override;
    // The end of the stream: flushes every stage, each through the stages after it.
    void Finish();

private:
    struct Tap {
        FrameSink* sink;
        size_t after;  // stages before it
    };
    void Pass(size_t firstStage, std::span<const StereoFrame> frames);
    void Deliver(size_t stagesPassed, std::span<const StereoFrame> frames);

    std::vector<FrameStage*> stages;
    std::vector<Tap> sinks;
    std::vector<PcmSink*> pcmSinks;
    std::vector<PcmFrame> pcm;  // the last block saturated; grows, never shrinks
};
