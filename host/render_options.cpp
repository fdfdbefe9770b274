// The command line of both front ends: its options and the help text.

#include "host/render_app.h"

#include <cstdlib>

#include "contract/port_protocol.h"

namespace {

bool ParseInteger(const std::string& text, long long low, long long high, long long* value)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

}  // namespace

std::string RenderUsage(const std::string& program, bool moduleOption)
{
    std::string text = "usage: " + program + " INPUT [-o OUT.wav] [--raw OUT.bin] [options]\n" +
                       "       " + program + " INPUT... -d DIR [--raw] [options]\n" +
                       "       " + program + " --info INPUT...\n";
    if (moduleOption) {
        text += "       " + program + " settings [--module PATH]\n";
    }
    text +=
        "\n"
        "Plays INPUT through the Quarix sound device. INPUT is a VGM or VGZ file (SN76489\n"
        "commands; the second chip of dual-chip files goes to port 0xAF) or a port script\n"
        "(lines 'rate HZ', 'out PORT VALUE', 'mix FRAMES', '#' comments), told apart by content.\n"
        "\n"
        "  -o, --output FILE   write a 16-bit stereo WAV at the output rate (saturated)\n"
        "  --raw FILE          write the mixed frames exactly: 32-bit little-endian left, right\n"
        "  -d, --output-dir DIR\n"
        "                      write DIR/NAME.wav for every INPUT (NAME: its file name\n"
        "                      without extension); --raw, without a file, adds DIR/NAME.bin\n";
    if (!moduleOption) {
        text += "  -j, --jobs N        render N files at once (default: one per processor)\n";
    } else {
        text += "                      (one file after another)\n";
    }
    text +=
        "  --info              show the header facts and tags of each INPUT on standard\n"
        "                      output; play nothing\n";
    text += "  --rate HZ           output rate, " + std::to_string(kMinHostRateHz) + " to " +
            std::to_string(kMaxHostRateHz) + " (default 44100); a script's own\n";
    text +=
        "                      rate line wins\n"
        "  --loops N           play the looped part of a VGM N times in all (default 1)\n"
        "  --fade SECONDS      after the loops, keep playing the looped part for SECONDS\n"
        "                      (up to 3600, in steps of 0.001) while the amplitude falls\n"
        "                      linearly to zero; WAV and raw alike; off by default, and\n"
        "                      only for looped VGMs\n"
        "  --no-pitch-fix      run the chips at the output rate, ignoring the VGM's clock\n"
        "                      (the pitch then follows the chips' 3993600 Hz; the tempo stays)\n"
        "  --max-hours H       refuse renders longer than H hours (default 24)\n"
        "  -q, --quiet         no progress line, tags or summary\n";
    text += LiveUsage(moduleOption);
    if (moduleOption) {
        text += "  --module PATH       the sound module to load (default: Quarix.j27 beside this program)\n";
    }
    text += "  -h, --help          this text\n"
            "\n"
            "FILE '-' is standard output (one of -o and --raw at most). Messages, tags, the\n"
            "summary and progress go to standard error. A regular file is written under a\n"
            "temporary name and appears only when complete; with -o and --raw both appear or\n"
            "neither. A device or FIFO is written in place, and a symbolic link is written\n"
            "through. Without -o, --raw and -d nothing is written; the summary still shows.\n"
            "A port script may change the rate after its first mix only for raw output: a WAV\n"
            "holds one rate.\n";
    if (moduleOption) {
        text += "\n"
                "'settings' opens the configuration sheet with the module's page; the module keeps\n"
                "its settings in J27.INI beside this program. It needs a display.\n";
    }
    return text;
}

namespace {

// SECONDS with at most three decimals, as milliseconds from 1 to 3600000.
bool ParseMilliseconds(const std::string& text, uint32_t* ms)
{
    uint64_t whole = 0;
    uint64_t fraction = 0;
    size_t i = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 8; ++i, ++digits) {
        whole = whole * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (digits == 0) {
        return false;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        uint64_t scale = 100;
        size_t decimals = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++decimals) {
            if (decimals == 3) {
                return false;
            }
            fraction += static_cast<uint64_t>(text[i] - '0') * scale;
            scale /= 10;
        }
    }
    const uint64_t total = whole * 1000 + fraction;
    if (i != text.size() || total == 0 || total > 3600000) {
        return false;
    }
    *ms = static_cast<uint32_t>(total);
    return true;
}

}  // namespace

