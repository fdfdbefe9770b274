#pragma once
// What the reference host does differently natively and under Win32. The
// rest of the host is portable; these are implemented twice, in
// host/posix/platform.cpp and host/win32/platform.cpp.

#include <cstdio>
#include <functional>
#include <string>

#include "host/result.h"

// Puts from in the place of to, replacing an existing file.
Result MoveIntoPlace(const std::string& from, const std::string& to);

// True when something, a dangling symbolic link included, has this name.
bool PathExists(const std::string& path);

enum class LinkResult { Made, NameTaken, Failed };
// Gives the existing file a second name; never replaces a file already there.
LinkResult LinkFile(const std::string& existing, const std::string& name);

enum class PathKind { Missing, RegularFile, Directory, Other };  // Other: a device, a FIFO
// What path leads to, symbolic links followed; *finalPath is the path at the
// end of the links (path itself when it is none). A failure names what went
// wrong without the path: a loop of links, a link that cannot be read.
Result InspectPath(const std::string& path, PathKind* kind, std::string* finalPath);

// True when stream is a terminal (a console under Win32).
bool IsTerminal(std::FILE* stream);

// Switches a stream to binary, so that frames written to it reach it unchanged
// (Win32 would otherwise turn every 0x0A into 0x0D 0x0A).
void SetBinaryMode(std::FILE* stream);

// Text for a stream: UTF-8 as it is, except on a Win32 console, which gets
// the console's code page.
std::string TextForStream(const std::string& utf8, std::FILE* stream);

// A path written in UTF-8 (a .m3u8 playlist's entry) as the C library's
// file functions take it: as it is natively; under Win32 in the ANSI code
// page, which they and j27host's command line use (a character that page
// lacks becomes one that names no such file). Invalid UTF-8 stays as it is.
std::string PathFromUtf8(const std::string& utf8);

// Sets a variable of this process's environment, which libraries read and
// child processes inherit; value null removes it. Not safe while another
// thread may read the environment: call it before starting any.
void SetProcessEnvironment(const char* name, const char* value);

// Number of processors available to this process, at least 1.
int ProcessorCount();

// Runs job in a child process of its own, its id in *id. The child's messages are collected and written to err in one
// piece when it ends, so that lines of parallel children never interleave; it
// ends with success when job returns true. Native only: under Win32 there is
// no child to start and the call fails.
Result StartChild(const std::function<bool(std::FILE* messages)>& job, std::FILE* err, long* id);

struct ChildEnd {
    long id = -1;        // -1: no child was left to wait for
    bool done = false;   // the job returned true
    int signal = 0;      // nonzero: the child was ended by this signal
};
// Waits for the next child started with StartChild to end.
ChildEnd WaitForChild();
