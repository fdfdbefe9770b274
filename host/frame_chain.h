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
// so what follows a seek is what an uninterrupted run has there. A seek back
// plays again the finished frames the chain keeps for the heard sink; only
// where they do not reach, or no longer stand for the song (a channel was
// muted since), does the song start again.

#include <cstdint>
#include <vector>

#include "host/frame_sink.h"
#include "host/frame_stage.h"
#include "host/heard_history.h"

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
    // made without being heard. Behind: it hears the kept frames from there,
    // before the next new ones; where none are kept the song has to start
    // again, which the player is told by RestartPending, and Restart then does.
    void SeekTo(uint64_t outputFrame);
    bool RestartPending() const { return restartPending; }
    // The song starts again from its first frame: every stage restarts.
    void Restart();
    // The song's frame after the last one handed to the heard sink.
    uint64_t HeardEnd() const { return heardNext; }
    // The stages take other frames from now on than an uninterrupted run
    // gives them (a channel muted or unmuted): the kept frames no longer
    // stand for the song. When the heard sink was hearing them again, it
    // goes on at playing, the song starting again (true then).
    bool ForgetHeard(uint64_t playing);
    // After the song's last frames: what a seek back in them still wants of
    // the kept frames.
    void HearRest();

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
    // The 16-bit sinks' part of frames after every stage; they begin at the
    // song's frame first, and the kept sinks owe frames from keptFrom.
    void HandOn(uint64_t first, uint64_t keptFrom, std::span<const StereoFrame> frames);
    // The heard sink's part of fresh, which begin at frame first: kept frames
    // again first when the last seek went back.
    void Hear(uint64_t first, std::span<const PcmFrame> fresh);
    std::vector<FrameStage*> stages;
    std::vector<Tap> sinks;
    std::vector<PcmSink*> pcmSinks;
    PcmSink* heard = nullptr;
    // Per point (after 0, 1, ... stages): frames of the song that passed it,
    // and the next frame its kept sinks take.
    std::vector<uint64_t> passed = {0};
    std::vector<uint64_t> owed = {0};
    uint64_t startModule = 0;
    uint64_t heardNext = 0;  // the next frame the heard sink takes
    bool restartPending = false;
    HeardHistory history;       // every finished frame, while there is a heard sink
    bool historyStands = true;  // false from ForgetHeard to Restart
    std::vector<PcmFrame> pcm;  // the last block saturated; grows, never shrinks
};
