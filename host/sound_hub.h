#pragma once
// The host's sound hub: an emulated-time clock counted in output frames, and
// a mixing buffer from the last hand-over to the present. Update renders a
// source up to the present moment in one Mix call; RenderAll does so for
// every source and hands the finished frames on.

#include <cstdint>
#include <vector>

#include "contract/host_device.h"
#include "contract/host_sound.h"
#include "host/frame_sink.h"

class SoundHub final : public ISoundHub {
public:
    explicit SoundHub(FrameSink* sink);  // sink: not owned, may be null

    // A new source starts at the present moment. False if already attached.
    bool J27_CALL Attach(ISoundSource* source) override;
    // False if the source was not attached. Its pending frames stay as rendered.
    bool J27_CALL Detach(ISoundSource* source) override;
    // Renders the source from where it stopped up to now: one Mix call, none
    // when nothing is due. False for a source that is not attached.
    bool J27_CALL Update(ISoundSource* source) override;

    // Tells every source the output rate (sources reset their state with it).
    void SetRate(int32_t rateHz);
    // Moves the clock on; nothing is rendered yet.
    void Advance(uint32_t frames);
    // Renders every source up to now, hands the frames to the sink and empties the buffer.
    void RenderAll();

    uint64_t Now() const { return now; }
    size_t SourceCount() const { return sources.size(); }

private:
    struct Attached {
        ISoundSource* source;  // not owned
        uint64_t renderedTo;   // frames before this one are in the buffer
    };
    FrameSink* sink;
    std::vector<Attached> sources;
    std::vector<StereoFrame> buffer;  // frames base .. now first, zeros after them; never shrinks
    uint64_t base = 0;
    uint64_t now = 0;
};
