#pragma once
// The system's sound output as the live player sees it: a stream of 16-bit
// stereo frames that the output's own thread copies out of a FrameRing, and
// nothing else. Natively this is PulseAudio (host/posix/pulse_output.cpp), under
// Win32 waveOut (host/win32/waveout_output.cpp).

#include <cstdint>
#include <memory>
#include <string>

#include "host/frame_ring.h"

class LiveOutput {
public:
    virtual ~LiveOutput() = default;

    // Connects to the sound system and starts a stream at rateHz that plays
    // what appears in ring (not owned; it must outlive the output) with about
    // bufferFrames of its own buffering. device: a sink or device name, empty
    // for the default. False at once, never after a long wait, with a message
    // that says what was tried and what to do.
    virtual bool Open(const std::string& device, int32_t rateHz, uint32_t bufferFrames, FrameRing* ring,
                      std::string* error) = 0;
    // Holds or resumes playback where it is.
    virtual void SetPaused(bool paused) = 0;
    // False once the server or the device has gone away, with a message;
    // nothing more will play.
    virtual bool Healthy(std::string* error) = 0;
    // Called when nothing more will come: plays out what the ring and the
    // device still hold and returns, or returns false when the output fails
    // meanwhile.
    virtual bool Drain(std::string* error) = 0;
    // Stops at once and disconnects; harmless when Open failed.
    virtual void Close() = 0;
    // Times the device ran out of frames while playing.
    virtual uint64_t Underruns() const = 0;
};

// The platform's output.
std::unique_ptr<LiveOutput> CreateLiveOutput();
