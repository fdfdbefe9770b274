#pragma once
// The command line both front ends share, and what each adds: its options
// and the help text.

#include <string>
#include <vector>

#include "host/front_end.h"
#include "host/live_player.h"
#include "host/play_plan.h"
#include "host/result.h"

struct RenderOptions {
    std::string input;                // the one input of a single run
    std::vector<std::string> inputs;  // all of them, in order
    std::string wavPath;              // "-": standard output
    std::string rawPath;
    std::string outputDir;            // -d: DIR/NAME.wav for every input
    bool rawInDir = false;            // with -d: DIR/NAME.bin as well
    int jobs = 0;                     // parallel renders of a batch; 0: one per processor
    std::string modulePath;           // --module
    PlayOptions play;
    LiveOptions live;
    bool exact = false;               // --exact: the module at the output rate, nothing after it
    bool info = false;                // header facts and tags, no rendering
    bool batchLine = false;           // one line per file, no tags or progress
    bool quiet = false;
    bool help = false;
    bool version = false;             // --version

    bool Batch() const { return inputs.size() > 1 || !outputDir.empty(); }
};

// Parses the arguments after the program name; a bad command line is a
// BadUsage failure with a message.
Result ParseRenderOptions(const std::vector<std::string>& args, const FrontEnd& frontEnd, RenderOptions* options);

// The help text.
std::string RenderUsage(const FrontEnd& frontEnd);

// "PROGRAM VERSION\n", for --version.
std::string RenderVersion(const FrontEnd& frontEnd);
