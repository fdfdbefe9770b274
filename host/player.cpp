#include "host/player.h"

namespace {

// Hands what the hub has mixed on, then asks whether to go on.
bool HandOn(SoundHub& hub, PlayControl* control)
{
    hub.RenderAll();
    return control == nullptr || control->GoOn();
}

// Moves the hub's clock to frame target, handing on at every block boundary.
bool AdvanceTo(SoundHub& hub, uint64_t target, PlayControl* control)
{
    while (hub.Now() < target) {
        const uint64_t boundary = (hub.Now() / kMixBlockFrames + 1) * kMixBlockFrames;
        const uint64_t next = boundary < target ? boundary : target;
        hub.Advance(static_cast<uint32_t>(next - hub.Now()));
        if (next == boundary && !HandOn(hub, control)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool PlayVgm(const VgmSong& song, const PlayPlan& plan, PortBus& bus, SoundHub& hub, PlayControl* control)
{
    hub.SetRate(plan.chipRateHz);
    const bool looping = Loops(song);
    uint64_t sample = 0;
    uint32_t pass = 0;
    for (size_t i = 0;; ++i) {
        if (i == song.events.size()) {
            // The looped part again: for the passes asked, then on through the fade.
            ++pass;
            const bool more = pass < plan.passes || (plan.fadeFrames > 0 && hub.Now() < plan.totalFrames);
            if (!looping || !more) {
                break;
            }
            i = song.loopEvent;
        }
        const bool fading = pass >= plan.passes;
        if (fading && hub.Now() >= plan.totalFrames) {
            break;  // the fade is cut off where it ends
        }
        const VgmEvent& e = song.events[i];
        if (e.kind == VgmEvent::Kind::Write) {
            bus.Write(e.chip == 0 ? kChip0Port : kChip1Port, PortByteFor(e.value));
            continue;
        }
        sample += e.samples;
        const uint64_t frame = FrameAtSample(sample, plan.frameRate);
        if (!AdvanceTo(hub, fading && frame > plan.totalFrames ? plan.totalFrames : frame, control)) {
            return false;
        }
    }
    return HandOn(hub, control);
}

bool PlayScript(const PortScript& script, const PlayPlan& plan, PortBus& bus, SoundHub& hub, PlayControl* control)
{
    hub.SetRate(plan.hostRateHz);
    for (const ScriptStep& step : script.steps) {
        switch (step.kind) {
        case ScriptStep::Kind::Rate:
            hub.SetRate(static_cast<int32_t>(step.value));
            break;
        case ScriptStep::Kind::Out:
            bus.Write(step.port, step.value);
            break;
        case ScriptStep::Kind::Mix:
            hub.Advance(step.value);
            if (!HandOn(hub, control)) {
                return false;
            }
            break;
        }
    }
    return HandOn(hub, control);
}
