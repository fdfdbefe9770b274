#include "host/batch.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#if !defined(_WIN32)
#  include <sys/wait.h>
#  include <unistd.h>
#endif

namespace {

std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/' || dir.back() == '\\') {
        return dir + name;
    }
    return dir + "/" + name;
}

#if !defined(_WIN32)
// Runs one input in a child process. Its messages are collected and written
// in one piece, so lines of parallel renders do not interleave.
pid_t StartChild(const RenderOptions& one, const RunOneInput& runOne, std::FILE* err)
{
    std::fflush(stdout);
    std::fflush(err);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    std::FILE* messages = std::tmpfile();
    const int status = runOne(one, messages != nullptr ? messages : err);
    if (messages != nullptr) {
        std::string text;
        std::rewind(messages);
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, messages)) > 0;) {
            text.append(chunk, n);
        }
        std::fwrite(text.data(), 1, text.size(), err);
    }
    std::fflush(nullptr);
    _exit(status == 0 ? 0 : 1);
}
#endif

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
#if defined(_WIN32)
    (void)jobs;
#else
    if (jobs > 1 && !options.info) {
        std::vector<std::pair<pid_t, std::string>> children;
        size_t next = 0;
        int running = 0;
        while (next < runs.size() || running > 0) {
            if (next < runs.size() && running < jobs) {
                const pid_t pid = StartChild(runs[next], runOne, err);
                if (pid < 0) {
                    std::fprintf(err, "%s: %s: cannot start a process: %s\n", program.c_str(),
                                 runs[next].input.c_str(), std::strerror(errno));
                    ++failed;
                } else {
                    children.emplace_back(pid, runs[next].input);
                    ++running;
                }
                ++next;
                continue;
            }
            int status = 0;
            const pid_t pid = wait(&status);
            if (pid < 0) {
                if (errno == EINTR) {
                    continue;
                }
                failed += running;  // children that can no longer be waited for
                break;
            }
            --running;
            if (WIFSIGNALED(status)) {
                for (const auto& [child, input] : children) {
                    if (child == pid) {
                        std::fprintf(err, "%s: %s: the render ended with signal %d\n", program.c_str(),
                                     input.c_str(), WTERMSIG(status));
                    }
                }
            }
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                ++failed;
            }
        }
        runs.clear();
    }
#endif
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
