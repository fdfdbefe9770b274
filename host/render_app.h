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
    std::string input;
    std::string wavPath;
    std::string rawPath;
    std::string modulePath;  // j27host only
    PlayOptions play;
    LiveOptions live;
    bool quiet = false;
    bool help = false;
};

constexpr double kMaxHoursLimit = 10000;

// Parses the arguments after the program name. False with a message.
bool ParseRenderOptions(const std::vector<std::string>& args, bool moduleOption, RenderOptions* options,
                        std::string* error);

// The help text, for program (its name) and with --module when it has one.
std::string RenderUsage(const std::string& program, bool moduleOption);

// Runs one render: 0 on success; otherwise 1, with one message on err
// naming the file and the problem, and no output file left behind.
int RunRender(const RenderOptions& options, const std::string& program, DeviceBinding& binding, std::FILE* out,
              std::FILE* err);

// Parses and runs; the whole main of a front end.
int RenderMain(int argc, char** argv, const std::string& program, bool moduleOption, DeviceBinding& binding);
