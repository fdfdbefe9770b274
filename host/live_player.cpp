#include "host/live_player.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "host/audio_output.h"

#include "host/keyboard.h"
#include "host/platform.h"

namespace {

// Thrown out of Take to leave the playback loop on q, Ctrl-C or a failed
// output. Only host code lies between Take and Run: the module is never on
// the stack when the hub hands frames on.
struct PlaybackStopped {};

std::string Clock(uint64_t frames, int32_t rateHz)
{
    const uint64_t seconds = rateHz > 0 ? frames / static_cast<uint64_t>(rateHz) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

thread_local Keyboard* keyboard = nullptr;

}  // namespace

std::string LiveUsage(bool moduleOption)
{
    std::string text =
        "  --play              play through the system's sound output as well (space pauses,\n"
        "                      q or Ctrl-C stops); -o and --raw still write the same files\n"
        "  --device NAME       the sound output to play on (default: the system's default)\n"
        "  --latency MS        how far playback runs ahead, 10 to 2000 ms (default 75)\n";
    if (moduleOption) {
        text += "  --settings          with --play: the configuration sheet while the music plays\n";
    }
    return text;
}

int ParseLiveOption(const std::vector<std::string>& args, size_t* i, bool moduleOption, LiveOptions* options,
                    std::string* error)
{
    const std::string& a = args[*i];
    const auto value = [&](std::string* target) {
        if (*i + 1 >= args.size()) {
            *error = a + " needs a value";
            return false;
        }
        *target = args[++*i];
        return true;
    };
    if (a == "--play") {
        options->play = true;
    } else if (a == "--device") {
        if (!value(&options->device)) return -1;
    } else if (a == "--latency") {
        std::string text;
        if (!value(&text)) return -1;
        char* end = nullptr;
        const long ms = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || ms < static_cast<long>(kMinLatencyMs) ||
            ms > static_cast<long>(kMaxLatencyMs)) {
            *error = "--latency " + text + ": give a whole number of milliseconds from 10 to 2000";
            return -1;
        }
        options->latencyMs = static_cast<uint32_t>(ms);
    } else if (a == "--settings" && moduleOption) {
        options->settings = true;
    } else {
        return 0;
    }
    return 1;
}

LiveSession::LiveSession(const LiveOptions& liveOptions, FrameSink* fileSink)
    : options(liveOptions), files(fileSink)
{
}

LiveSession::~LiveSession()
{
    if (output != nullptr) {
        output->Close();
    }
}

bool LiveSession::Start(int32_t rateHz, uint64_t totalFrames, const std::string& songTitle, std::FILE* status,
                        std::string* error)
{
    if (!options.play) {
        if (options.settings || !options.device.empty()) {
            *error = std::string(options.settings ? "--settings" : "--device") + " needs --play";
            return false;
        }
        return true;
    }
    rate = rateHz;
    total = totalFrames;
    title = songTitle;
    statusFile = status != nullptr && IsTerminal(status) ? status : nullptr;
    // Half the latency waits in the ring, half in the sound system's buffer.
    const uint64_t latencyFrames = static_cast<uint64_t>(rateHz) * options.latencyMs / 1000;
    const uint32_t half = static_cast<uint32_t>(latencyFrames / 2 > 64 ? latencyFrames / 2 : 64);
    ring = std::make_unique<FrameRing>(half);
    output = CreateLiveOutput();
    return output->Open(options.device, rateHz, half, ring.get(), error);
}

FrameSink* LiveSession::Sink()
{
    return options.play ? static_cast<FrameSink*>(this) : files;
}

bool LiveSession::Run(const std::function<void()>& play, std::string* error)
{
    if (!options.play) {
        play();
        return true;
    }
    Keyboard keys;
    keyboard = &keys;
    bool ok = true;
    if (options.companion != nullptr && !options.companion->Open(error)) {
        keyboard = nullptr;
        return false;
    }
    try {
        play();
        ok = output->Drain(&failure);
    } catch (const PlaybackStopped&) {
        ok = failure.empty();
    }
    if (options.companion != nullptr) {
        options.companion->Close();
    }
    output->Close();
    keyboard = nullptr;
    ShowStatus(true);
    if (statusFile != nullptr) {
        std::fputc('\n', statusFile);
    }
    if (!ok) {
        *error = failure;
    }
    return ok;
}

uint64_t LiveSession::Underruns() const
{
    return output != nullptr ? output->Underruns() : 0;
}

uint64_t LiveSession::PlayedFrames() const
{
    const uint64_t waiting = ring != nullptr ? ring->Fill() : 0;
    return pushed > waiting ? pushed - waiting : 0;
}

void LiveSession::Take(const StereoFrame* frames, size_t count)
{
    if (files != nullptr) {
        files->Take(frames, count);
    }
    taken += count;
    if (stopping) {
        throw PlaybackStopped{};
    }
    // The device's thread only copies: the frames are finished here.
    pcm.resize(count);
    for (size_t k = 0; k < count; ++k) {
        pcm[k] = {SaturateSample(frames[k].left), SaturateSample(frames[k].right)};
    }
    size_t done = 0;
    for (;;) {
        if (!paused) {
            const size_t n = ring->Push(pcm.data() + done, count - done);
            done += n;
            pushed += n;
        }
        Serve();
        if (done == count) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void LiveSession::Serve()
{
    if (options.companion != nullptr) {
        options.companion->Pump(taken, ring->Fill());
    }
    const int key = keyboard != nullptr ? keyboard->NextKey() : 0;
    if (key == ' ') {
        paused = !paused;
        output->SetPaused(paused);
        ShowStatus(true);
    } else if (key == 'q' || key == 'Q') {
        stopping = true;
    }
    if (keyboard != nullptr && keyboard->Interrupted()) {
        interrupted = true;
        stopping = true;
    }
    if (!output->Healthy(&failure)) {
        stopping = true;
    }
    ShowStatus(false);
    if (stopping) {
        throw PlaybackStopped{};
    }
}

void LiveSession::ShowStatus(bool force)
{
    if (statusFile == nullptr) {
        return;
    }
    const int64_t now = NowMs();
    if (!force && now - lastStatusMs < 250) {
        return;
    }
    lastStatusMs = now;
    std::string line = "  " + Clock(PlayedFrames(), rate) + " / " + Clock(total, rate);
    if (!title.empty()) {
        line += "  " + title;
    }
    if (paused) {
        line += "  [paused]";
    }
    const uint64_t underruns = Underruns();
    if (underruns > 0) {
        line += "  underruns " + std::to_string(underruns);
    }
    line += "  (space pause, q quit)";
    const size_t width = line.size();
    if (width < statusWidth) {
        line.append(statusWidth - width, ' ');
    }
    statusWidth = width;
    std::fprintf(statusFile, "\r%s", line.c_str());
    std::fflush(statusFile);
}

bool LiveReport(const LiveSession& live, bool played, const std::string& error, const std::string& program,
                std::FILE* err)
{
    if (!played) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return false;
    }
    std::fprintf(err, "%s: played live%s, %llu underruns\n", program.c_str(),
                 live.Interrupted() ? " until interrupted" : "", static_cast<unsigned long long>(live.Underruns()));
    return true;
}
