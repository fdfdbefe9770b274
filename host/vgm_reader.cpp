#include "host/vgm_reader.h"

#include "host/little_endian.h"
#include "host/text.h"

namespace {

constexpr uint32_t kHeaderEnd = 0x40;  // smallest header, also data start before 1.50
constexpr uint32_t kDataBlockHead = 7; // 0x67 0x66 type size32

// Length in bytes, code included, of every fixed-length command; 0 for codes
// that no version defines. 0x67 (data block) is measured by the caller.
uint32_t CommandLength(uint8_t code, uint32_t version)
{
    if (code >= 0x30 && code <= 0x3F) return 2;    // 0x30 second SN76489, 0x3F, reserved
    if (code >= 0x40 && code <= 0x4E) return version < 0x160 ? 2 : 3;  // reserved; one operand before 1.60
    if (code == 0x4F || code == 0x50) return 2;    // Game Gear stereo, SN76489
    if (code >= 0x51 && code <= 0x5F) return 3;    // register writes of other chips
    if (code == 0x61) return 3;
    if (code == 0x62 || code == 0x63 || code == 0x66) return 1;
    if (code == 0x64) return 4;                    // 1.70: new length of 0x62 or 0x63
    if (code == 0x68) return 12;                   // PCM RAM write
    if (code >= 0x70 && code <= 0x8F) return 1;    // short waits; YM2612 DAC write and wait
    switch (code) {
    case 0x90: case 0x91: case 0x95: return 5;     // DAC stream set-up, data, fast start
    case 0x92: return 6;                           // stream frequency
    case 0x93: return 11;                          // stream start
    case 0x94: return 2;                           // stream stop
    default: break;
    }
    if (code >= 0xA0 && code <= 0xBF) return 3;    // AY8910, reserved, two-operand chips
    if (code >= 0xC0 && code <= 0xDF) return 4;    // three-operand chips and reserved
    if (code >= 0xE0) return 5;                    // seek, C352, reserved
    return 0;
}

class Reader {
public:
    Reader(const uint8_t* bytes, size_t byteCount, VgmSong* result, std::vector<std::string>* notes)
        : data(bytes), size(byteCount), song(result), warnings(notes)
    {
    }

    Result Run()
    {
        const Result header = ReadHeader();
        return header.Ok() ? ReadCommands() : header;
    }

private:
    void Warn(const std::string& text)
    {
        if (warnings != nullptr) {
            warnings->push_back(text);
        }
    }

    Result ReadHeader()
    {
        if (size < 4 || data[0] != 'V' || data[1] != 'g' || data[2] != 'm' || data[3] != ' ') {
            return Result::Failure("not a VGM file: no \"Vgm \" ident");
        }
        if (size < kHeaderEnd) {
            return Result::Failure("VGM header cut short: " + std::to_string(size) + " bytes, at least 64 needed");
        }
        uint64_t end = size;
        const Result ended = ReadEnd(&end);
        if (!ended.Ok()) {
            return ended;
        }
        song->version = ReadLe32(data + 0x08);
        if (song->version > 0x171) {
            Warn("VGM version " + HexText(song->version) + " is newer than 1.71; read as 1.71");
        }
        const uint32_t clockField = ReadLe32(data + 0x0C);
        song->snClockHz = clockField & 0x3FFFFFFFu;
        song->dualChip = (clockField & 0x40000000u) != 0;
        if (song->snClockHz == 0) {
            return Result::Failure("no SN76489 in this file (its clock field is 0)");
        }
        const Result started = ReadDataStart(end);
        return started.Ok() ? ReadTagAndLoop(end) : started;
    }

    // End of the file as the header gives it; 0 (never written) means the file size.
    Result ReadEnd(uint64_t* end) const
    {
        const uint64_t eofField = ReadLe32(data + 0x04);
        if (eofField == 0) {
            return {};
        }
        *end = 0x04 + eofField;
        if (*end > size) {
            return Result::Failure("file truncated: the header gives " + std::to_string(*end) +
                                   " bytes, the file has " + std::to_string(size));
        }
        if (*end < kHeaderEnd) {
            return Result::Failure("end-of-file offset " + HexText(eofField) + " points into the header");
        }
        return {};
    }

    Result ReadDataStart(uint64_t end)
    {
        uint64_t dataStart = kHeaderEnd;
        const uint32_t field = song->version >= 0x150 ? ReadLe32(data + 0x34) : 0;
        if (field != 0) {
            if (field >= 0x80000000u || 0x34u + field < kHeaderEnd) {
                return Result::Failure("data offset " + HexText(field) + " points backwards, into the header");
            }
            dataStart = 0x34u + uint64_t{field};
            if (dataStart > end) {
                return Result::Failure("data offset " + HexText(field) + " points past the end of the file");
            }
        }
        song->dataStart = static_cast<uint32_t>(dataStart);
        return {};
    }

    Result ReadTagAndLoop(uint64_t end)
    {
        streamEnd = end;
        const uint32_t gd3Field = ReadLe32(data + 0x14);
        if (gd3Field != 0) {
            // A tag block past the end is the tag reader's to report; the music plays.
            const uint64_t gd3 = 0x14 + uint64_t{gd3Field};
            song->gd3Offset = gd3;
            if (gd3 < end && gd3 >= song->dataStart) {
                streamEnd = gd3;  // the tag follows the commands
            }
        }
        const uint32_t loopField = ReadLe32(data + 0x1C);
        if (loopField != 0) {
            loopAt = 0x1C + uint64_t{loopField};
            if (loopAt >= streamEnd) {
                return Result::Failure("loop offset " + HexText(loopField) + " points past the end of the data");
            }
            if (loopAt < song->dataStart) {
                return Result::Failure("loop offset " + HexText(loopField) + " points before the data");
            }
        }
        return {};
    }

