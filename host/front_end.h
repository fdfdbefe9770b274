#pragma once
// The one run path of both front ends, quarix-render and j27host: each main
// describes what its front end offers and hands the command line here.

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/device_binding.h"
#include "host/result.h"

struct RenderOptions;

// What a front end offers besides what both do, and how it brings its device in.
struct FrontEnd {
    std::string program;
    bool offersJobs = false;      // -j N: renders of a batch at once, each a process of its own
    bool offersModule = false;    // --module PATH
    bool offersSettings = false;  // --settings with --play
    std::string usageLines;       // its own "usage:" lines, after the shared ones
    std::string helpNotes;        // its own paragraph at the end of --help
    // The device binding for a run with these options.
    std::function<std::unique_ptr<DeviceBinding>(const RenderOptions& options)> makeBinding;
};

// Parses args (after the program name) and runs them: the help text, one
// input, or a batch. out is standard output (the "-" output, --info and the
// help text); every message goes to err. A failure carries the message still
// to be shown (empty when every failure was reported on its way).
Result RunFrontEnd(const FrontEnd& frontEnd, const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

// For main alone: shows a failure's message as "program: message" and gives
// the exit status.
int ExitWith(const Result& result, const std::string& program, std::FILE* err);
