#pragma once
// Several inputs in one run: each is rendered on its own, to DIR/NAME.wav (and
// DIR/NAME.bin) when an output directory is given. A bad input is named and
// skipped; the others are still written; one line per file, then a total.

#include <string>

#include "host/render.h"
#include "host/result.h"

// NAME for an input: its file name without directory, drive and last
// extension, so that DIR/NAME.wav lies in DIR whatever the input's path
// (a playlist's entry) says. A name of dots alone, or none, becomes
// "untitled"; a Windows device name (CON, NUL, COM1...) gets a "_" after it.
std::string BatchOutputName(const std::string& input);

// Runs every input of options, jobs at a time: more than one at a time, each
// in a process of its own (the chips are library-wide state), else one after
// another. Every failure is reported as it happens; the result fails, with
// nothing more to say, when one did.
Result RunBatch(const RenderOptions& options, const RunContext& context, int jobs);
