#include "host/batch.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "host/channels.h"
#include "host/platform.h"

namespace {

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\') {
        return dir + name;
    }
    return dir + "/" + name;
}

// Renders one input; its failure is reported to messages. True when it succeeded.
bool RunOne(const RenderOptions& one, const RunContext& context, std::FILE* messages)
{
    RunContext own = context;
    own.err = messages;
    const Result rendered = RenderOne(one, own);
    if (!rendered.Ok()) {
        std::fprintf(messages, "%s: %s\n", context.program.c_str(), rendered.Message().c_str());
    }
    return rendered.Ok();
}

std::string Lowercase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// The options of each input; inputs whose outputs another already takes are reported and counted in *failed.
std::vector<RenderOptions> PlanRuns(const RenderOptions& options, const RunContext& context, int* failed)
{
    std::vector<RenderOptions> runs;
    std::set<std::string> names;  // in lower case: one file on a file system that ignores case
    const std::string sound = options.format == SoundFormat::Flac ? ".flac" : ".wav";
    for (const std::string& input : options.inputs) {
        RenderOptions one = options;
        one.input = input;
        one.inputs = {input};
        one.batchLine = true;
        one.live.list = options.live.play;
        if (!options.outputDir.empty()) {
            const std::string name = BatchOutputName(input);
            // With --stems NAME-1 to NAME-8 are this input's too: "a" and "a-1" would share a-1.wav.
            std::vector<std::string> claims = {Lowercase(name)};
            for (int k = 1; options.stems && k <= kChannelCount; ++k) {
                claims.push_back(claims[0] + "-" + std::to_string(k));
            }
            const auto taken = std::find_if(claims.begin(), claims.end(),
                                            [&](const std::string& claim) { return names.count(claim) != 0; });
            if (taken != claims.end()) {
                std::fprintf(context.err, "%s: %s: skipped: another input already writes %s\n",
                             context.program.c_str(), input.c_str(),
                             JoinPath(options.outputDir, name + taken->substr(name.size()) + ".*").c_str());
                ++*failed;
                continue;
            }
            names.insert(claims.begin(), claims.end());
            one.wavPath = JoinPath(options.outputDir, name + sound);
            one.rawPath = options.rawInDir ? JoinPath(options.outputDir, name + ".bin") : std::string();
        }
        runs.push_back(one);
    }
    return runs;
}

// Runs every one of runs in a child process of its own, jobs at a time; returns how many failed.
int RunInChildren(const std::vector<RenderOptions>& runs, const RunContext& context, int jobs)
{
    std::vector<std::pair<long, std::string>> children;
    int failed = 0;
    int running = 0;
    for (size_t next = 0; next < runs.size() || running > 0;) {
        if (next < runs.size() && running < jobs) {
            const RenderOptions& one = runs[next++];
            long id = -1;
            const Result started =
                StartChild([&](std::FILE* messages) { return RunOne(one, context, messages); }, context.err, &id);
            if (!started.Ok()) {
                std::fprintf(context.err, "%s: %s: %s\n", context.program.c_str(), one.input.c_str(),
                             started.Message().c_str());
                ++failed;
            } else {
                children.emplace_back(id, one.input);
                ++running;
            }
            continue;
        }
        const ChildEnd end = WaitForChild();
        if (end.id < 0) {
            return failed + running;  // children that can no longer be waited for
        }
        --running;
        for (const auto& [child, input] : children) {
            if (child == end.id && end.signal != 0) {
                std::fprintf(context.err, "%s: %s: the render ended with signal %d\n", context.program.c_str(),
                             input.c_str(), end.signal);
            }
        }
        failed += end.done ? 0 : 1;
    }
    return failed;
}

// Plays runs live one after another, n and p moving through them, until
// the last ends or q stops; returns how many failed and counts in *played
// those that played.
int PlayList(std::vector<RenderOptions>& runs, const RunContext& context, size_t* played)
{
    std::vector<int> outcome(runs.size(), 0);  // 1 played, -1 failed
    for (size_t at = 0; at < runs.size();) {
        runs[at].listPlace = std::to_string(at + 1) + "/" + std::to_string(runs.size());
        int step = 1;
        RunContext own = context;
        own.listStep = &step;
        outcome[at] = RunOne(runs[at], own, context.err) ? 1 : -1;
        if (step == 0) {
            break;
        }
        at = step > 0 ? at + 1 : at > 0 ? at - 1 : 0;
    }
    *played = static_cast<size_t>(std::count(outcome.begin(), outcome.end(), 1));
    return static_cast<int>(std::count(outcome.begin(), outcome.end(), -1));
}

}  // namespace

std::string BatchOutputName(const std::string& input)
{
    const size_t slash = input.find_last_of("/\\:");
    std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    if (name.find_first_not_of('.') == std::string::npos) {
        return "untitled";
    }
    const std::string lower = Lowercase(name);
    const bool numbered = lower.size() == 4 && (lower.starts_with("com") || lower.starts_with("lpt")) &&
                          lower[3] >= '1' && lower[3] <= '9';
    if (numbered || lower == "con" || lower == "prn" || lower == "aux" || lower == "nul") {
        name += "_";
    }
    return name;
}

Result RunBatch(const RenderOptions& options, const RunContext& context, int jobs)
{
    if (!options.outputDir.empty() && !options.info) {
        std::error_code why;
        std::filesystem::create_directories(options.outputDir, why);
        if (why) {
            return Result::Failure(options.outputDir + ": cannot create the output directory: " + why.message());
        }
    }
    int failed = 0;
    std::vector<RenderOptions> runs = PlanRuns(options, context, &failed);
    const size_t total = options.inputs.size();
    size_t done = 0;
    if (options.live.play && !options.info) {
        failed += PlayList(runs, context, &done);
    } else if (jobs > 1 && !options.info) {
        failed += RunInChildren(runs, context, jobs);
        done = total - static_cast<size_t>(failed);
    } else {
        for (const RenderOptions& one : runs) {
            failed += RunOne(one, context, context.err) ? 0 : 1;
        }
        done = total - static_cast<size_t>(failed);
    }
    if (!options.quiet && !options.info) {
        const size_t left = total - done - static_cast<size_t>(failed);
        std::fprintf(context.err, "%zu files: %zu %s, %d failed%s\n", total, done,
                     options.outputDir.empty() ? "played" : "written", failed,
                     left > 0 ? (", " + std::to_string(left) + " not played").c_str() : "");
    }
    return failed == 0 ? Result() : Result::Failure("");
}
