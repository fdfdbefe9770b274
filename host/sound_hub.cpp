#include "host/sound_hub.h"

#include <algorithm>
#include <cstring>

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
    const size_t pending = static_cast<size_t>(now - base);
    if (buffer.size() < pending) {
        buffer.resize(std::max(pending, 2 * buffer.size()), StereoFrame{0, 0});
    }
}

void SoundHub::RenderAll()
{
    // Copy: a source may detach itself while mixing.
    const std::vector<Attached> present = sources;
    for (const Attached& a : present) {
        Update(a.source);
    }
    const size_t pending = static_cast<size_t>(now - base);
    if (pending > 0) {
        if (sink != nullptr) {
            sink->Take(std::span<const StereoFrame>(buffer.data(), pending));
        }
        // Zero again for the next frames: one memset, not a fill per Advance.
        std::memset(buffer.data(), 0, pending * sizeof(StereoFrame));
    }
    base = now;
}
