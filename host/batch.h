#pragma once
// Several inputs in one run: each is rendered on its own, to DIR/NAME.wav (and
// DIR/NAME.bin) when an output directory is given. A bad input is named and
// skipped; the others are still written; one line per file, then a total.

#include <cstdio>
#include <functional>
#include <string>

#include "host/render_app.h"

// NAME for an input: its file name without directory and last extension.
std::string BatchOutputName(const std::string& input);

// Renders one input with the options given; its messages go to err.
using RunOneInput = std::function<int(const RenderOptions& one, std::FILE* err)>;

// Runs every input of options, jobs at a time. Natively each parallel render
// is a process of its own (the chips are library-wide state); on Win32, and
// with jobs 1, one after another. 0 when every input succeeded, else 1.
int RunBatch(const RenderOptions& options, const std::string& program, const RunOneInput& runOne, int jobs,
             std::FILE* err);
