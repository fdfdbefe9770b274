#include "host/output_target.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/platform.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace {

#if !defined(_WIN32)
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
#endif

bool Exists(const std::string& path)
{
#if defined(_WIN32)
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
#endif
}

// A second name for an existing file, so it survives a rename onto its first.
// Linking never replaces a file, so a name already taken is passed over.
bool LinkBackup(const std::string& path, std::string* backup)
{
    for (int i = 0; i < 100; ++i) {
        *backup = path + ".old" + (i > 0 ? std::to_string(i) : std::string());
#if defined(_WIN32)
        if (CreateHardLinkA(backup->c_str(), path.c_str(), nullptr) != 0) {
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
#else
        if (link(path.c_str(), backup->c_str()) == 0) {
            return true;
        }
        if (errno != EEXIST) {
            return false;
        }
#endif
    }
    return false;
}

}  // namespace

bool ResolveOutputTarget(const std::string& path, OutputTarget* target, std::string* error)
{
    target->path = path;
    target->finalPath = path;
    if (path == "-") {
        target->kind = TargetKind::StandardOutput;
        return true;
    }
#if defined(_WIN32)
    // Devices (NUL, CON, pipes) open as files of another type than disk.
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    target->kind = TargetKind::Replace;
    if (h != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(h);
        // The file the path leads to, through any symbolic link, so that the
        // rename replaces it and leaves the link.
        char resolved[MAX_PATH + 8];
        const DWORD n = type == FILE_TYPE_DISK ? GetFinalPathNameByHandleA(h, resolved, sizeof resolved, 0) : 0;
        CloseHandle(h);
        if (n > 0 && n < sizeof resolved) {
            // It comes as \\?\C:\... or \\?\UNC\server\...; back to the usual forms.
            const std::string full(resolved, n);
            if (full.rfind("\\\\?\\UNC\\", 0) == 0) {
                target->finalPath = "\\\\" + full.substr(8);
            } else if (full.rfind("\\\\?\\", 0) == 0) {
                target->finalPath = full.substr(4);
            } else {
                target->finalPath = full;
            }
        }
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (type == FILE_TYPE_DISK && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            *error = "is a directory";
            return false;
        }
        if (type != FILE_TYPE_DISK) {
            target->kind = TargetKind::InPlace;
        }
    }
    return true;
#else
    std::string p = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                *error = std::strerror(errno);
                return false;
            }
            target->kind = TargetKind::Replace;  // a new file, or where a dangling link leads
            break;
        }
        if (S_ISLNK(st.st_mode)) {
            if (hops == kMaxLinkHops) {
                *error = "too many levels of symbolic links";
                return false;
            }
            std::string next(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
            const ssize_t n = readlink(p.c_str(), &next[0], next.size());
            if (n < 0 || static_cast<size_t>(n) >= next.size()) {
                *error = "cannot read the symbolic link";
                return false;
            }
            next.resize(static_cast<size_t>(n));
            p = !next.empty() && next[0] == '/' ? next : DirectoryOf(p) + next;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            *error = "is a directory";
            return false;
        }
        target->kind = S_ISREG(st.st_mode) ? TargetKind::Replace : TargetKind::InPlace;
        break;
    }
    target->finalPath = p;
    return true;
#endif
}

bool CommitMoves(const std::vector<PendingMove>& moves, std::string* error)
{
    std::vector<std::string> backups(moves.size());  // empty: nothing was there
    size_t done = 0;
    std::string why;
    for (; done < moves.size(); ++done) {
        const PendingMove& m = moves[done];
        const bool laterMayFail = done + 1 < moves.size();
        if (laterMayFail && Exists(m.finalPath)) {
            std::string backup;
            if (!LinkBackup(m.finalPath, &backup)) {
                why = "cannot write " + m.path + ": cannot keep the file it replaces until the others are written";
                break;
            }
            backups[done] = backup;
        }
        if (!MoveIntoPlace(m.tempPath, m.finalPath, &why)) {
            why = "cannot write " + m.path + ": " + why;
            break;
        }
    }
    if (done == moves.size()) {
        for (const std::string& b : backups) {
            if (!b.empty()) std::remove(b.c_str());
        }
        return true;
    }
    // Undo the renames made so far, newest first, then drop what is left.
    for (size_t i = done; i-- > 0;) {
        std::string ignored;
        if (!backups[i].empty()) {
            MoveIntoPlace(backups[i], moves[i].finalPath, &ignored);
        } else {
            std::remove(moves[i].finalPath.c_str());
        }
    }
    for (size_t i = done; i < moves.size(); ++i) {
        std::remove(moves[i].tempPath.c_str());
    }
    if (done < moves.size() && !backups[done].empty()) {
        std::remove(backups[done].c_str());
    }
    *error = why;
    return false;
}
