#include "host/render.h"

#include <chrono>
#include <memory>

#include "host/fade.h"
#include "host/file_writer.h"
#include "host/frame_chain.h"
#include "host/live_player.h"
#include "host/meter.h"
#include "host/platform.h"
#include "host/port_bus.h"
#include "host/progress_line.h"
#include "host/sound_hub.h"
#include "host/source.h"
#include "host/text.h"

namespace {

// The stages and sinks of one run, in the order frames pass them.
struct Pipeline {
    explicit Pipeline(const PlayPlan& plan) : fade(plan.fadeStartFrame, plan.fadeFrames) {}

    FadeStage fade;  // faded frames are what plays and what the files hold
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
    if (!options.wavPath.empty() && plan.rateChangeLine != 0) {
        return Result::Failure(options.input + ": line " + std::to_string(plan.rateChangeLine) +
                               ": the rate changes after the first mix, which a WAV cannot hold; use --raw");
    }
    if (!options.wavPath.empty() && plan.totalFrames * 4 > kMaxWavDataBytes) {
        return Result::Failure(options.wavPath +
                               ": more than 4 GiB of samples for a WAV file; use --raw or a shorter render");
    }
    return {};
}

Result AddFiles(const RenderOptions& options, const RunContext& context, const PlayPlan& plan, Pipeline* p)
{
    if (options.wavPath.empty() && options.rawPath.empty()) {
        return {};
    }
    p->files = std::make_unique<FileWriter>();
    const Result opened =
        p->files->Open(options.wavPath, options.rawPath, plan.hostRateHz, plan.totalFrames, context.out);
    if (p->files->WritesRaw()) {
        p->chain.AddSink(static_cast<FrameSink*>(p->files.get()));
    }
    if (p->files->WritesWav()) {
        p->chain.AddSink(static_cast<PcmSink*>(p->files.get()));
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
    p->chain.AddSink(static_cast<PcmSink*>(p->live.get()));
    // The status line shows the VGM's own title, in the terminal's encoding.
    const std::string title = TextForStream(source.Title(), context.err);
    return p->live->Start(plan.hostRateHz, plan.totalFrames, title, options.quiet ? nullptr : context.err);
}

Result BuildPipeline(const RenderOptions& options, const RunContext& context, const Source& source,
                     const PlayPlan& plan, Pipeline* p)
{
    p->chain.AddStage(&p->fade);
    p->chain.AddSink(&p->meter);
    const Result files = AddFiles(options, context, plan, p);
    if (!files.Ok()) {
        return files;
    }
    if (!options.quiet && !options.batchLine && !options.live.play && IsTerminal(context.err)) {
        p->progress = std::make_unique<ProgressLine>(context.err, plan.totalFrames, plan.hostRateHz);
        p->chain.AddSink(p->progress.get());
    }
    return AddLive(options, context, source, plan, p);
}

// Plays through the bound device, releases it and flushes the pipeline. A
// failure: live playback failed.
Result Play(const Source& source, const PlayPlan& plan, PortBus& bus, SoundHub& hub, DeviceBinding& binding,
            Pipeline& p, double* wallSeconds)
{
    const auto start = std::chrono::steady_clock::now();
    Result played;
    if (p.live != nullptr) {
        played = p.live->Run([&](PlayControl* control) { return source.Play(plan, bus, hub, control); });
    } else {
        source.Play(plan, bus, hub, nullptr);  // without a control nothing ends it early
    }
    *wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    binding.Release();
    p.chain.Finish();
    return played;
}

void Summarize(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan,
               const Meter& meter, double wallSeconds)
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
    std::fprintf(err, "%s: %s at %d Hz (chips at %d Hz)\n", options.input.c_str(), duration.c_str(), plan.hostRateHz,
                 plan.chipRateHz);
    std::fprintf(err, "  %llu frames\n", static_cast<unsigned long long>(meter.Frames()));
    std::fprintf(err, "  peak %lld (%.1f dBFS), %llu clipped samples\n", static_cast<long long>(meter.Peak()),
                 meter.PeakDbfs(), static_cast<unsigned long long>(meter.Clipped()));
    std::fputs(source.NoteLines().c_str(), err);
    if (plan.fadeFrames > 0) {
        const double fadeSeconds = static_cast<double>(plan.fadeFrames) / plan.hostRateHz;
        const std::string fade = FormatDuration(fadeSeconds, DurationStyle::Seconds);
        std::fprintf(err, "  faded out over the last %s\n", fade.c_str());
    }
    if (wallSeconds > 0) {
        std::fprintf(err, "  rendered in %.3f s: %.1f x real time\n", wallSeconds, seconds / wallSeconds);
    }
}

// Builds the pipeline, binds the device, plays, finishes the files and reports.
Result Render(const RenderOptions& options, const RunContext& context, const Source& source, const PlayPlan& plan)
{
    Pipeline p(plan);
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
    double wallSeconds = 0;
    const Result played = Play(source, plan, bus, hub, *context.binding, p, &wallSeconds);
    if (p.progress != nullptr) {
        p.progress->End();
    }
    // A live run that fails keeps what it wrote, as complete files.
    const Result finished = p.files != nullptr ? p.files->Finish() : Result();
    if (!finished.Ok() || !played.Ok()) {
        return finished.Ok() ? played : finished;
    }
    if (p.live != nullptr) {
        std::fprintf(context.err, "%s: played live%s, %llu underruns\n", context.program.c_str(),
                     p.live->Interrupted() ? " until interrupted" : "",
                     static_cast<unsigned long long>(p.live->Underruns()));
    }
    if (!options.quiet) {
        Summarize(options, context, source, plan, p.meter, wallSeconds);
    }
    return {};
}

}  // namespace

Result RenderOne(const RenderOptions& options, const RunContext& context)
{
    std::unique_ptr<Source> source;
    const Result loaded = LoadSource(options.input, &source);
    if (!loaded.Ok()) {
        return loaded.Within(options.input);
    }
    if (options.info) {
        Warn(options, context, source->warnings);
        const std::string report = TextForStream(source->Describe(), context.out);
        std::fprintf(context.out, "%s\n%s", options.input.c_str(), report.c_str());
        return {};
    }
    PlayPlan plan;
    Result planned = source->Plan(options.play, &plan).Within(options.input);
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
    return Render(options, context, *source, plan);
}
