#pragma once
// The few things the host does differently on Windows and elsewhere.

#include <cstdio>
#include <string>

// Puts from in the place of to, replacing an existing file.
bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* error);

// True when stderr is a terminal: progress lines go only there.
bool StderrIsTerminal();

// Switches a stream to binary, so that frames written to it reach it unchanged
// (Win32 would otherwise turn every 0x0A into 0x0D 0x0A).
void SetBinaryMode(std::FILE* stream);

// Number of processors available to this process, at least 1.
int ProcessorCount();

// Text for a stream: UTF-8 as it is, except on a Win32 console, which gets
// the console's code page.
std::string TextForStream(const std::string& utf8, std::FILE* stream);
