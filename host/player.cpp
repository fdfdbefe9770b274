#include "host/player.h"

namespace {

// The song's own clock: the hub's frames since the song started. A song
// started again (a seek back) counts from 0 once more, so that its mix calls
// fall where they fell the first time.
class SongClock {
public:
    explicit SongClock(SoundHub& soundHub) : hub(soundHub), origin(soundHub.Now()) {}
    uint64_t Now() const { return hub.Now() - origin; }

    // Hands what the hub has mixed on, then asks whether to go on.
    bool HandOn(PlayControl* control)
    {
        hub.RenderAll();
        return control == nullptr || control->GoOn();
    }

    // Moves to frame target, handing on at every block boundary.
    bool AdvanceTo(uint64_t target, PlayControl* control)
    {
        while (Now() < target) {
            const uint64_t boundary = (Now() / kMixBlockFrames + 1) * kMixBlockFrames;
            const uint64_t next = boundary < target ? boundary : target;
            hub.Advance(static_cast<uint32_t>(next - Now()));
            if (next == boundary && !HandOn(control)) {
                return false;
            }
        }
        return true;
    }

private:
    SoundHub& hub;
    uint64_t origin;
};

}  // namespace

bool PlayVgm(const VgmSong& song, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control)
{
    SongClock clock(hub);
    hub.SetRate(plan.chipRateHz);
    bus.ChipsReset();
    const bool looping = Loops(song);
    uint64_t sample = 0;
    uint32_t pass = 0;
    for (size_t i = 0;; ++i) {
        if (i == song.events.size()) {
            // The looped part again: for the passes asked, then on through the fade.
            ++pass;
            const bool more = pass < plan.passes || (plan.fadeFrames > 0 && clock.Now() < plan.totalFrames);
            if (!looping || !more) {
                break;
            }
            i = song.loopEvent;
        }
        const bool fading = pass >= plan.passes;
        if (fading && clock.Now() >= plan.totalFrames) {
            break;  // the fade is cut off where it ends
        }
        const VgmEvent& e = song.events[i];
        if (e.kind == VgmEvent::Kind::Write) {
            bus.Write(e.chip == 0 ? kChip0Port : kChip1Port, PortByteFor(e.value));
            continue;
        }
        sample += e.samples;
        const uint64_t frame = FrameAtSample(sample, plan.frameRate);
        if (!clock.AdvanceTo(fading && frame > plan.totalFrames ? plan.totalFrames : frame, control)) {
            return false;
        }
    }
    return clock.HandOn(control);
}

bool PlayScript(const PortScript& script, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control)
{
    SongClock clock(hub);
    hub.SetRate(plan.hostRateHz);
    bus.ChipsReset();
    for (const ScriptStep& step : script.steps) {
        switch (step.kind) {
        case ScriptStep::Kind::Rate:
            hub.SetRate(static_cast<int32_t>(step.value));
            bus.ChipsReset();
            break;
        case ScriptStep::Kind::Out:
            bus.Write(step.port, step.value);
            break;
        case ScriptStep::Kind::Mix:
            hub.Advance(step.value);
            if (!clock.HandOn(control)) {
                return false;
            }
            break;
        }
    }
    return clock.HandOn(control);
}
