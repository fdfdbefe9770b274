#include "host/render.h"

#include <chrono>
#include <memory>

#include "host/channels.h"
#include "host/fade.h"
#include "host/file_writer.h"
#include "host/frame_chain.h"
#include "host/live_player.h"
#include "host/meter.h"
#include "host/platform.h"
#include "host/playlist.h"
#include "host/port_bus.h"
#include "host/progress_line.h"
#include "host/resample_stage.h"
#include "host/sound_hub.h"
#include "host/source.h"
#include "host/text.h"

namespace {

// Where output begins (--start): the first frame before the last stage, and after it.
struct StartFrames {
    uint64_t module = 0;
    uint64_t output = 0;
};

// The stages and sinks of one run, in the order frames pass them.
struct Pipeline {
    Pipeline(const PlayPlan& plan, StartFrames start) : startFrames(start), fade(plan.fadeStartFrame, plan.fadeFrames)
    {
    }

    StartFrames startFrames;  // --start

    FadeStage fade;  // on the module's frames: what the raw file holds, and what is resampled
    std::unique_ptr<ResampleStage> resample;  // the clean path
    Meter meter;
    std::unique_ptr<FileWriter> files;
    std::unique_ptr<ProgressLine> progress;
    SettingsWhilePlaying* sheet = nullptr;  // the binding's
    std::unique_ptr<LivePlayer> live;
    FrameChain chain;
};

void Warn(const RenderOptions& options, const RunContext& context, const std::vector<std::string>& warnings)
{
    if (options.quiet) {
        return;
    }
    for (const std::string& w : warnings) {
        std::fprintf(context.err, "%s: %s: warning: %s\n", context.program.c_str(), options.input.c_str(), w.c_str());
    }
}

// What the outputs asked for cannot hold.
Result CheckOutputs(const RenderOptions& options, const PlayPlan& plan)
{
    const bool flac = OutputFormat(options.wavPath, options.format) == SoundFormat::Flac;
    if (!options.wavPath.empty() && plan.rateChangeLine != 0) {
        return Result::Failure(options.input + ": line " + std::to_string(plan.rateChangeLine) +
                               ": the rate changes after the first mix, which " + (flac ? "a FLAC file" : "a WAV") +
                               " cannot hold; use --raw");
    }
    if (!options.wavPath.empty() && !flac && plan.outputFrames * 4 > kMaxWavDataBytes) {
        return Result::Failure(options.wavPath +
                               ": more than 4 GiB of samples for a WAV file; use --raw or a shorter render");
    }
    return {};
}

// Opens the files; the raw file takes the module's frames, before any resampler.
Result AddFiles(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan,
                Pipeline* p)
{
    if (options.wavPath.empty() && options.rawPath.empty()) {
        return {};
    }
    p->files = std::make_unique<FileWriter>();
    const Result opened = p->files->Open(options.wavPath, options.rawPath, plan.hostRateHz,
                                         plan.outputFrames - p->startFrames.output, context.out,
                                         OutputFormat(options.wavPath, options.format), source.TagFields());
    if (p->files->WritesRaw()) {
        p->chain.AddSink(static_cast<FrameSink*>(p->files.get()));
    }
    return opened;
}

Result AddLive(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan,
               Pipeline* p)
{
    if (!options.live.play) {
        return {};
    }
    if (options.live.settings) {
        p->sheet = context.binding->SettingsSheet();
    }
    p->live = std::make_unique<LivePlayer>(options.live, p->sheet);
    p->chain.AddHeardSink(p->live.get());
    // The status line shows the VGM's own title, in the terminal's encoding,
    // after the place in a list.
    const std::string place = options.listPlace.empty() ? std::string() : "[" + options.listPlace + "] ";
    const std::string title = TextForStream(place + source.Title(), context.err);
    return p->live->Start(plan.hostRateHz, plan.outputFrames, title, options.quiet ? nullptr : context.err);
}

Result BuildPipeline(const RenderOptions& options, const RunContext& context, const Source& source,
                     const PlayPlan& plan, Pipeline* p)
{
    p->chain.StartAt(p->startFrames.module, p->startFrames.output);
    p->chain.AddStage(&p->fade);
    Result built = AddFiles(options, context, source, plan, p);
    if (built.Ok() && plan.resampled) {
        built = ResampleStage::Create(plan.frameRate, plan.hostRateHz, plan.totalFrames, plan.outputFrames,
                                      &p->resample);
        if (built.Ok()) {
            p->chain.AddStage(p->resample.get());
        }
    }
    if (!built.Ok()) {
        return built;
    }
    p->chain.AddSink(&p->meter);
    if (p->files != nullptr && p->files->WritesWav()) {
        p->chain.AddSink(static_cast<PcmSink*>(p->files.get()));
    }
    if (!options.quiet && !options.batchLine && !options.live.play && IsTerminal(context.err)) {
        p->progress = std::make_unique<ProgressLine>(context.err, plan.outputFrames - p->startFrames.output,
                                                     plan.hostRateHz);
        p->chain.AddSink(p->progress.get());
    }
    return AddLive(options, context, source, plan, p);
}

// Plays through the bound device, releases it and flushes the pipeline. A
// failure: live playback failed.
Result Play(const Source& source, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, DeviceBinding& binding,
            Pipeline& p, double* wallSeconds)
{
    const auto start = std::chrono::steady_clock::now();
    Result played;
    if (p.live != nullptr) {
        played = p.live->Run([&](PlayControl* control) {
            return PlayAcrossSeeks(source, plan, bus, hub, p.chain, control);
        });
    } else {
        source.Play(plan, bus, hub, nullptr);  // without a control nothing ends it early
    }
    *wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    binding.Release();
    p.chain.Finish();
    if (p.resample != nullptr && !p.resample->Failure().Ok()) {
        return p.resample->Failure();
    }
    return played;
}

// " (taken as 223721.5625 Hz)" when the clean path's frames stand for
// another rate than the chips ran at: a file logged for another clock.
std::string TakenAs(const PlayPlan& plan)
{
    if (plan.frameRate.numerator == static_cast<uint64_t>(plan.chipRateHz) * plan.frameRate.denominator) {
        return {};
    }
    return " (taken as " + FormatFrameRate(plan.frameRate) + " Hz)";
}

void Summarize(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan,
               const Meter& meter, uint64_t rawFrames, double wallSeconds)
{
    std::FILE* err = context.err;
    const double seconds = static_cast<double>(meter.Frames()) / plan.hostRateHz;
    const std::string duration = FormatDuration(seconds, DurationStyle::Seconds);
    if (options.batchLine) {
        const std::string title = source.Title();
        const std::string written = !options.wavPath.empty() ? " -> " + options.wavPath : std::string();
        std::fprintf(err, "%s%s: %s, peak %.1f dBFS%s\n", options.input.c_str(),
                     TextForStream(title.empty() ? "" : " (" + title + ")", err).c_str(), duration.c_str(),
                     meter.PeakDbfs(), written.c_str());
        return;
    }
    std::fputs(TextForStream(source.TagLines(), err).c_str(), err);
    const std::string chips = std::to_string(plan.chipRateHz) + " Hz";
    const std::string from =
        plan.resampled ? ", resampled from the chips at " + chips + TakenAs(plan) : " (chips at " + chips + ")";
    std::fprintf(err, "%s: %s at %d Hz%s\n", options.input.c_str(), duration.c_str(), plan.hostRateHz, from.c_str());
    std::fprintf(err, "  %llu frames\n", static_cast<unsigned long long>(meter.Frames()));
    if (plan.resampled && !options.rawPath.empty()) {
        std::fprintf(err, "  raw file: %llu frames as the chips made them, %s per second\n",
                     static_cast<unsigned long long>(rawFrames), FormatFrameRate(plan.frameRate).c_str());
    }
    std::fprintf(err, "  peak %lld (%.1f dBFS), %llu clipped samples\n", static_cast<long long>(meter.Peak()),
                 meter.PeakDbfs(), static_cast<unsigned long long>(meter.Clipped()));
    if (options.Muted() != 0) {
        std::fprintf(err, "  channels muted: %s\n", ChannelListText(options.Muted()).c_str());
    }
    std::fputs(source.NoteLines().c_str(), err);
    if (plan.fadeFrames > 0) {
        const double fadeSeconds = static_cast<double>(plan.fadeFrames) / plan.frameRate.Hz();
        const std::string fade = FormatDuration(fadeSeconds, DurationStyle::Seconds);
        std::fprintf(err, "  faded out over the last %s\n", fade.c_str());
    }
    if (wallSeconds > 0) {
        std::fprintf(err, "  rendered in %.3f s: %.1f x real time\n", wallSeconds, seconds / wallSeconds);
    }
}

// Where --start begins output, in the module's frames and the output's.
Result StartAt(const RenderOptions& options, const PlayPlan& plan, StartFrames* start)
{
    if (options.startMs == 0) {
        return {};
    }
    const std::string asked = "--start " + FormatDuration(static_cast<double>(options.startMs) / 1000, DurationStyle::Seconds);
    if (plan.rateChangeLine != 0) {
        return Result::Failure(options.input + ": " + asked + ": the rate changes at line " +
                               std::to_string(plan.rateChangeLine) + ", so a time is no place in the frames");
    }
    start->module = ScaleFrames(options.startMs, plan.frameRate.numerator, uint64_t{plan.frameRate.denominator} * 1000);
    start->output = ScaleFrames(options.startMs, static_cast<uint64_t>(plan.hostRateHz), 1000);
    if (start->output >= plan.outputFrames) {
        const double length = static_cast<double>(plan.outputFrames) / plan.hostRateHz;
        return Result::Failure(options.input + ": " + asked + ": the song ends at " +
                               FormatDuration(length, DurationStyle::Seconds));
    }
    return {};
}

// Builds the pipeline, binds the device, plays, finishes the files and reports.
Result Render(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan,
              ChannelSet* sounded)
{
    StartFrames start;
    const Result started = StartAt(options, plan, &start);
    if (!started.Ok()) {
        return started;
    }
    Pipeline p(plan, start);
    const Result built = BuildPipeline(options, context, source, plan, &p);
    if (!built.Ok()) {
        return built;
    }
    PortBus bus;
    SoundHub hub(&p.chain);
    const Result bound = context.binding->Bind(bus, hub);
    if (!bound.Ok()) {
        context.binding->Release();
        return bound;
    }
    ChannelMuter muter(bus, options.Muted());
    if (p.live != nullptr) {
        p.live->SetControls(&p.chain, &muter);
    }
    double wallSeconds = 0;
    const Result played = Play(source, plan, muter, hub, *context.binding, p, &wallSeconds);
    if (sounded != nullptr) {
        *sounded = muter.Sounded();
    }
    if (p.progress != nullptr) {
        p.progress->End();
    }
    // A live run that fails keeps what it wrote, as complete files.
    const Result finished = p.files != nullptr ? p.files->Finish() : Result();
    if (!finished.Ok() || !played.Ok()) {
        return finished.Ok() ? played : finished;
    }
    if (p.live != nullptr && context.listStep != nullptr) {
        *context.listStep = p.live->ListStep();
    }
    if (p.live != nullptr) {
        std::fprintf(context.err, "%s: played live%s, %llu underruns\n", context.program.c_str(),
                     p.live->Interrupted() ? " until interrupted" : "",
                     static_cast<unsigned long long>(p.live->Underruns()));
    }
    if (!options.quiet) {
        const uint64_t rawFrames = p.resample != nullptr ? p.resample->Taken() : p.meter.Frames();
        Summarize(options, context, source, plan, p.meter, rawFrames, wallSeconds);
    }
    return {};
}

// "dir/song.wav", 3: "dir/song-3.wav".
std::string StemPath(const std::string& path, int channel)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : path.size();
    return path.substr(0, at) + "-" + std::to_string(channel) + path.substr(at);
}

