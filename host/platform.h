#pragma once
// The few things the host does differently on Windows and elsewhere.

#include <string>

// Puts from in the place of to, replacing an existing file.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* error);

// True when stderr is a terminal: progress lines go only there.
bool StderrIsTerminal();
