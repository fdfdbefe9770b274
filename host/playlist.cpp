#include "host/playlist.h"

#include <cctype>
#include <cstdint>

#include "host/input_file.h"
#include "host/platform.h"

namespace {

constexpr size_t kMaxPlaylistBytes = size_t{16} << 20;

bool EndsWithNoCase(const std::string& text, std::string_view end)
{
    if (text.size() < end.size()) {
        return false;
    }
    for (size_t i = 0; i < end.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[text.size() - end.size() + i]);
        if (std::tolower(c) != end[i]) {
            return false;
        }
    }
    return true;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

bool IsPlaylistPath(const std::string& path)
{
    return EndsWithNoCase(path, ".m3u") || EndsWithNoCase(path, ".m3u8");
}

std::vector<std::string> ParsePlaylist(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::vector<std::string> entries;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && IsBlank(line.front())) {
            line.remove_prefix(1);
        }
        while (!line.empty() && IsBlank(line.back())) {
            line.remove_suffix(1);
        }
        if (!line.empty() && line.front() != '#') {
            entries.emplace_back(line);
        }
    }
    return entries;
}

std::string PlaylistEntryPath(const std::string& playlist, const std::string& entry)
{
    const bool absolute = entry.front() == '/' || entry.front() == '\\' ||
                          (entry.size() >= 2 && std::isalpha(static_cast<unsigned char>(entry[0])) && entry[1] == ':');
    const size_t slash = playlist.find_last_of("/\\");
    if (absolute || slash == std::string::npos) {
        return entry;
    }
    return playlist.substr(0, slash + 1) + entry;
}

Result ReadPlaylist(const std::string& path, std::vector<std::string>* entries)
{
    std::vector<uint8_t> bytes;
    const Result read = ReadFileBytes(path, kMaxPlaylistBytes, &bytes);
    if (!read.Ok()) {
        return read;
    }
    entries->clear();
    // A .m3u8 is UTF-8; a .m3u is in the system's own encoding already.
    const bool utf8 = EndsWithNoCase(path, ".m3u8");
    for (const std::string& entry :
         ParsePlaylist(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
        entries->push_back(PlaylistEntryPath(path, utf8 ? PathFromUtf8(entry) : entry));
    }
    return entries->empty() ? Result::Failure("the playlist holds no entries") : Result();
}

std::vector<std::string> ExpandPlaylists(const std::vector<std::string>& inputs)
{
    std::vector<std::string> expanded;
    for (const std::string& input : inputs) {
        std::vector<std::string> entries;
        if (IsPlaylistPath(input) && ReadPlaylist(input, &entries).Ok()) {
            expanded.insert(expanded.end(), entries.begin(), entries.end());
        } else {
            expanded.push_back(input);
        }
    }
    return expanded;
}
