#pragma once
// An input, read and checked, ready to plan and play: a VGM song (plain or
// gzip-packed) or a port script, told apart by content. The run and --info
// ask it what they need and never which kind it is.

#include <memory>
#include <string>
#include <vector>

#include "host/frame_chain.h"
#include "host/gd3_tags.h"
#include "host/play_plan.h"
#include "host/player.h"
#include "host/result.h"

class Source {
public:
    virtual ~Source() = default;

    // The --info report: header facts (and tags) as indented lines.
    virtual std::string Describe() const = 0;
    virtual Result Plan(const PlayOptions& options, PlayPlan* plan) const = 0;
    // Plays as planned (player.h): false when control ended it early.
    virtual bool Play(const PlayPlan& plan, PortWriter& bus, SoundHub& hub, PlayControl* control) const = 0;
    // The song's own name from its tags; empty when it has none.
    virtual std::string Title() const { return {}; }
    // The tags as "  Label:  value" lines; empty for none.
    virtual std::string TagLines() const { return {}; }
    // The tags as the output files carry them.
    virtual std::vector<SongTagField> TagFields() const { return {}; }
    // The summary's lines of the input's own ("  N commands for other chips skipped").
    virtual std::string NoteLines() const { return {}; }

    std::vector<std::string> warnings;  // found while reading; the input still plays
};

// Reads, unpacks and parses the file at path. A failure says why, without the path.
Result LoadSource(const std::string& path, std::unique_ptr<Source>* source);

// Plays as planned, and from the top again whenever a seek back in chain
// (the chain the hub hands its frames to) needs it. False when control ended
// the play early otherwise.
bool PlayAcrossSeeks(const Source& source, const PlayPlan& plan, PortWriter& bus, SoundHub& hub, FrameChain& chain,
                     PlayControl* control);