// After the mix: a pass of its own for every channel that sounded in it.
Result RenderStems(const RenderOptions& options, const RunContext& context, const Source& source,
                   const PlayPlan& plan, ChannelSet sounded)
{
    const ChannelSet stems = static_cast<ChannelSet>(sounded & ~options.Muted());
    for (int k = 1; k <= kChannelCount; ++k) {
        if ((stems & ChannelBit(k)) == 0) {
            continue;
        }
        RenderOptions stem = options;
        stem.wavPath = StemPath(options.wavPath, k);
        stem.rawPath = options.rawPath.empty() ? std::string() : StemPath(options.rawPath, k);
        stem.mute = static_cast<ChannelSet>(~ChannelBit(k));
        stem.solo = 0;
        stem.quiet = true;
        const Result rendered = Render(stem, context, source, plan, nullptr);
        if (!rendered.Ok()) {
            return rendered;
        }
    }
    if (!options.quiet && !options.batchLine) {
        std::string pattern = StemPath(options.wavPath, 0);
        pattern.replace(pattern.rfind("-0"), 2, "-K");
        std::fprintf(context.err, "  stems: %s for channels %s\n", pattern.c_str(),
                     stems != 0 ? ChannelListText(stems).c_str() : "none");
    }
    return {};
}

// --info's lines on the two ways a VGM plays; none for a port script, which
// plays as written.
std::string PathLines(const Source& source, const PlayOptions& options)
{
    PlayOptions asked = options;
    PlayPlan clean;
    PlayPlan exact;
    asked.clean = true;
    const bool planned = source.Plan(asked, &clean).Ok();
    asked.clean = false;
    if (!planned || !clean.resampled || !source.Plan(asked, &exact).Ok()) {
        return {};
    }
    const std::string rate = std::to_string(options.rateHz) + " Hz";
    return "  WAV, --play: chips at " + std::to_string(clean.chipRateHz) + " Hz" + TakenAs(clean) +
           ", resampled to " + rate + "\n" + "  --exact, --raw alone: chips at " + std::to_string(exact.chipRateHz) +
           " Hz, frames at " + rate + "\n";
}

}  // namespace

