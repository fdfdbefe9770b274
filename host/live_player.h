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
#include <vector>

#include "host/frame_ring.h"
#include "host/live_output.h"
#include "host/sound_hub.h"

constexpr uint32_t kDefaultLatencyMs = 75;
constexpr uint32_t kMinLatencyMs = 10;
constexpr uint32_t kMaxLatencyMs = 2000;

// Work a front end does on the player thread between blocks while playing:
// j27host's settings sheet. The player opens it when playback starts, pumps
// it while it waits for room in the ring and closes it at the end.
class LiveCompanion {
public:
    virtual ~LiveCompanion() = default;
    virtual bool Open(std::string* error) = 0;
    // frame: the emulated moment a device call made now lands at;
    // queuedFrames: finished frames still waiting in the ring before it.
    virtual void Pump(uint64_t frame, uint64_t queuedFrames) = 0;
    virtual void Close() = 0;
};

struct LiveOptions {
    bool play = false;           // --play
    std::string device;          // --device: a sink name; empty for the default
    uint32_t latencyMs = kDefaultLatencyMs;
    bool settings = false;       // --settings (j27host): the settings sheet while playing
    LiveCompanion* companion = nullptr;  // not owned; set by the front end for --settings
};

// The live options' lines of the help text.
std::string LiveUsage(bool moduleOption);

// Handles args[*i] when it is a live option, taking its value (and moving
// *i past it). 1: handled; 0: not a live option; -1: bad, with a message.
int ParseLiveOption(const std::vector<std::string>& args, size_t* i, bool moduleOption, LiveOptions* options,
                    std::string* error);

// The sink the hub hands its frames to. Without --play it is the file
// output itself; with it, frames go to the files and then into the ring,
// at the pace the sound output plays them.
class LiveSession final : public FrameSink {
public:
    // files: not owned, may be null.
    LiveSession(const LiveOptions& options, FrameSink* files);
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Connects to the sound output (nothing without --play). False with a
    // message that says what was tried and what to do.
    bool Start(int32_t rateHz, uint64_t totalFrames, const std::string& title, std::FILE* status,
               std::string* error);
    // What the hub should be given.
    FrameSink* Sink();
    // Runs play on this thread: opens the companion, plays, and plays out
    // the ring. Stops early on q or Ctrl-C (true) or when the output fails
    // (false, with a message). Without --play it just calls play.
    bool Run(const std::function<void()>& play, std::string* error);

    void Take(const StereoFrame* frames, size_t count) override;

    bool Interrupted() const { return interrupted; }  // Ctrl-C ended it
    uint64_t Underruns() const;

private:
    void Serve();     // between blocks: companion, keys, status, output health
    void ShowStatus(bool force);
    uint64_t PlayedFrames() const;

    LiveOptions options;
    FrameSink* files;  // not owned
    std::unique_ptr<LiveOutput> output;
    std::unique_ptr<FrameRing> ring;
    std::vector<PcmFrame> pcm;
    int32_t rate = 0;
    uint64_t total = 0;
    uint64_t pushed = 0;
    uint64_t taken = 0;  // frames the hub has handed on: its present moment
    std::string title;
    std::FILE* statusFile = nullptr;  // null: no status line
    bool paused = false;
    bool stopping = false;
    bool interrupted = false;
    std::string failure;
    int64_t lastStatusMs = -1000;
    size_t statusWidth = 0;
};

// After a live run: one line with the underruns, or the failure. False when
// playback failed.
bool LiveReport(const LiveSession& live, bool played, const std::string& error, const std::string& program,
                std::FILE* err);
