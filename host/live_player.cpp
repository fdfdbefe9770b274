#include "host/live_player.h"

#include <chrono>
#include <thread>

#include "host/keyboard.h"
#include "host/platform.h"

LivePlayer::LivePlayer(const LiveOptions& liveOptions, SettingsWhilePlaying* sheet)
    : options(liveOptions), settings(sheet)
{
}

LivePlayer::~LivePlayer()
{
    if (output != nullptr) {
        output->Close();
    }
}

Result LivePlayer::Start(int32_t rateHz, uint64_t totalFrames, const std::string& title, std::FILE* statusFile)
{
    status = std::make_unique<StatusLine>(statusFile != nullptr && IsTerminal(statusFile) ? statusFile : nullptr,
                                          rateHz, totalFrames, title,
                                          options.list ? "space pause, n next, p previous, q quit" : "space pause, q quit");
    // Half the latency waits in the ring, half in the sound system's buffer.
    const uint64_t latencyFrames = static_cast<uint64_t>(rateHz) * options.latencyMs / 1000;
    const uint32_t half = static_cast<uint32_t>(latencyFrames / 2 > 64 ? latencyFrames / 2 : 64);
    ring = std::make_unique<FrameRing>(half);
    output = CreateLiveOutput();
    return output->Open(options.device, rateHz, half, ring.get());
}

Result LivePlayer::Run(const std::function<bool(PlayControl* control)>& play)
{
    Keyboard keys;
    keyboard = &keys;
    Result played = settings != nullptr ? settings->Open() : Result();
    if (played.Ok()) {
        played = play(this) ? output->Drain() : failure;
    }
    if (settings != nullptr) {
        settings->Close();
    }
    output->Close();
    keyboard = nullptr;
    status->Show(PlayedFrames(), paused, Underruns(), true);
    status->End();
    return played;
}

uint64_t LivePlayer::Underruns() const
{
    return output != nullptr ? output->Underruns() : 0;
}

uint64_t LivePlayer::PlayedFrames() const
{
    const uint64_t waiting = ring != nullptr ? ring->Fill() : 0;
    return pushed > waiting ? pushed - waiting : 0;
}

void LivePlayer::Take(std::span<const PcmFrame> frames)
{
    taken += frames.size();
    // The output's thread only copies: the frames are finished here.
    size_t done = 0;
    while (!stopping) {
        if (!paused) {
            const size_t n = ring->Push(frames.data() + done, frames.size() - done);
            done += n;
            pushed += n;
        }
        Serve();
        if (done == frames.size()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void LivePlayer::Serve()
{
    if (settings != nullptr) {
        settings->Pump(taken, ring->Fill());
    }
    const int key = keyboard != nullptr ? keyboard->NextKey() : 0;
    if (key == ' ') {
        paused = !paused;
        output->SetPaused(paused);
        status->Show(PlayedFrames(), paused, Underruns(), true);
    } else if (key == 'q' || key == 'Q') {
        stopping = true;
        listStep = 0;
    } else if (options.list && (key == 'n' || key == 'p')) {
        stopping = true;
        listStep = key == 'n' ? 1 : -1;
    }
    if (keyboard != nullptr && keyboard->Interrupted()) {
        interrupted = true;
        stopping = true;
        listStep = 0;
    }
    const Result health = output->Health();
    if (!health.Ok()) {
        failure = health;
        stopping = true;
        listStep = 0;
    }
    status->Show(PlayedFrames(), paused, Underruns(), false);
}
