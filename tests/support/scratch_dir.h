#pragma once
// Test helpers for programs that must run beside a J27.INI of their own: the
// module keeps its settings beside the host executable, so tests place a copy
// of themselves in a fresh directory and run it there.

#include <string>

// Full path of the running program.
std::string ThisProgram();
// The directory part of path, without its final separator.
std::string DirectoryOf(const std::string& path);

// A new directory under the temp directory; removed, contents included, when
// the object goes.
class ScratchDir {
public:
    explicit ScratchDir(const char* tag);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const { return path + "\\" + name; }

private:
    std::string path;
};

// File operations that also take paths longer than MAX_PATH.
bool MakeDirectory(const std::string& path);
bool CopyProgram(const std::string& from, const std::string& to);
bool WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
std::string ReadText(const std::string& path);  // empty if missing
// A key of an INI file as the system's profile reader sees it, "<missing>"
// when absent.
std::string ProfileText(const char* section, const char* key, const std::string& file);
// Every file under root named name (case-insensitive): full paths, one a
// line (characters outside Latin-1 come out garbled).
std::string FindFiles(const std::string& root, const std::string& name);

// Runs program with arguments (a command-line tail), in this program's
// current directory (not the program's own) and with its standard handles, and returns its exit code, or -1 when
// it could not be started.
int RunProgram(const std::string& program, const std::string& arguments);
int RunProgram(const std::wstring& program, const std::wstring& arguments);

// path in UTF-16, for paths that only the wide functions can spell; ASCII in.
std::wstring Widen(const std::string& path);

// Entry for programs that relocate themselves: without the marker argument,
// copies the program into a scratch directory, runs the copy there with the
// marker plus every argument, and returns its exit code; with it, returns -2
// and sets originalDir from the marker. --from=<dir> is the marker.
int RunFromScratchCopy(int argc, char** argv, std::string& originalDir);
