#pragma once
// Playlists (.m3u, .m3u8): one entry a line, played in order. Entries are
// paths, relative ones taken from the playlist's folder.

#include <string>
#include <string_view>
#include <vector>

#include "host/result.h"

// True for a path ending in .m3u or .m3u8, in any case.
bool IsPlaylistPath(const std::string& path);

// The entries of a playlist's text, as written: each line without its line
// break and surrounding spaces and tabs; blank lines and '#' lines
// (comments, #EXTM3U, #EXTINF) skipped; a UTF-8 byte order mark dropped.
std::vector<std::string> ParsePlaylist(std::string_view text);

// entry as a path: as it is when absolute (a leading slash or backslash, or
// a drive letter), else in the playlist's folder.
std::string PlaylistEntryPath(const std::string& playlist, const std::string& entry);

// The entries of the playlist at path, as paths. A failure, without the
// path: it cannot be read, or holds no entry.
Result ReadPlaylist(const std::string& path, std::vector<std::string>* entries);

// inputs with each playlist replaced by its entries. A playlist that fails
// to read stays in its place, for the run to report as a bad input.
std::vector<std::string> ExpandPlaylists(const std::vector<std::string>& inputs);
