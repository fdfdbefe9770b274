// Playlist lines, entry paths and the output names a batch gives entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/batch.h"
#include "host/playlist.h"

TEST(Playlist, LinesToEntries)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"plain, in order", "b.vgm\na.vgz\n", {"b.vgm", "a.vgz"}},
        {"no final line break", "a.vgm", {"a.vgm"}},
        {"CRLF and blanks trimmed", " a.vgm\t\r\n\r\n  \nsub dir/b c.vgm \r\n", {"a.vgm", "sub dir/b c.vgm"}},
        {"comments and extended lines", "#EXTM3U\n#EXTINF:123,Title\na.vgm\n  # indented\n", {"a.vgm"}},
        {"byte order mark", "\xEF\xBB\xBF#EXTM3U\na.vgm\n", {"a.vgm"}},
        {"'#' inside a name", "a#1.vgm\n", {"a#1.vgm"}},
        {"nothing to play", "#EXTM3U\n\n", {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParsePlaylist(c.text), c.entries) << c.name;
    }
}

TEST(Playlist, EntryPathsAndTheirOutputNames)
{
    struct Case {
        const char* playlist;
        const char* entry;
        const char* path;  // where the entry is read
        const char* name;  // NAME of DIR/NAME.wav
    };
    const Case cases[] = {
        {"sets/list.m3u", "a.vgm", "sets/a.vgm", "a"},
        {"list.m3u8", "sub/a.vgz", "sub/a.vgz", "a"},
        {"C:\\sets\\list.m3u", "disc 1\\b.vgm", "C:\\sets\\disc 1\\b.vgm", "b"},
        {"sets/list.m3u", "../../etc/passwd", "sets/../../etc/passwd", "passwd"},
        {"sets/list.m3u", "/abs/a.vgm", "/abs/a.vgm", "a"},
        {"sets/list.m3u", "\\\\server\\a.vgm", "\\\\server\\a.vgm", "a"},
        {"sets/list.m3u", "D:..\\x.vgm", "D:..\\x.vgm", "x"},
        {"sets/list.m3u", "..", "sets/..", "untitled"},
        {"sets/list.m3u", "sub/", "sets/sub/", "untitled"},
        {"sets/list.m3u", "nul.vgm", "sets/nul.vgm", "nul_"},
        {"sets/list.m3u", "COM1", "sets/COM1", "COM1_"},
        {"sets/list.m3u", "console.vgm", "sets/console.vgm", "console"},
        {"sets/list.m3u", ".hidden", "sets/.hidden", ".hidden"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const std::string path = PlaylistEntryPath(c.playlist, c.entry);
        EXPECT_EQ(path, c.path);
        EXPECT_EQ(BatchOutputName(path), c.name);
    }
    EXPECT_TRUE(IsPlaylistPath("a.M3U8"));
    EXPECT_TRUE(IsPlaylistPath("a.m3u"));
    EXPECT_FALSE(IsPlaylistPath("a.m3ux"));
}
