#pragma once
// The command line both front ends share: read the input, plan, bind the
// device, play, write the output and report. Only the way the device comes
// to the bus and the hub differs between them.

#include <cstdio>
#include <string>
#include <vector>

#include "host/live_player.h"
#include "host/player.h"

class PortBus;
class SoundHub;

// How a front end brings its sound device to the host's bus and hub.
class DeviceBinding {
public:
    virtual ~DeviceBinding() = default;
    // Creates the device and connects it; false with a message that names
    // what failed (the module file, say).
    virtual bool Bind(PortBus& bus, SoundHub& hub, std::string* error) = 0;
    // Disconnects and destroys it; harmless when Bind failed or never ran.
    virtual void Release() = 0;
};

struct RenderOptions {
    std::string input;                // the one input of a single run
    std::vector<std::string> inputs;  // all of them, in order
    std::string wavPath;              // "-": standard output
    std::string rawPath;
    std::string outputDir;            // -d: DIR/NAME.wav for every input
    bool rawInDir = false;            // with -d: DIR/NAME.bin as well
    int jobs = 0;                     // parallel renders of a batch; 0: one per processor
    std::string modulePath;           // j27host only
    PlayOptions play;
    bool info = false;                // header facts and tags, no rendering
    bool batchLine = false;           // one line per file, no tags or progress
    LiveOptions live;
    bool quiet = false;
    bool help = false;
    bool version = false;

    bool Batch() const { return inputs.size() > 1 || !outputDir.empty(); }
};

constexpr double kMaxHoursLimit = 10000;

// Parses the arguments after the program name. False with a message.
// moduleOption: j27host's --module; -j only without it (j27host renders a
// batch one file after another).
bool ParseRenderOptions(const std::vector<std::string>& args, bool moduleOption, RenderOptions* options,
                        std::string* error);

// The help text, for program (its name) and with --module when it has one.
std::string RenderUsage(const std::string& program, bool moduleOption);

// "PROGRAM VERSION\n", for --version.
std::string RenderVersion(const std::string& program);

// Runs one input: 0 on success; otherwise 1, with one message on err naming
// the file and the problem, and no output file left behind. out is standard
// output: the "-" output and the --info report; every message goes to err.
int RunRender(const RenderOptions& options, const std::string& program, DeviceBinding& binding, std::FILE* out,
              std::FILE* err);

// Runs parsed options: one input, or a batch.
int RunInputs(const RenderOptions& options, const std::string& program, DeviceBinding& binding, std::FILE* out,
              std::FILE* err);

// Parses and runs; the whole main of a front end.
int RenderMain(int argc, char** argv, const std::string& program, bool moduleOption, DeviceBinding& binding);
