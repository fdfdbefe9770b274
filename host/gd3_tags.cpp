#include "host/gd3_tags.h"

#include <utility>

#include "host/little_endian.h"
#include "host/text.h"

namespace {

constexpr size_t kGd3HeadBytes = 12;  // "Gd3 ", version, length
constexpr int kGd3Strings = 11;

void PutUtf8(uint32_t c, std::string* out)
{
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

const std::string& Prefer(const std::string& english, const std::string& japanese)
{
    return english.empty() ? japanese : english;
}

// C0 controls other than tab and line breaks, DEL, and C1 controls (UTF-8 C2 80 to C2 9F).
bool HasControlCharacters(const std::string& utf8)
{
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) {
            return true;
        }
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            return true;
        }
    }
    return false;
}

// The block's head: where it is, its ident and its length in UTF-16 units.
Result CheckBlock(const uint8_t* data, size_t size, uint64_t offset, size_t* units)
{
    if (offset >= size || size - offset < kGd3HeadBytes) {
        return Result::Failure("the block lies past the end of the file");
    }
    const uint8_t* block = data + offset;
    if (block[0] != 'G' || block[1] != 'd' || block[2] != '3' || block[3] != ' ') {
        return Result::Failure("no \"Gd3 \" ident");
    }
    const uint64_t length = ReadLe32(block + 8);
    if (length % 2 != 0) {
        return Result::Failure("odd length " + std::to_string(length) + " for UTF-16 text");
    }
    if (length > size - offset - kGd3HeadBytes) {
        return Result::Failure("its length " + std::to_string(length) + " runs past the end of the file");
    }
    *units = static_cast<size_t>(length / 2);
    return {};
}

// The eleven terminated strings of the block, as UTF-8 text.
Result ReadStrings(const uint8_t* text, size_t units, std::string (&fields)[kGd3Strings])
{
    size_t start = 0;
    for (int f = 0; f < kGd3Strings; ++f) {
        const std::string which = "string " + std::to_string(f + 1) + " of 11 ";
        size_t end = start;
        while (end < units && ReadLe16(text + 2 * end) != 0) {
            ++end;
        }
        if (end == units) {
            return Result::Failure(which + "has no terminator");
        }
        if (!Utf16LeToUtf8(text + 2 * start, end - start, &fields[f])) {
            return Result::Failure(which + "is not UTF-16");
        }
        if (HasControlCharacters(fields[f])) {
            return Result::Failure(which + "holds control characters");  // not text, and a terminal would act on it
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

bool Gd3Tags::Empty() const
{
    return track.empty() && game.empty() && system.empty() && author.empty() && date.empty() && ripper.empty() &&
           notes.empty();
}

bool Utf16LeToUtf8(const uint8_t* data, size_t units, std::string* out)
{
    out->clear();
    for (size_t i = 0; i < units; ++i) {
        uint32_t c = ReadLe16(data + 2 * i);
        if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;  // a low surrogate without its high one
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == units) {
                return false;
            }
            const uint32_t low = ReadLe16(data + 2 * i + 2);
            if (low < 0xDC00 || low > 0xDFFF) {
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        }
        PutUtf8(c, out);
    }
    return true;
}

Result ReadGd3Tags(const uint8_t* data, size_t size, uint64_t offset, Gd3Tags* tags)
{
    *tags = Gd3Tags{};
    if (offset == 0) {
        return {};
    }
    size_t units = 0;
    std::string fields[kGd3Strings];
    Result read = CheckBlock(data, size, offset, &units);
    if (read.Ok()) {
        read = ReadStrings(data + offset + kGd3HeadBytes, units, fields);
    }
    if (!read.Ok()) {
        return read.Within("GD3 tags at offset " + HexText(offset) + " ignored");
    }
    tags->track = Prefer(fields[0], fields[1]);
    tags->game = Prefer(fields[2], fields[3]);
    tags->system = Prefer(fields[4], fields[5]);
    tags->author = Prefer(fields[6], fields[7]);
    tags->date = fields[8];
    tags->ripper = fields[9];
    tags->notes = fields[10];
    return {};
}

std::string SongTitle(const Gd3Tags& tags, const std::string& fallback)
{
    if (!tags.track.empty()) return tags.track;
    if (!tags.game.empty()) return tags.game;
    return fallback;
}

std::string FormatGd3Tags(const Gd3Tags& tags)
{
    const std::pair<const char*, const std::string*> rows[] = {
        {"Track", &tags.track},   {"Game", &tags.game},     {"System", &tags.system}, {"Author", &tags.author},
        {"Date", &tags.date},     {"Ripper", &tags.ripper}, {"Notes", &tags.notes},
    };
    std::string text;
    for (const auto& [label, value] : rows) {
        if (value->empty()) {
            continue;
        }
        // "  Label:" in a column of eight, then the value.
        const std::string head = std::string(label) + ":";
        text += "  " + head + std::string(head.size() < 8 ? 8 - head.size() : 0, ' ');
        for (char c : *value) {
            if (c == '\r') {
                continue;
            }
            text += c;
            if (c == '\n') {
                text += "          ";
            }
        }
        text += '\n';
    }
    return text;
}

std::vector<SongTagField> SongTagFields(const Gd3Tags& tags)
{
    // The game is the album a track belongs to; the ripper digitised it, as
    // INFO's technician did.
    const SongTagField rows[] = {
        {"TITLE", "INAM", tags.track},    {"ALBUM", "IPRD", tags.game},   {"ARTIST", "IART", tags.author},
        {"DATE", "ICRD", tags.date},      {"COMMENT", "ICMT", tags.notes}, {"SYSTEM", "ISRF", tags.system},
        {"RIPPER", "ITCH", tags.ripper},
    };
    std::vector<SongTagField> fields;
    for (const SongTagField& row : rows) {
        if (row.value.empty()) {
            continue;
        }
        SongTagField field = row;
        std::erase(field.value, '\r');
        fields.push_back(std::move(field));
    }
    return fields;
}
