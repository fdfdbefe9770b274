#include "host/song_info.h"

#include <cstdio>

std::string ClockTime(double seconds)
{
    char text[40];
    const long long hundredths = static_cast<long long>(seconds * 100 + 0.5);
    const long long s = hundredths / 100;
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld", s / 3600, s / 60 % 60, s % 60, hundredths % 100);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld.%02lld", s / 60, s % 60, hundredths % 100);
    }
    return text;
}

std::string DescribeVgm(const VgmSong& song, const Gd3Tags& tags)
{
    char line[200];
    std::string text;
    std::snprintf(line, sizeof line, "  VGM %x.%02x, SN76489 at %u Hz%s\n", song.version >> 8, song.version & 0xFF,
                  song.snClockHz, song.dualChip ? ", two chips" : "");
    text += line;
    const double total = static_cast<double>(song.TotalSamples()) / kVgmSampleRate;
    if (song.loopEvent != kNoLoop && song.loopSamples > 0) {
        text += "  length " + ClockTime(total) + ", looped part " +
                ClockTime(static_cast<double>(song.loopSamples) / kVgmSampleRate) + "\n";
    } else {
        text += "  length " + ClockTime(total) + ", no loop\n";
    }
    std::snprintf(line, sizeof line, "  %zu events, %llu commands for other chips\n", song.events.size(),
                  static_cast<unsigned long long>(song.skippedCommands));
    text += line;
    return text + FormatGd3Tags(tags);
}

std::string DescribeScript(const PortScript& script)
{
    std::string text = "  port script, " + std::to_string(script.steps.size()) + " steps, " +
                       std::to_string(script.totalFrames) + " frames";
    if (script.rateHz != 0) {
        text += " at " + std::to_string(script.rateHz) + " Hz";
    }
    text += "\n";
    for (const LateRate& late : script.lateRates) {
        text += "  line " + std::to_string(late.line) + ": rate " + std::to_string(late.rateHz) + " Hz\n";
    }
    return text;
}
