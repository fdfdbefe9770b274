#include "host/render_app.h"

#include <chrono>
#include <cmath>
#include <cstdlib>

#include "host/audio_output.h"
#include "host/input_file.h"
#include "host/platform.h"
#include "host/port_bus.h"
#include "host/port_script.h"
#include "host/sound_hub.h"
#include "host/vgm_reader.h"

namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long* value)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

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

std::string RenderUsage(const std::string& program, bool moduleOption)
{
    std::string text = "usage: " + program + " INPUT [-o OUT.wav] [--raw OUT.bin] [options]\n";
    if (moduleOption) {
        text += "       " + program + " settings [--module PATH]\n";
    }
    text +=
        "\n"
        "Plays INPUT through the Quarix sound device. INPUT is a VGM or VGZ file (SN76489\n"
        "commands; the second chip of dual-chip files goes to port 0xAF) or a port script\n"
        "(lines 'rate HZ', 'out PORT VALUE', 'mix FRAMES', '#' comments), told apart by content.\n"
        "\n"
        "  -o, --output FILE   write a 16-bit stereo WAV at the output rate (saturated)\n"
        "  --raw FILE          write the mixed frames exactly: 32-bit little-endian left, right\n"
        "  --rate HZ           output rate, 1000 to 768000 (default 44100); a script's own\n"
        "                      rate line wins\n"
        "  --loops N           play the looped part of a VGM N times in all (default 1)\n"
        "  --no-pitch-fix      run the chips at the output rate, ignoring the VGM's clock\n"
        "                      (the pitch then follows the chips' 3993600 Hz; the tempo stays)\n"
        "  --max-hours H       refuse renders longer than H hours (default 24)\n"
        "  -q, --quiet         no progress line and no summary\n";
    text += LiveUsage(moduleOption);
    if (moduleOption) {
        text += "  --module PATH       the sound module to load (default: Quarix.j27 beside this program)\n"
                "\n"
                "'settings' opens the configuration sheet with the module's page; the module keeps\n"
                "its settings in J27.INI beside this program.\n";
    }
    text += "  -h, --help          this text\n"
            "\n"
            "Without -o and --raw nothing is written; the summary still shows. Files are written\n"
            "under a temporary name and appear only when complete.\n";
    return text;
}

bool ParseRenderOptions(const std::vector<std::string>& args, bool moduleOption, RenderOptions* options,
                        std::string* error)
{
    *options = RenderOptions{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string* target) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *target = args[++i];
            return true;
        };
        std::string text;
        long long number = 0;
        const int live = ParseLiveOption(args, &i, moduleOption, &options->live, error);
        if (live != 0) {
            if (live < 0) return false;
        } else if (a == "-h" || a == "--help") {
            options->help = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(&options->wavPath)) return false;
        } else if (a == "--raw") {
            if (!value(&options->rawPath)) return false;
        } else if (a == "--rate") {
            if (!value(&text)) return false;
            if (!ParseInteger(text, kMinHostRateHz, kMaxHostRateHz, &number)) {
                *error = "--rate " + text + ": give a whole number of Hz from 1000 to 768000";
                return false;
            }
            options->play.rateHz = static_cast<int32_t>(number);
        } else if (a == "--loops") {
            if (!value(&text)) return false;
            if (!ParseInteger(text, 1, 1000000, &number)) {
                *error = "--loops " + text + ": give a whole number from 1 to 1000000";
                return false;
            }
            options->play.loops = static_cast<uint32_t>(number);
        } else if (a == "--no-pitch-fix") {
            options->play.pitchFix = false;
        } else if (a == "--max-hours") {
            if (!value(&text)) return false;
            char* end = nullptr;
            const double hours = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(hours > 0) || hours > kMaxHoursLimit) {
                *error = "--max-hours " + text + ": give a number of hours above 0, at most 10000";
                return false;
            }
            options->play.maxHours = hours;
        } else if (a == "-q" || a == "--quiet") {
            options->quiet = true;
        } else if (a == "--module" && moduleOption) {
            if (!value(&options->modulePath)) return false;
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option " + a + " (see --help)";
            return false;
        } else if (options->input.empty()) {
            options->input = a;
        } else {
            *error = "more than one input: " + options->input + " and " + a;
            return false;
        }
    }
    if (options->input.empty() && !options->help) {
        *error = "no input file (see --help)";
        return false;
    }
    return true;
}

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
    PortScript script;
    PlayPlan plan;
    std::vector<std::string> warnings;
    if (kind == InputKind::Vgm) {
        if (!ParseVgm(bytes.data(), bytes.size(), &song, &error, &warnings) ||
            !PlanVgm(song, options.play, &plan, &error)) {
            return fail(options.input, error);
        }
    } else if (!ParsePortScript(bytes.data(), bytes.size(), &script, &error) ||
               !PlanScript(script, options.play, &plan, &error)) {
        return fail(options.input, error);
    }
    bytes = {};
    if (!options.wavPath.empty() && plan.totalFrames * 4 > kMaxWavDataBytes) {
        return fail(options.wavPath, "more than 4 GiB of samples for a WAV file; use --raw or a shorter render");
    }
    if (!options.quiet) {
        for (const std::string& w : warnings) {
            std::fprintf(err, "%s: %s: warning: %s\n", program.c_str(), options.input.c_str(), w.c_str());
        }
    }

    AudioOutput output;
    if (!output.Open(options.wavPath, options.rawPath, plan.hostRateHz, &error)) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }
    Progress progress(!options.quiet && !options.live.play && StderrIsTerminal(), plan.totalFrames,
                      plan.hostRateHz);
    output.onProgress = [&](uint64_t frames) { progress.Show(frames, err); };
    LiveSession live(options.live, &output);
    if (!live.Start(plan.hostRateHz, plan.totalFrames, LiveTitle(options.input), options.quiet ? nullptr : err,
                    &error)) {
        std::fprintf(err, "%s: %s\n", program.c_str(), error.c_str());
        return 1;
    }

    PortBus bus;
    SoundHub hub(live.Sink());
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
        std::fprintf(out, "%s: %s at %d Hz (chips at %d Hz)\n", options.input.c_str(), Seconds(seconds).c_str(),
                     plan.hostRateHz, plan.chipRateHz);
        std::fprintf(out, "  peak %lld (%.1f dBFS), %llu clipped samples\n", static_cast<long long>(s.peak), dbfs,
                     static_cast<unsigned long long>(s.clipped));
        if (kind == InputKind::Vgm) {
            std::fprintf(out, "  %llu commands for other chips skipped\n",
                         static_cast<unsigned long long>(song.skippedCommands));
        }
        if (wall > 0) {
            std::fprintf(out, "  rendered in %.3f s: %.1f x real time\n", wall, seconds / wall);
        }
    }
    return 0;
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
    return RunRender(options, program, binding, stdout, stderr);
}