bool ParseRenderOptions(const std::vector<std::string>& args, bool moduleOption, RenderOptions* options,
                        std::string* error)
{
    *options = RenderOptions{};
    // With -d, --raw takes no file: it asks for DIR/NAME.bin.
    bool toDirectory = false;
    for (const std::string& a : args) {
        toDirectory = toDirectory || a == "-d" || a == "--output-dir";
    }
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&](std::string* target) {
            if (i + 1 >= args.size()) {
                *error = a + " needs a value";
                return false;
            }
            *target = args[++i];
            return true;
        };
        std::string text;
        long long number = 0;
        const int live = ParseLiveOption(args, &i, moduleOption, &options->live, error);
        if (live != 0) {
            if (live < 0) return false;
        } else if (a == "-h" || a == "--help") {
            options->help = true;
        } else if (a == "-o" || a == "--output") {
            if (!value(&options->wavPath)) return false;
        } else if (a == "--raw" && toDirectory) {
            options->rawInDir = true;
        } else if (a == "--raw") {
            if (!value(&options->rawPath)) return false;
        } else if (a == "-d" || a == "--output-dir") {
            if (!value(&options->outputDir)) return false;
        } else if ((a == "-j" || a == "--jobs") && !moduleOption) {
            if (!value(&text)) return false;
            if (!ParseInteger(text, 1, 256, &number)) {
                *error = a + " " + text + ": give a whole number from 1 to 256";
                return false;
            }
            options->jobs = static_cast<int>(number);
        } else if (a == "--info") {
            options->info = true;
        } else if (a == "--fade") {
            if (!value(&text)) return false;
            if (!ParseMilliseconds(text, &options->play.fadeMs)) {
                *error = "--fade " + text + ": give seconds above 0, at most 3600, with at most three decimals";
                return false;
            }
        } else if (a == "--rate") {
            if (!value(&text)) return false;
            if (!ParseInteger(text, kMinHostRateHz, kMaxHostRateHz, &number)) {
                *error = "--rate " + text + ": give a whole number of Hz from " + std::to_string(kMinHostRateHz) +
                         " to " + std::to_string(kMaxHostRateHz);
                return false;
            }
            options->play.rateHz = static_cast<int32_t>(number);
        } else if (a == "--loops") {
            if (!value(&text)) return false;
            if (!ParseInteger(text, 1, 1000000, &number)) {
                *error = "--loops " + text + ": give a whole number from 1 to 1000000";
                return false;
            }
            options->play.loops = static_cast<uint32_t>(number);
        } else if (a == "--no-pitch-fix") {
            options->play.pitchFix = false;
        } else if (a == "--max-hours") {
            if (!value(&text)) return false;
            char* end = nullptr;
            const double hours = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(hours > 0) || hours > kMaxHoursLimit) {
                *error = "--max-hours " + text + ": give a number of hours above 0, at most 10000";
                return false;
            }
            options->play.maxHours = hours;
        } else if (a == "-q" || a == "--quiet") {
            options->quiet = true;
        } else if (a == "--module" && moduleOption) {
            if (!value(&options->modulePath)) return false;
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option " + a + " (see --help)";
            return false;
        } else {
            options->inputs.push_back(a);
        }
    }
    if (options->help) {
        return true;
    }
    if (options->inputs.empty()) {
        *error = "no input file (see --help)";
        return false;
    }
    options->input = options->inputs[0];
    if (!options->outputDir.empty() && !options->wavPath.empty()) {
        *error = "-o names one file; with -d every input gets DIR/NAME.wav";
        return false;
    }
    if (options->inputs.size() > 1 && options->outputDir.empty() &&
        (!options->wavPath.empty() || !options->rawPath.empty())) {
        *error = "several inputs: give -d DIR for their outputs (-o and --raw name one file)";
        return false;
    }
    return true;
}
