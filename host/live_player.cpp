#include "host/live_player.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/channels.h"
#include "host/frame_chain.h"
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
    rate = rateHz;
    total = totalFrames;
    const std::string keys = std::string("space pause, 1-8 mute, 0 all on, arrows seek, ") +
                             (options.list ? "n next, p previous, " : "") + "q quit";
    status = std::make_unique<StatusLine>(statusFile != nullptr && IsTerminal(statusFile) ? statusFile : nullptr,
                                          rateHz, totalFrames, title, keys);
    // Half the latency waits in the ring, half in the sound system's buffer.
    const uint64_t latencyFrames = static_cast<uint64_t>(rateHz) * options.latencyMs / 1000;
    const uint32_t half = static_cast<uint32_t>(latencyFrames / 2 > 64 ? latencyFrames / 2 : 64);
    ring = std::make_unique<FrameRing>(half);
    output = CreateLiveOutput();
    return output->Open(options.device, rateHz, half, ring.get());
}

void LivePlayer::SetControls(FrameChain* frameChain, ChannelMuter* muter)
{
    chain = frameChain;
    channels = muter;
    ShowMuted();
}

bool LivePlayer::GoOn()
{
    if (stopping && chain != nullptr) {
        chain->SeekTo(chain->Position());  // a stop outweighs a seek back
    }
    return !stopping && (chain == nullptr || !chain->RestartPending());
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
    const uint64_t to = chain != nullptr ? pushedTo : pushed;
    return to > waiting ? to - waiting : 0;
}

void LivePlayer::Take(std::span<const PcmFrame> frames)
{
    // With a chain, these end where it says; before them some may have gone unheard.
    const uint64_t first = chain != nullptr ? chain->HeardEnd() - frames.size() : pushed;
    taken = chain != nullptr ? chain->Position() : taken + frames.size();
    // The output's thread only copies: the frames are finished here.
    size_t done = 0;
    while (!stopping) {
        if (!paused) {
            const size_t n = ring->Push(frames.data() + done, frames.size() - done);
            done += n;
            pushed += n;
            pushedTo = first + done;
        }
        if (!Serve() || done == frames.size()) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// The arrows: kSeekStepSeconds back or on from the frame now playing.
bool LivePlayer::Seek(int key)
{
    if (chain == nullptr) {
        return false;
    }
    const uint64_t step = uint64_t{kSeekStepSeconds} * static_cast<uint64_t>(rate);
    const uint64_t now = PlayedFrames();
    const uint64_t target = key == kKeyRight ? std::min(now + step, total) : now > step ? now - step : 0;
    chain->SeekTo(target);
    pushedTo = target;
    return true;
}

bool LivePlayer::Changed()
{
    // The frames in the ring still play; the song started again takes over
    // after them (or at the target of a seek not yet served).
    return chain == nullptr || !chain->ForgetHeard(pushedTo);
}

void LivePlayer::ShowMuted()
{
    if (status != nullptr) {
        status->SetMuted(channels != nullptr ? ChannelListText(channels->Muted()) : std::string());
    }
}

bool LivePlayer::Serve()
{
    bool wanted = true;
    if (settings != nullptr) {
        settings->Pump(taken, ring->Fill());
        if (settings->Applies() != applies) {
            applies = settings->Applies();
            wanted = Changed();
        }
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
    } else if (key == kKeyLeft || key == kKeyRight) {
        wanted = !Seek(key);
    } else if (key >= '0' && key <= '0' + kChannelCount && channels != nullptr) {
        // Acts at once: the writes land at the hub's present moment.
        channels->SetMuted(key == '0' ? 0 : static_cast<ChannelSet>(channels->Muted() ^ ChannelBit(key - '0')));
        wanted = Changed() && wanted;
        ShowMuted();
        status->Show(PlayedFrames(), paused, Underruns(), true);
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
    return wanted;
}
