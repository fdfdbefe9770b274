#pragma once
// Finished frames on their way from the player thread to the audio device's
// thread: one writer and one reader, no lock. The writer only ever advances
// `written`, the reader only `read`; each publishes its counter with release
// order after touching the slots, so the other side sees the frames first.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/frame_sink.h"

class FrameRing {
public:
    explicit FrameRing(size_t capacityFrames) : slots(capacityFrames > 0 ? capacityFrames : 1) {}
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    size_t Capacity() const { return slots.size(); }
    // Frames waiting to be read; exact on either side, a lower bound of what
    // the other side may have added or removed since.
    size_t Fill() const
    {
        return static_cast<size_t>(written.load(std::memory_order_acquire) - read.load(std::memory_order_acquire));
    }

    // Writer: copies as many of count frames as fit; returns how many.
    size_t Push(const PcmFrame* frames, size_t count)
    {
        const uint64_t w = written.load(std::memory_order_relaxed);
        const uint64_t r = read.load(std::memory_order_acquire);
        const size_t room = slots.size() - static_cast<size_t>(w - r);
        const size_t n = count < room ? count : room;
        for (size_t k = 0; k < n; ++k) {
            slots[static_cast<size_t>((w + k) % slots.size())] = frames[k];
        }
        written.store(w + n, std::memory_order_release);
        return n;
    }

    // Reader: copies up to count frames out; returns how many.
    size_t Pop(PcmFrame* out, size_t count)
    {
        const uint64_t r = read.load(std::memory_order_relaxed);
        const uint64_t w = written.load(std::memory_order_acquire);
        const size_t available = static_cast<size_t>(w - r);
        const size_t n = count < available ? count : available;
        for (size_t k = 0; k < n; ++k) {
            out[k] = slots[static_cast<size_t>((r + k) % slots.size())];
        }
        read.store(r + n, std::memory_order_release);
        return n;
    }

private:
    std::vector<PcmFrame> slots;
    std::atomic<uint64_t> written{0};  // frames pushed in all
    std::atomic<uint64_t> read{0};     // frames popped in all
};
