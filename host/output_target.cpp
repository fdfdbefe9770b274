#include "host/output_target.h"

#include <cstdio>

#include "host/platform.h"

namespace {

// A second name for an existing file, so it survives a rename onto its first.
// Linking never replaces a file, so a name already taken is passed over.
bool LinkBackup(const std::string& path, std::string* backup)
{
    for (int i = 0; i < 100; ++i) {
        *backup = path + ".old" + (i > 0 ? std::to_string(i) : std::string());
        const LinkResult linked = LinkFile(path, *backup);
        if (linked != LinkResult::NameTaken) {
            return linked == LinkResult::Made;
        }
    }
    return false;
}

}  // namespace

Result ResolveOutputTarget(const std::string& path, OutputTarget* target)
{
    target->path = path;
    target->finalPath = path;
    if (path == "-") {
        target->kind = TargetKind::StandardOutput;
        return {};
    }
    PathKind kind;
    const Result inspected = InspectPath(path, &kind, &target->finalPath);
    if (!inspected.Ok()) {
        return inspected;
    }
    if (kind == PathKind::Directory) {
        return Result::Failure("is a directory");
    }
    target->kind = kind == PathKind::Other ? TargetKind::InPlace : TargetKind::Replace;
    return {};
}

Result CommitMoves(const std::vector<PendingMove>& moves)
{
    std::vector<std::string> backups(moves.size());  // empty: nothing was there
    size_t done = 0;
    std::string why;
    for (; done < moves.size(); ++done) {
        const PendingMove& m = moves[done];
        const bool laterMayFail = done + 1 < moves.size();
        if (laterMayFail && PathExists(m.finalPath)) {
            std::string backup;
            if (!LinkBackup(m.finalPath, &backup)) {
                why = "cannot write " + m.path + ": cannot keep the file it replaces until the others are written";
                break;
            }
            backups[done] = backup;
        }
        const Result moved = MoveIntoPlace(m.tempPath, m.finalPath);
        if (!moved.Ok()) {
            why = "cannot write " + m.path + ": " + moved.Message();
            break;
        }
    }
    if (done == moves.size()) {
        for (const std::string& b : backups) {
            if (!b.empty()) std::remove(b.c_str());
        }
        return {};
    }
    // Undo the renames made so far, newest first, then drop what is left.
    for (size_t i = done; i-- > 0;) {
        if (!backups[i].empty()) {
            (void)MoveIntoPlace(backups[i], moves[i].finalPath);  // best effort: the failure is reported
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
    return Result::Failure(why);
}
