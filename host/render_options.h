#pragma once
// The command line both front ends share, and what each adds: its options
// and the help text.

#include <string>
#include <vector>

#include "host/channels.h"
#include "host/file_writer.h"
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
    ChannelSet mute = 0;              // --mute
    ChannelSet solo = 0;              // --solo; none: every channel
    bool stems = false;               // --stems
    uint64_t startMs = 0;             // --start
    bool info = false;                // header facts and tags, no rendering
    bool batchLine = false;           // one line per file, no tags or progress
    bool quiet = false;
    bool help = false;
    bool version = false;             // --version
    // The 16-bit output's format: --format, for -d's files and an -o whose
    // name does not say it.
    SoundFormat format = SoundFormat::Wav;
    bool formatGiven = false;
    std::string listPlace;            // in a live list: "2/5", for the status line

    bool Batch() const { return inputs.size() > 1 || !outputDir.empty(); }
    // The channels silenced: those muted, and those not soloed when any are.
    ChannelSet Muted() const { return static_cast<ChannelSet>(mute | (solo != 0 ? ~solo : 0)); }
};

constexpr uint64_t kMaxStartMs = 3600000000;  // --start: 1000 hours

// Parses the arguments after the program name; a bad command line is a
// BadUsage failure with a message.
Result ParseRenderOptions(const std::vector<std::string>& args, const FrontEnd& frontEnd, RenderOptions* options);

// The format of the 16-bit output at path: its extension (.wav, .flac, in
// any case), else asked.
SoundFormat OutputFormat(const std::string& path, SoundFormat asked);

// The help text.
std::string RenderUsage(const FrontEnd& frontEnd);

// "PROGRAM VERSION\n", for --version.
std::string RenderVersion(const FrontEnd& frontEnd);
