#pragma once
// What the hub hands its frames to: the stages in order, with sinks between
// them or after them. The 16-bit frames are saturated here, once, for every
// 16-bit sink.
//
// Seeking. The chain counts the frames of the song that pass each point,
// from its start. Kept sinks (files, meter, progress) take every frame from
// the start asked for, each once and in order, whatever the seeks; the
// heard sink (the live output) takes frames from where the last seek went.
// Frames nobody takes are still made: the module hears every call in order,
// so what follows a seek is what an uninterrupted run has there.

#include <cstdint>
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
    void AddHeardSink(PcmSink* sink);

    // Where output begins: frames before moduleFrame (before the last stage)
    // and outputFrame (after it) go to no sink. Before the first frame.
    void StartAt(uint64_t moduleFrame, uint64_t outputFrame);
    // Frames after every stage since the song (re)started.
    uint64_t Position() const { return passed.back(); }
    // The heard sink goes on at outputFrame. Ahead: the frames up to it are
    // made without being heard. Behind: the song has to start again, which
    // the player is told by RestartPending, and Restart then does.
    void SeekTo(uint64_t outputFrame);
    bool RestartPending() const { return restartPending; }
    // The song starts again from its first frame: every stage restarts.
    void Restart();

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
    PcmSink* heard = nullptr;
    // Per point (after 0, 1, ... stages): frames of the song that passed it,
    // and the next frame its kept sinks take.
    std::vector<uint64_t> passed = {0};
    std::vector<uint64_t> owed = {0};
    uint64_t startModule = 0;
    uint64_t heardFrom = 0;
    bool restartPending = false;
    std::vector<PcmFrame> pcm;  // the last block saturated; grows, never shrinks
};
