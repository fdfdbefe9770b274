#pragma once
// The system's sound output as the live player sees it: a stream of 16-bit
// stereo frames that the output's own thread copies out of a FrameRing, and
// nothing else. Natively this is PulseAudio (host/posix/pulse_output.cpp),
// under Win32 waveOut (host/win32/waveout_output.cpp). What they share, the
// failure noted on the output's thread and the messages a user reads, is
// here.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "host/frame_ring.h"
#include "host/result.h"

class LiveOutput {
public:
    virtual ~LiveOutput() = default;

    // Connects to the sound system and starts a stream at rateHz that plays
    // what appears in ring (not owned; it must outlive the output) with about
    // bufferFrames of its own buffering. device: a sink or device name, empty
    // for the default. Fails at once, never after a long wait, with a message
    // that says what was tried and what to do.
    virtual Result Open(const std::string& device, int32_t rateHz, uint32_t bufferFrames, FrameRing* ring) = 0;
    // Holds or resumes playback where it is.
    virtual void SetPaused(bool paused) = 0;
    // Called when nothing more will come: plays out what the ring and the
    // device still hold, or fails when the output fails meanwhile.
    virtual Result Drain() = 0;
    // Stops at once and disconnects; harmless when Open failed.
    virtual void Close() = 0;
    // Times the device ran out of frames while playing.
    virtual uint64_t Underruns() const = 0;

    // A failure once the server or the device has gone away; nothing more will play.
    Result Health() const;

protected:
    // Output thread: the output has stopped, for this reason.
    void Fail(const std::string& why);
    bool Failed() const { return failed.load(); }
    // "cannot play: what", with the output's advice and the way out.
    Result CannotPlay(const std::string& what) const;
    // What to check before trying again, as ". Check ..." text.
    virtual std::string Advice() const = 0;

private:
    std::atomic<bool> failed{false};
    mutable std::mutex failureLock;
    std::string failure;  // under failureLock
};

// The platform's output.
std::unique_ptr<LiveOutput> CreateLiveOutput();