    void AddWait(uint64_t samples)
    {
        if (samples == 0) {
            return;
        }
        total += samples;
        while (samples > 0) {
            const uint32_t piece = samples > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(samples);
            samples -= piece;
            // Merge with a wait just before, unless the loop point lies between
            // (it may lie after a command that made no event).
            const bool loopBetween = song->loopEvent == song->events.size();
            if (!loopBetween && !song->events.empty() && song->events.back().kind == VgmEvent::Kind::Wait &&
                song->events.back().samples <= 0x7FFFFFFFu - piece) {
                song->events.back().samples += piece;
            } else {
                song->events.push_back({VgmEvent::Kind::Wait, 0, 0, piece});
            }
        }
    }

    // The length of the command at pos, code included, checked against the data's end.
    Result MeasureCommand(uint64_t pos, uint64_t* length) const
    {
        const uint8_t code = data[pos];
        *length = CommandLength(code, song->version);
        if (code == 0x67) {
            if (pos + kDataBlockHead > streamEnd) {
                return Result::Failure("data block at offset " + HexText(pos) +
                                       " is cut off by the end of the data");
            }
            if (data[pos + 1] != 0x66) {
                return Result::Failure("data block at offset " + HexText(pos) + " lacks its 0x66 marker");
            }
            // Bit 31 of the size flags the second chip's memory; the rest is the length.
            *length = kDataBlockHead + uint64_t{ReadLe32(data + pos + 3) & 0x7FFFFFFFu};
        } else if (*length == 0) {
            return Result::Failure("unknown command " + HexText(code) + " at offset " + HexText(pos));
        }
        if (pos + *length > streamEnd) {
            return Result::Failure("command " + HexText(code) + " at offset " + HexText(pos) +
                                   " is cut off by the end of the data");
        }
        return {};
    }

    // What one command means for the SN76489s: a write, a wait, a new wait
    // length, or nothing (another chip's command, counted).
    void Apply(uint8_t code, const uint8_t* operand)
    {
        if (code == 0x50) {
            song->events.push_back({VgmEvent::Kind::Write, 0, operand[0], 0});
        } else if (code == 0x30 && song->dualChip) {
            song->events.push_back({VgmEvent::Kind::Write, 1, operand[0], 0});
        } else if (code == 0x61) {
            AddWait(ReadLe16(operand));
        } else if (code == 0x62) {
            AddWait(wait62);
        } else if (code == 0x63) {
            AddWait(wait63);
        } else if (code == 0x64) {
            const uint32_t samples = ReadLe16(operand + 1);
            if (operand[0] == 0x62) {
                wait62 = samples;
            } else if (operand[0] == 0x63) {
                wait63 = samples;
            }
        } else if (code >= 0x70 && code <= 0x7F) {
            AddWait(uint32_t{code} - 0x6Fu);
        } else if (code >= 0x80 && code <= 0x8F) {
            // A YM2612 sample write we do not play; its wait still counts.
            ++song->skippedCommands;
            AddWait(uint32_t{code} - 0x80u);
        } else {
            ++song->skippedCommands;
        }
    }

    Result ReadCommands()
    {
        bool loopFound = false;
        for (uint64_t pos = song->dataStart; pos < streamEnd;) {
            if (pos == loopAt) {
                loopFound = true;
                song->loopEvent = song->events.size();
                song->introSamples = total;
            }
            uint64_t length = 0;
            const Result measured = MeasureCommand(pos, &length);
            if (!measured.Ok()) {
                return measured;
            }
            if (data[pos] == 0x66) {
                song->hasEndCommand = true;
                break;
            }
            Apply(data[pos], data + pos + 1);
            pos += length;
        }
        if (loopAt != 0 && !loopFound) {
            return Result::Failure("loop offset " + HexText(loopAt - 0x1C) + " does not point at a command");
        }
        if (!song->hasEndCommand) {
            Warn("no end command (0x66): played to the end of the data");
        }
        song->introSamples = song->loopEvent == kNoLoop ? total : song->introSamples;
        song->loopSamples = song->loopEvent == kNoLoop ? 0 : total - song->introSamples;
        return {};
    }

    const uint8_t* data;
    size_t size;
    VgmSong* song;
    std::vector<std::string>* warnings;
    uint64_t streamEnd = 0;
    uint64_t loopAt = 0;     // file offset of the loop point; 0: none
    uint64_t total = 0;      // samples so far
    uint32_t wait62 = 735;   // 1/60 s
    uint32_t wait63 = 882;   // 1/50 s
};

}  // namespace

Result ParseVgm(const uint8_t* data, size_t size, VgmSong* song, std::vector<std::string>* warnings)
{
    *song = VgmSong{};
    Reader reader(data, size, song, warnings);
    return reader.Run();
}

uint64_t VgmPlaySamples(const VgmSong& song, uint32_t loops)
{
    const uint64_t once = song.TotalSamples();
    if (song.loopEvent == kNoLoop || loops <= 1 || song.loopSamples == 0) {
        return once;
    }
    const uint64_t repeats = loops - 1u;
    if (repeats > (UINT64_MAX - once) / song.loopSamples) {
        return UINT64_MAX;
    }
    return once + repeats * song.loopSamples;
}
