#pragma once
// GD3 tags of a VGM file: the block of eleven UTF-16LE strings that names
// track, game, system and author (each in English and Japanese), date,
// ripper and notes. Decoded to UTF-8; a broken block is ignored whole.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/result.h"

struct Gd3Tags {
    std::string track;   // English name, or the Japanese one when that is all there is
    std::string game;
    std::string system;
    std::string author;
    std::string date;
    std::string ripper;
    std::string notes;

    bool Empty() const;
};

// Reads the tag block at offset of a whole VGM file (offset 0: none, which is
// no failure). A failure, its message a warning without the file name, when
// the block is broken: past the end, no "Gd3 " ident, an odd length, a length
// past the end, a string without its terminator, text that is not UTF-16, or
// control characters other than tab and line breaks. The tags stay empty then.
Result ReadGd3Tags(const uint8_t* data, size_t size, uint64_t offset, Gd3Tags* tags);

// Little-endian UTF-16 to UTF-8; false for an unpaired surrogate.
bool Utf16LeToUtf8(const uint8_t* data, size_t units, std::string* out);

// The name to show for a song: its track, else its game, else fallback
// (the file's name, say).
std::string SongTitle(const Gd3Tags& tags, const std::string& fallback);

// The tags as "  Label:  value" lines, those that are set, notes last with
// their line breaks indented.
std::string FormatGd3Tags(const Gd3Tags& tags);

// One tag as the output files carry it: its Vorbis comment name (FLAC) and
// its RIFF INFO chunk id (WAV), with the value as UTF-8 text.
struct SongTagField {
    const char* vorbisName;
    const char* infoId;
    std::string value;
};

// The tags that are set, in the order the files list them: title, game,
// author, date, notes, system, ripper. Line breaks are plain '\n'.
std::vector<SongTagField> SongTagFields(const Gd3Tags& tags);
