#pragma once
// One input from file to output: read it, plan, build the playback pipeline,
// bind the device, play, finish the files and report.
//
//   source -> player -> hub -> stages (fade) -> sinks (meter, progress,
//                                               files, live output)

#include <cstdio>
#include <string>

#include "host/device_binding.h"
#include "host/render_options.h"
#include "host/result.h"

// Where a run's output and messages go, and its device.
struct RunContext {
    std::string program;     // for messages
    DeviceBinding* binding;  // not owned
    std::FILE* out;          // standard output: the "-" output and the --info report
    std::FILE* err;          // every message
    int* listStep = nullptr;  // live in a list: set to the entry to go to, +1 (next), -1 (previous) or 0 (stop)
};

// Runs options.input. A failure says what went wrong, naming the file, and no
// output file is left behind (a live run that fails keeps what it wrote).
Result RenderOne(const RenderOptions& options, const RunContext& context);
