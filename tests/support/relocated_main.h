#pragma once
// The shared main of test programs that run from a scratch copy of
// themselves (RunFromScratchCopy), each beside a J27.INI of its own.

#include <string>

// Where the build put the program, and Quarix.j27 beside it.
extern std::string libraryDir;
