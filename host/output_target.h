#pragma once
// Where an output path leads, decided before anything is written, so that a
// run never replaces what it should write into:
//   "-"                      standard output;
//   a device, a FIFO         written in place, never replaced;
//   a regular file or none   written beside its final place under a temporary
//                            name and renamed onto it when complete;
//   a symbolic link          followed: the file it leads to is treated as above
//                            and the link stays a link.

#include <string>
#include <vector>

#include "host/result.h"

enum class TargetKind { StandardOutput, InPlace, Replace };

struct OutputTarget {
    TargetKind kind = TargetKind::Replace;
    std::string path;       // as given, for messages
    std::string finalPath;  // the file written or replaced, links resolved
};

// Decides what writing path means. A failure (its message without the path)
// for a target that cannot be written: a directory, a loop of links.
Result ResolveOutputTarget(const std::string& path, OutputTarget* target);

struct PendingMove {
    std::string tempPath;
    std::string finalPath;
    std::string path;  // as given, for messages
};

// Renames every finished temporary file onto its final path, all or none:
// before a file is replaced while later renames may still fail, a hard link
// keeps what was there, and a failure puts every earlier file back (or
// removes it when there was none). Temporary files are removed on failure.
Result CommitMoves(const std::vector<PendingMove>& moves);