Result RenderOne(const RenderOptions& options, const RunContext& context)
{
    // Playlists given to the run were expanded before; one here is an
    // entry of another, or could not be read.
    if (IsPlaylistPath(options.input)) {
        std::vector<std::string> entries;
        const Result read = ReadPlaylist(options.input, &entries);
        return (read.Ok() ? Result::Failure("a playlist inside a playlist is not played") : read)
            .Within(options.input);
    }
    std::unique_ptr<Source> source;
    const Result loaded = LoadSource(options.input, &source);
    if (!loaded.Ok()) {
        return loaded.Within(options.input);
    }
    if (options.info) {
        Warn(options, context, source->warnings);
        // With --exact, the report as it always was.
        const std::string paths = options.exact ? std::string() : PathLines(*source, options.play);
        const std::string report = TextForStream(source->Describe() + paths, context.out);
        std::fprintf(context.out, "%s\n%s", options.input.c_str(), report.c_str());
        return {};
    }
    // The clean path wherever the sound is heard, unless asked for the exact one.
    PlayOptions play = options.play;
    play.clean = !options.exact && (!options.wavPath.empty() || options.live.play);
    PlayPlan plan;
    Result planned = source->Plan(play, &plan).Within(options.input);
    if (planned.Ok()) {
        planned = CheckOutputs(options, plan);
    }
    if (!planned.Ok()) {
        return planned;
    }
    std::vector<std::string> warnings = source->warnings;
    if (options.play.fadeMs > 0 && plan.fadeFrames == 0) {
        warnings.push_back("--fade: not a looped VGM, played to its end without a fade");
    }
    Warn(options, context, warnings);
    ChannelSet sounded = 0;
    const Result mixed = Render(options, context, *source, plan, &sounded);
    return mixed.Ok() && options.stems ? RenderStems(options, context, *source, plan, sounded) : mixed;
}
