// The platform layer natively: POSIX calls.

#include "host/platform.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The target of the symbolic link at path, relative links resolved against its directory.
Result ReadLinkTarget(const std::string& path, const struct stat& st, std::string* target)
{
    std::string next(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), &next[0], next.size());
    if (n < 0 || static_cast<size_t>(n) >= next.size()) {
        return Result::Failure("cannot read the symbolic link");
    }
    next.resize(static_cast<size_t>(n));
    *target = !next.empty() && next[0] == '/' ? next : DirectoryOf(path) + next;
    return {};
}

}  // namespace

Result MoveIntoPlace(const std::string& from, const std::string& to)
{
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        return Result::Failure(std::string("cannot rename into place: ") + std::strerror(errno));
    }
    return {};
}

bool PathExists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

LinkResult LinkFile(const std::string& existing, const std::string& name)
{
    if (link(existing.c_str(), name.c_str()) == 0) {
        return LinkResult::Made;
    }
    return errno == EEXIST ? LinkResult::NameTaken : LinkResult::Failed;
}

Result InspectPath(const std::string& path, PathKind* kind, std::string* finalPath)
{
    std::string p = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                return Result::Failure(std::strerror(errno));
            }
            *kind = PathKind::Missing;  // a new file, or where a dangling link leads
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            *kind = S_ISREG(st.st_mode) ? PathKind::RegularFile : S_ISDIR(st.st_mode) ? PathKind::Directory
                                                                                       : PathKind::Other;
            break;
        }
        if (hops == kMaxLinkHops) {
            return Result::Failure("too many levels of symbolic links");
        }
        const Result read = ReadLinkTarget(p, st, &p);
        if (!read.Ok()) {
            return read;
        }
    }
    *finalPath = p;
    return {};
}

bool IsTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

void SetBinaryMode(std::FILE*) {}

std::string TextForStream(const std::string& utf8, std::FILE*)
{
    return utf8;
}

std::string PathFromUtf8(const std::string& utf8)
{
    return utf8;  // file names are bytes, UTF-8 on every system the host runs on
}

void SetProcessEnvironment(const char* name, const char* value)
{
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

int ProcessorCount()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

Result StartChild(const std::function<bool(std::FILE* messages)>& job, std::FILE* err, long* id)
{
    std::fflush(stdout);
    std::fflush(err);
    const pid_t pid = fork();
    if (pid < 0) {
        return Result::Failure(std::string("cannot start a process: ") + std::strerror(errno));
    }
    if (pid != 0) {
        *id = pid;
        return {};
    }
    std::FILE* messages = std::tmpfile();
    const bool done = job(messages != nullptr ? messages : err);
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
    _exit(done ? 0 : 1);
}

ChildEnd WaitForChild()
{
    int status = 0;
    pid_t pid;
    while ((pid = wait(&status)) < 0 && errno == EINTR) {
    }
    ChildEnd end;
    if (pid < 0) {
        return end;
    }
    end.id = pid;
    end.done = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return end;
}
