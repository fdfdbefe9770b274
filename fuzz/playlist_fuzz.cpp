// Fuzz target for the playlist reader: every entry is a trimmed, non-empty,
// non-comment line, reading the entries back gives them again, and the
// output name a batch makes of an entry's path never leaves its folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "host/batch.h"
#include "host/playlist.h"

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> entries = ParsePlaylist(text);
    std::string again = "#\n";  // so that a mark the first entry starts with is no longer at the start
    for (const std::string& entry : entries) {
        Check(!entry.empty() && entry.front() != '#' && entry.find('\n') == std::string::npos);
        Check(!Blank(entry.front()) && !Blank(entry.back()));
        again += entry + "\n";
        const std::string name = BatchOutputName(PlaylistEntryPath("dir/list.m3u", entry));
        Check(!name.empty() && name.find_first_of("/\\:") == std::string::npos);
        Check(name.find_first_not_of('.') != std::string::npos);
    }
    Check(ParsePlaylist(again) == entries);
    return 0;
}
