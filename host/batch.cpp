#include "host/batch.h"

#include <filesystem>
#include <set>
#include <vector>

#include "host/platform.h"

namespace {

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\') {
        return dir + name;
    }
    return dir + "/" + name;
}

}  // namespace

std::string BatchOutputName(const std::string& input)
{
    const size_t slash = input.find_last_of("/\\");
    std::string name = slash == std::string::npos ? input : input.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

int RunBatch(const RenderOptions& options, const std::string& program, const RunOneInput& runOne, int jobs,
             std::FILE* err)
{
    if (!options.outputDir.empty() && !options.info) {
        std::error_code why;
        std::filesystem::create_directories(options.outputDir, why);
        if (why) {
            std::fprintf(err, "%s: %s: cannot create the output directory: %s\n", program.c_str(),
                         options.outputDir.c_str(), why.message().c_str());
            return 1;
        }
    }
    std::vector<RenderOptions> runs;
    std::set<std::string> names;
    int failed = 0;
    for (const std::string& input : options.inputs) {
        RenderOptions one = options;
        one.input = input;
        one.inputs = {input};
        one.batchLine = true;
        if (!options.outputDir.empty()) {
            const std::string name = BatchOutputName(input);
            if (!names.insert(name).second) {
                std::fprintf(err, "%s: %s: skipped: another input already writes %s\n", program.c_str(),
                             input.c_str(), JoinPath(options.outputDir, name + ".*").c_str());
                ++failed;
                continue;
            }
            one.wavPath = JoinPath(options.outputDir, name + ".wav");
            one.rawPath = options.rawInDir ? JoinPath(options.outputDir, name + ".bin") : std::string();
        }
        runs.push_back(one);
    }
    if (jobs > 1 && !options.info) {
        std::vector<std::pair<long, std::string>> children;
        size_t next = 0;
        int running = 0;
        while (next < runs.size() || running > 0) {
            if (next < runs.size() && running < jobs) {
                const RenderOptions& one = runs[next];
                std::string why;
                const long id = StartChild([&](std::FILE* messages) { return runOne(one, messages) == 0; }, err, &why);
                if (id < 0) {
                    std::fprintf(err, "%s: %s: %s\n", program.c_str(), one.input.c_str(), why.c_str());
                    ++failed;
                } else {
                    children.emplace_back(id, one.input);
                    ++running;
                }
                ++next;
                continue;
            }
            const ChildEnd end = WaitForChild();
            if (end.id < 0) {
                failed += running;  // children that can no longer be waited for
                break;
            }
            --running;
            for (const auto& [child, input] : children) {
                if (child == end.id && end.signal != 0) {
                    std::fprintf(err, "%s: %s: the render ended with signal %d\n", program.c_str(), input.c_str(),
                                 end.signal);
                }
            }
            if (!end.done) {
                ++failed;
            }
        }
        runs.clear();
    }
    for (const RenderOptions& one : runs) {
        if (runOne(one, err) != 0) {
            ++failed;
        }
    }
    const size_t total = options.inputs.size();
    if (!options.quiet && !options.info) {
        std::fprintf(err, "%zu files: %zu %s, %d failed\n", total, total - static_cast<size_t>(failed),
                     options.outputDir.empty() ? "played" : "written", failed);
    }
    return failed == 0 ? 0 : 1;
}
