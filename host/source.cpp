#include "host/source.h"

#include <cstdio>

#include "host/gd3_tags.h"
#include "host/input_file.h"
#include "host/text.h"

namespace {

class VgmSource final : public Source {
public:
    std::string Describe() const override
    {
        char line[200];
        std::snprintf(line, sizeof line, "  VGM %x.%02x, SN76489 at %u Hz%s\n", song.version >> 8,
                      song.version & 0xFF, song.snClockHz, song.dualChip ? ", two chips" : "");
        std::string text = line;
        const double total = static_cast<double>(song.TotalSamples()) / kVgmSampleRate;
        text += "  length " + FormatDuration(total, DurationStyle::FineClock);
        text += Loops(song) ? ", looped part " + FormatDuration(static_cast<double>(song.loopSamples) / kVgmSampleRate,
                                                                DurationStyle::FineClock) + "\n"
                            : ", no loop\n";
        std::snprintf(line, sizeof line, "  %zu events, %llu commands for other chips\n", song.events.size(),
                      static_cast<unsigned long long>(song.skippedCommands));
        return text + line + FormatGd3Tags(tags);
    }

    Result Plan(const PlayOptions& options, PlayPlan* plan) const override { return PlanVgm(song, options, plan); }

    bool Play(const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control) const override
    {
        return PlayVgm(song, plan, bus, hub, control);
    }

    std::string Title() const override { return SongTitle(tags, ""); }

    std::string TagLines() const override { return FormatGd3Tags(tags); }
    std::vector<SongTagField> TagFields() const override { return SongTagFields(tags); }

    std::string NoteLines() const override
    {
        return "  " + std::to_string(song.skippedCommands) + " commands for other chips skipped\n";
    }

    VgmSong song;
    Gd3Tags tags;
};

class ScriptSource final : public Source {
public:
    std::string Describe() const override
    {
        std::string text = "  port script, " + std::to_string(script.steps.size()) + " steps, " +
                           std::to_string(script.totalFrames) + " frames";
        if (script.rateHz != 0) {
            text += " at " + std::to_string(script.rateHz) + " Hz";
        }
        text += "\n";
        for (const LateRate& late : script.lateRates) {
            text += "  line " + std::to_string(late.line) + ": rate " + std::to_string(late.rateHz) + " Hz\n";
        }
        return text;
    }

    Result Plan(const PlayOptions& options, PlayPlan* plan) const override
    {
        return PlanScript(script, options, plan);
    }

    bool Play(const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control) const override
    {
        return PlayScript(script, plan, bus, hub, control);
    }

    PortScript script;
};

Result LoadVgm(const std::vector<uint8_t>& bytes, std::unique_ptr<Source>* source)
{
    auto vgm = std::make_unique<VgmSource>();
    const Result parsed = ParseVgm(bytes.data(), bytes.size(), &vgm->song, &vgm->warnings);
    if (!parsed.Ok()) {
        return parsed;
    }
    const Result tagged = ReadGd3Tags(bytes.data(), bytes.size(), vgm->song.gd3Offset, &vgm->tags);
    if (!tagged.Ok()) {
        vgm->warnings.push_back(tagged.Message());
    }
    *source = std::move(vgm);
    return {};
}

}  // namespace

Result LoadSource(const std::string& path, std::unique_ptr<Source>* source)
{
    std::vector<uint8_t> bytes;
    InputKind kind = InputKind::PortScript;
    Result read = ReadFileBytes(path, kMaxInputBytes, &bytes);
    if (read.Ok()) {
        read = PrepareInput(&bytes, kMaxInputBytes, &kind);
    }
    if (!read.Ok()) {
        return read;
    }
    if (kind == InputKind::Vgm) {
        return LoadVgm(bytes, source);
    }
    auto script = std::make_unique<ScriptSource>();
    const Result parsed = ParsePortScript(bytes.data(), bytes.size(), &script->script);
    if (parsed.Ok()) {
        *source = std::move(script);
    }
    return parsed;
}

bool PlayAcrossSeeks(const Source& source, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, FrameChain& chain,
                     PlayControl* control)
{
    for (;;) {
        const bool ended = source.Play(plan, bus, hub, control);
        if (ended) {
            chain.HearRest();
        }
        if (!chain.RestartPending()) {
            return ended;
        }
        chain.Restart();
    }
}
