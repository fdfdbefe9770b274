#pragma once
// Live playback (--play): the player thread renders the way an emulator host
// drives its module, and the system's sound output plays the finished frames.
//
// Threads. The main thread is the player thread: it makes every call into the
// module (port writes at their emulated times, Update and Mix through the
// hub, SetRate, and the settings sheet's messages, Apply among them). The
// sound output's thread only copies finished 16-bit frames out of a
// FrameRing. The device requires that no two of its calls overlap (a port
// write or ApplySettings during Mix would change chip state that Mix is
// reading), and it takes no lock of its own; keeping every call on one
// thread is what a real host does to honour that, and it leaves the audio
// thread with nothing that can block or wait on the module.
//
// Pacing. The player renders ahead until the ring holds its share of the
// latency and then waits; while it waits it pumps the settings sheet, reads
// the keyboard and updates the status line, so a change applied there
// reaches the ear one latency later.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "host/frame_ring.h"
#include "host/frame_sink.h"
#include "host/live_output.h"
#include "host/live_status.h"
#include "host/player.h"
#include "host/result.h"

class ChannelMuter;
class FrameChain;
class Keyboard;

constexpr uint32_t kSeekStepSeconds = 5;  // the arrows' step

constexpr uint32_t kDefaultLatencyMs = 75;
constexpr uint32_t kMinLatencyMs = 10;
constexpr uint32_t kMaxLatencyMs = 2000;

struct LiveOptions {
    bool play = false;      // --play
    std::string device;     // --device: a sink name; empty for the default
    uint32_t latencyMs = kDefaultLatencyMs;
    bool settings = false;  // --settings (j27host): the settings sheet while playing
    bool list = false;      // one of several inputs: n and p go to the next and previous
};

// The settings sheet while the music plays (j27host --settings): opened when
// playback starts, pumped on the player thread while it waits for room in
// the ring, closed at the end.
class SettingsWhilePlaying {
public:
    virtual ~SettingsWhilePlaying() = default;
    virtual Result Open() = 0;
    // frame: the output frames handed on so far, which on the exact path is
    // the emulated moment a device call made now lands at (on the clean
    // path the resampler still holds some 26 ms of them); queuedFrames:
    // finished frames still waiting in the ring before it.
    virtual void Pump(uint64_t frame, uint64_t queuedFrames) = 0;
    // How many times the page has applied its settings to the device.
    virtual int Applies() const = 0;
    virtual void Close() = 0;
};

// The last sink of a live run: frames go into the ring at the pace the
// sound output plays them. It also answers the player whether to go on.
class LivePlayer final : public PcmSink, public PlayControl {
public:
    // settings: not owned, may be null.
    LivePlayer(const LiveOptions& options, SettingsWhilePlaying* settings);
    ~LivePlayer();
    LivePlayer(const LivePlayer&) = delete;
    LivePlayer& operator=(const LivePlayer&) = delete;

    // Connects to the sound output; status: where the status line goes when
    // it is a terminal (null: nowhere). Fails with a message that says what
    // was tried and what to do.
    Result Start(int32_t rateHz, uint64_t totalFrames, const std::string& title, std::FILE* status);
    // What the keys act on (neither owned; null: keys that need it do
    // nothing): the chain's heard sink is this player, and the arrows seek
    // in it; 1 to 8 toggle a channel in the muter, 0 unmutes them all.
    void SetControls(FrameChain* chain, ChannelMuter* channels);
    // Runs play on this thread, with this player as its control: opens the
    // settings, plays, and plays out the ring. Ends early on q or Ctrl-C (no
    // failure) or when the output fails (a failure).
    Result Run(const std::function<bool(PlayControl* control)>& play);

    void Take(std::span<const PcmFrame> frames) override;
    bool GoOn() override;

    bool Interrupted() const { return interrupted; }  // Ctrl-C ended it
    // In a list, where to go now: +1 the next entry (also at the end), -1
    // the previous one, 0 stop (q, Ctrl-C, a failure).
    int ListStep() const { return listStep; }
    uint64_t Underruns() const;

private:
    // Between blocks: settings, keys, status, output health. False when the
    // frames in hand are no longer wanted (a seek).
    bool Serve();
    bool Seek(int key);
    // The device makes other frames from now on (a channel muted or
    // unmuted, settings applied): kept frames no longer stand for the song,
    // and if they were being heard again, the song starts again to play on
    // after the last frame pushed. False then: the frames in hand are not wanted.
    bool Changed();
    void ShowMuted();
    uint64_t PlayedFrames() const;  // the song's frame now playing

    LiveOptions options;
    SettingsWhilePlaying* settings;  // not owned
    std::unique_ptr<LiveOutput> output;
    std::unique_ptr<FrameRing> ring;
    std::unique_ptr<StatusLine> status;
    Keyboard* keyboard = nullptr;  // while Run runs
    FrameChain* chain = nullptr;
    ChannelMuter* channels = nullptr;
    int32_t rate = 0;
    uint64_t total = 0;
    uint64_t pushed = 0;
    uint64_t pushedTo = 0;  // the song's frame after the last pushed
    uint64_t taken = 0;     // frames handed on by the hub: its present moment
    int applies = 0;        // the settings' Applies() when last served
    bool paused = false;
    bool stopping = false;
    bool interrupted = false;
    int listStep = 1;
    Result failure;  // of the output, once it failed
};
