#include "host/sound_hub.h"

#include <algorithm>

SoundHub::SoundHub(FrameSink* frameSink) : sink(frameSink) {}

bool J27_CALL SoundHub::Attach(ISoundSource* source)
{
    if (source == nullptr) {
        return false;
    }
    for (const Attached& a : sources) {
        if (a.source == source) {
            return false;
        }
    }
    sources.push_back({source, now});
    return true;
}

bool J27_CALL SoundHub::Detach(ISoundSource* source)
{
    const size_t before = sources.size();
    std::erase_if(sources, [source](const Attached& a) { return a.source == source; });
    return sources.size() != before;
}

bool J27_CALL SoundHub::Update(ISoundSource* source)
{
    for (Attached& a : sources) {
        if (a.source != source) {
            continue;
        }
        if (a.renderedTo < now) {
            const uint64_t from = a.renderedTo;
            a.renderedTo = now;  // set first: Mix must not see a stale position if it re-enters
            source->Mix(buffer.data() + (from - base), static_cast<int32_t>(now - from));
        }
        return true;
    }
    return false;
}

void SoundHub::SetRate(int32_t rateHz)
{
    for (const Attached& a : sources) {
        a.source->SetRate(rateHz);
    }
}

void SoundHub::Advance(uint32_t frames)
{
    now += frames;
    buffer.resize(static_cast<size_t>(now - base), StereoFrame{0, 0});
}

void SoundHub::RenderAll()
{
    // Copy: a source may detach itself while mixing.
    const std::vector<Attached> present = sources;
    for (const Attached& a : present) {
        Update(a.source);
    }
    if (sink != nullptr && !buffer.empty()) {
        sink->Take(buffer);
    }
    base = now;
    buffer.clear();
}
