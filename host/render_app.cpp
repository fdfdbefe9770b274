#include "host/render_app.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "contract/port_protocol.h"
#include "host/audio_output.h"
#include "host/batch.h"
#include "host/fade.h"
#include "host/gd3_tags.h"
#include "host/input_file.h"
#include "host/platform.h"
#include "host/port_bus.h"
#include "host/port_script.h"
#include "host/song_info.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"

namespace {

std::string Seconds(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

// Progress on a terminal, at most a few times a second.
class Progress {
public:
    Progress(bool enabled, uint64_t totalFrames, int32_t rateHz)
        : on(enabled), total(totalFrames), rate(rateHz), last(std::chrono::steady_clock::now())
    {
    }

    void Show(uint64_t frames, std::FILE* err)
    {
        if (!on) {
            return;
        }
        const auto t = std::chrono::steady_clock::now();
        if (t - last < std::chrono::milliseconds(250) && frames < total) {
            return;
        }
        last = t;
        const double percent = total > 0 ? 100.0 * static_cast<double>(frames) / static_cast<double>(total) : 100.0;
        std::fprintf(err, "\r%10.1f s of %.1f s (%3.0f%%)", static_cast<double>(frames) / rate,
                     static_cast<double>(total) / rate, percent);
        std::fflush(err);
        shown = true;
    }

    void End(std::FILE* err)
    {
        if (shown) {
            std::fprintf(err, "\r%60s\r", "");
        }
    }

private:
    bool on;
    uint64_t total;
    int32_t rate;
    std::chrono::steady_clock::time_point last;
    bool shown = false;
};

}  // namespace

int RunRender(const RenderOptions& options, const std::string& program, DeviceBinding& binding, std::FILE* out,
              std::FILE* err)
{
    const auto fail = [&](const std::string& file, const std::string& why) {
        std::fprintf(err, "%s: %s: %s\n", program.c_str(), file.c_str(), why.c_str());
        return 1;
    };
    std::vector<uint8_t> bytes;
    std::string error;
    InputKind kind;
    if (!ReadFileBytes(options.input, kMaxInputBytes, &bytes, &error) ||
        !PrepareInput(&bytes, kMaxInputBytes, &kind, &error)) {
        return fail(options.input, error);
    }

    VgmSong song;
    Gd3Tags tags;
    PortScript script;
    PlayPlan plan;
    std::vector<std::string> warnings;
    if (kind == InputKind::Vgm) {
        if (!ParseVgm(bytes.data(), bytes.size(), &song, &error, &warnings)) {
            return fail(options.input, error);
        }
        std::string warning;
        if (!ReadGd3Tags(bytes.data(), bytes.size(), song.gd3Offset, &tags, &warning)) {
            warnings.push_back(warning);
        }
    } else if (!ParsePortScript(bytes.data(), bytes.size(), &script, &error)) {
        return fail(options.input, error);
    }
    bytes = {};
    const auto warn = [&] {
        if (!options.quiet) {
            for (const std::string& w : warnings) {
                std::fprintf(err, "%s: %s: warning: %s\n", program.c_str(), options.input.c_str(), w.c_str());
            }
        }
    };
    if (options.info) {
        warn();
        const std::string report = kind == InputKind::Vgm ? DescribeVgm(song, tags) : DescribeScript(script);
        std::fprintf(out, "%s\n%s", options.input.c_str(), TextForStream(report, out).c_str());
        return 0;
    }
    if (kind == InputKind::Vgm ? !PlanVgm(song, options.play, &plan, &error)
                               : !PlanScript(script, options.play, &plan, &error)) {
        return fail(options.input, error);
    }
    if (!options.wavPath.empty() && plan.rateChangeLine != 0) {
        return fail(options.input, "line " + std::to_string(plan.rateChangeLine) +
                                       ": the rate changes after the first mix, which a WAV cannot hold; "
                                       "use --raw");
    }
    if (!options.wavPath.empty() && plan.totalFrames * 4 > kMaxWavDataBytes) {
        return fail(options.wavPath, "more than 4 GiB of samples for a WAV file; use --raw or a shorter render");
    }
    if (options.play.fadeMs > 0 && plan.fadeFrames == 0) {
        warnings.push_back("--fade: not a looped VGM, played to its end without a fade");
    }
    warn();

    AudioOutput output;
    if (!output.Open(options.wavPath, options.rawPath, plan.hostRateHz, plan.totalFrames, out, &error)) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    Progress progress(!options.quiet && !options.batchLine && !options.live.play && IsTerminal(err),
                      plan.totalFrames, plan.hostRateHz);
    output.onProgress = [&](uint64_t frames) { progress.Show(frames, err); };
    LiveSession live(options.live, &output);
    // The status line shows the VGM's own title, in the terminal's encoding.
    const std::string statusTitle = TextForStream(SongTitle(tags, ""), err);
    if (!live.Start(plan.hostRateHz, plan.totalFrames, statusTitle, options.quiet ? nullptr : err, &error)) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }

    PortBus bus;
    // Faded frames are what plays and what the files hold.
    FadeSink fade(live.Sink(), plan.fadeStartFrame, plan.fadeFrames);
    SoundHub hub(&fade);
    if (!binding.Bind(bus, hub, &error)) {
        binding.Release();
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    std::string liveError;
    const bool played = live.Run(
        [&] {
            if (kind == InputKind::Vgm) {
                PlayVgm(song, options.play, plan, bus, hub);
            } else {
                PlayScript(script, plan, bus, hub);
            }
        },
        &liveError);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    binding.Release();
    progress.End(err);
    if (!output.Finish(&error)) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    if (options.live.play && !LiveReport(live, played, liveError, program, err)) {
        return 1;
    }

    if (!options.quiet) {
        const RenderStats& s = output.Stats();
        const double seconds = static_cast<double>(s.frames) / plan.hostRateHz;
        const double dbfs = s.peak > 0 ? 20.0 * std::log10(static_cast<double>(s.peak) / 32767.0) : -INFINITY;
        if (options.batchLine) {
            const std::string title = SongTitle(tags, "");
            const std::string written = !options.wavPath.empty() ? " -> " + options.wavPath : std::string();
            std::fprintf(err, "%s%s: %s, peak %.1f dBFS%s\n", options.input.c_str(),
                         TextForStream(title.empty() ? "" : " (" + title + ")", err).c_str(),
                         Seconds(seconds).c_str(), dbfs, written.c_str());
            return 0;
        }
        std::fputs(TextForStream(FormatGd3Tags(tags), err).c_str(), err);
        std::fprintf(err, "%s: %s at %d Hz (chips at %d Hz)\n", options.input.c_str(), Seconds(seconds).c_str(),
                     plan.hostRateHz, plan.chipRateHz);
        std::fprintf(err, "  %llu frames\n", static_cast<unsigned long long>(s.frames));
        std::fprintf(err, "  peak %lld (%.1f dBFS), %llu clipped samples\n", static_cast<long long>(s.peak), dbfs,
                     static_cast<unsigned long long>(s.clipped));
        if (kind == InputKind::Vgm) {
            std::fprintf(err, "  %llu commands for other chips skipped\n",
                         static_cast<unsigned long long>(song.skippedCommands));
        }
        if (plan.fadeFrames > 0) {
            std::fprintf(err, "  faded out over the last %s\n",
                         Seconds(static_cast<double>(plan.fadeFrames) / plan.hostRateHz).c_str());
        }
        if (wall > 0) {
            std::fprintf(err, "  rendered in %.3f s: %.1f x real time\n", wall, seconds / wall);
        }
    }
    return 0;
}

int RunInputs(const RenderOptions& options, const std::string& program, DeviceBinding& binding, std::FILE* out,
              std::FILE* err)
{
    if (!options.Batch()) {
        return RunRender(options, program, binding, out, err);
    }
    // Played files take their turns at the sound output, one after another.
    const int jobs = options.live.play ? 1 : options.jobs > 0 ? options.jobs : ProcessorCount();
    return RunBatch(
        options, program,
        [&](const RenderOptions& one, std::FILE* messages) { return RunRender(one, program, binding, out, messages); },
        jobs, err);
}

int RenderMain(int argc, char** argv, const std::string& program, bool moduleOption, DeviceBinding& binding)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    RenderOptions options;
    std::string error;
    if (!ParseRenderOptions(args, moduleOption, &options, &error)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(RenderUsage(program, moduleOption).c_str(), stdout);
        return 0;
    }
    return RunInputs(options, program, binding, stdout, stderr);
}
