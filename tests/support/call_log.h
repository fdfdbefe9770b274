#pragma once
// Calls recorded in order, one line each ("SoundHub.Update", "Psg.Write 0
// 0x8E"), by every recording fake of the tests, so that a test compares the
// whole sequence in one assertion: an extra, a missing or a reordered call
// fails.

#include <string>
#include <vector>

class CallLog {
public:
    // From now on a change of path's contents since the last entry is
    // logged as "<label> written" before the next one, so that the moment of
    // a file write shows in the sequence.
    void Watch(const std::string& path, const std::string& label);
    void Add(const std::string& call);
    void Flush();  // logs a pending file change

    std::vector<std::string> calls;

private:
    std::string watchedFile;
    std::string watchedLabel;
    std::string lastContents;
};
