#include "host/render_options.h"

#include "host/playlist.h"
#include "host/text.h"
#include "quarix_version.h"

namespace {

// The arguments, one at a time, and the values options take.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string>& list) : args(list) {}

    bool Next()
    {
        ++at;
        return at < args.size();
    }
    const std::string& Current() const { return args[at]; }
    bool Is(const char* name, const char* alias = nullptr) const
    {
        return Current() == name || (alias != nullptr && Current() == alias);
    }
    // The option's value: the next argument.
    Result Value(std::string* value)
    {
        if (at + 1 >= args.size()) {
            return Result::BadUsage(Current() + " needs a value");
        }
        *value = args[++at];
        return {};
    }
    // The option's value as a number of format; advice says what to give instead.
    Result Number(const NumberFormat& format, const std::string& advice, uint64_t* number)
    {
        const std::string option = Current();
        std::string text;
        const Result read = Value(&text);
        if (read.Ok() && !ParseNumber(text, format, number)) {
            return Result::BadUsage(option + " " + text + ": " + advice);
        }
        return read;
    }

private:
    const std::vector<std::string>& args;
    size_t at = static_cast<size_t>(-1);
};

// Where the frames go. handled: the argument was one of these.
Result ParseOutputOption(Arguments& a, bool toDirectory, RenderOptions* o, bool* handled)
{
    *handled = true;
    if (a.Is("-o", "--output")) {
        return a.Value(&o->wavPath);
    }
    if (a.Is("--raw") && toDirectory) {  // with -d, --raw takes no file: it asks for DIR/NAME.bin
        o->rawInDir = true;
        return {};
    }
    if (a.Is("--raw")) {
        return a.Value(&o->rawPath);
    }
    if (a.Is("-d", "--output-dir")) {
        return a.Value(&o->outputDir);
    }
    if (a.Is("--info")) {
        o->info = true;
        return {};
    }
    if (a.Is("--exact")) {
        o->exact = true;
        return {};
    }
    if (a.Is("-q", "--quiet")) {
        o->quiet = true;
        return {};
    }
    if (a.Is("--format")) {
        std::string name;
        const Result read = a.Value(&name);
        o->formatGiven = true;
        o->format = name == "flac" ? SoundFormat::Flac : SoundFormat::Wav;
        return read.Ok() && name != "wav" && name != "flac"
                   ? Result::BadUsage("--format " + name + ": give wav or flac")
                   : read;
    }
    *handled = false;
    return {};
}

// How the input plays.
Result ParsePlayOption(Arguments& a, PlayOptions* play, bool* handled)
{
    *handled = true;
    uint64_t n = 0;
    Result read;
    if (a.Is("--rate")) {
        read = a.Number({kMinHostRateHz, kMaxHostRateHz}, "give a whole number of Hz from " +
                        std::to_string(kMinHostRateHz) + " to " + std::to_string(kMaxHostRateHz), &n);
        play->rateHz = static_cast<int32_t>(n);
    } else if (a.Is("--loops")) {
        read = a.Number({1, 1000000}, "give a whole number from 1 to 1000000", &n);
        play->loops = static_cast<uint32_t>(n);
    } else if (a.Is("--fade")) {
        read = a.Number({1, 3600000, 3}, "give seconds above 0, at most 3600, with at most three decimals", &n);
        play->fadeMs = static_cast<uint32_t>(n);
    } else if (a.Is("--max-hours")) {
        constexpr uint64_t kMicro = 1000000;
        read = a.Number({1, static_cast<uint64_t>(kMaxHoursLimit) * kMicro, 6},
                        "give a number of hours above 0, at most 10000", &n);
        play->maxHours = static_cast<double>(n) / kMicro;
    } else if (a.Is("--no-pitch-fix")) {
        play->pitchFix = false;
    } else {
        *handled = false;
    }
    return read;
}

// Which channels sound and from where: --mute and --solo (each as often as
// wanted), --stems, --start.
Result ParseChannelOption(Arguments& a, RenderOptions* o, bool* handled)
{
    *handled = true;
    if (a.Is("--stems")) {
        o->stems = true;
        return {};
    }
    if (a.Is("--start")) {
        uint64_t ms = 0;
        const Result read = a.Number({0, kMaxStartMs, 3}, "give seconds from 0, with at most three decimals", &ms);
        o->startMs = ms;
        return read;
    }
    *handled = a.Is("--mute") || a.Is("--solo");
    if (!*handled) {
        return {};
    }
    ChannelSet& set = a.Is("--mute") ? o->mute : o->solo;
    const std::string option = a.Current();
    std::string text;
    ChannelSet channels = 0;
    Result read = a.Value(&text);
    if (read.Ok()) {
        read = ParseChannelList(text, &channels).Within(option);
    }
    set = static_cast<ChannelSet>(set | channels);
    return read;
}

// Playing live, and the options only some front ends offer.
Result ParseLiveOption(Arguments& a, const FrontEnd& frontEnd, RenderOptions* o, bool* handled)
{
    *handled = true;
    uint64_t n = 0;
    Result read;
    if (a.Is("--play")) {
        o->live.play = true;
    } else if (a.Is("--device")) {
        read = a.Value(&o->live.device);
    } else if (a.Is("--latency")) {
        read = a.Number({kMinLatencyMs, kMaxLatencyMs}, "give a whole number of milliseconds from 10 to 2000", &n);
        o->live.latencyMs = static_cast<uint32_t>(n);
    } else if (a.Is("--settings") && frontEnd.offersSettings) {
        o->live.settings = true;
    } else if (a.Is("-j", "--jobs") && frontEnd.offersJobs) {
        read = a.Number({1, 256}, "give a whole number from 1 to 256", &n);
        o->jobs = static_cast<int>(n);
    } else if (a.Is("--module") && frontEnd.offersModule) {
        read = a.Value(&o->modulePath);
    } else {
        *handled = false;
    }
    return read;
}

Result ParseArgument(Arguments& a, const FrontEnd& frontEnd, bool toDirectory, RenderOptions* o)
{
    bool handled = false;
    Result read = ParseOutputOption(a, toDirectory, o, &handled);
    if (!handled) {
        read = ParsePlayOption(a, &o->play, &handled);
    }
    if (!handled) {
        read = ParseChannelOption(a, o, &handled);
    }
    if (!handled) {
        read = ParseLiveOption(a, frontEnd, o, &handled);
    }
    if (handled) {
        return read;
    }
    if (a.Is("-h", "--help")) {
        o->help = true;
    } else if (a.Is("--version")) {
        o->version = true;
    } else if (a.Current().size() > 1 && a.Current()[0] == '-') {
        return Result::BadUsage("unknown option " + a.Current() + " (see --help)");
    } else {
        o->inputs.push_back(a.Current());
    }
    return {};
}

// What no single option can say wrong on its own.
Result CheckCombination(const RenderOptions& o)
{
    if (o.inputs.empty()) {
        return Result::BadUsage("no input file (see --help)");
    }
    if (!o.outputDir.empty() && !o.wavPath.empty()) {
        return Result::BadUsage("-o names one file; with -d every input gets DIR/NAME.wav");
    }
    if (o.inputs.size() > 1 && o.outputDir.empty() && (!o.wavPath.empty() || !o.rawPath.empty())) {
        return Result::BadUsage("several inputs: give -d DIR for their outputs (-o and --raw name one file)");
    }
    if (o.stems && (o.live.play || o.info || (o.outputDir.empty() && (o.wavPath.empty() || o.wavPath == "-")))) {
        return Result::BadUsage("--stems writes files beside the mix: give -o NAME.wav (or .flac) or -d DIR, "
                                "without --play");
    }
    // An -o named .wav or .flac says its format itself.
    const bool named = OutputFormat(o.wavPath, SoundFormat::Wav) == OutputFormat(o.wavPath, SoundFormat::Flac);
    if (o.formatGiven && named && OutputFormat(o.wavPath, o.format) != o.format) {
        return Result::BadUsage("--format and the name of -o " + o.wavPath + " ask for different formats");
    }
    if (!o.live.play && (o.live.settings || !o.live.device.empty())) {
        return Result::BadUsage(std::string(o.live.settings ? "--settings" : "--device") + " needs --play");
    }
    return {};
}

}  // namespace

SoundFormat OutputFormat(const std::string& path, SoundFormat asked)
{
    std::string end = path.substr(path.size() > 5 ? path.size() - 5 : 0);
    for (char& c : end) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (end == ".flac") {
        return SoundFormat::Flac;
    }
    return end.ends_with(".wav") ? SoundFormat::Wav : asked;
}

Result ParseRenderOptions(const std::vector<std::string>& args, const FrontEnd& frontEnd, RenderOptions* options)
{
    *options = RenderOptions{};
    bool toDirectory = false;
    for (const std::string& a : args) {
        toDirectory = toDirectory || a == "-d" || a == "--output-dir";
    }
    Arguments a(args);
    while (a.Next()) {
        const Result read = ParseArgument(a, frontEnd, toDirectory, options);
        if (!read.Ok()) {
            return read;
        }
    }
    if (options->help || options->version) {
        return {};
    }
    options->inputs = ExpandPlaylists(options->inputs);
    const Result checked = CheckCombination(*options);
    if (checked.Ok()) {
        options->input = options->inputs[0];
    }
    return checked;
}

namespace {

std::string OutputUsage(const FrontEnd& frontEnd)
{
    std::string text =
        "  -o, --output FILE   write a 16-bit stereo WAV at the output rate (saturated),\n"
        "                      the song's tags in it; FILE.flac writes FLAC instead\n"
        "  --raw FILE          write the mixed frames exactly, at the rate the chips ran:\n"
        "                      32-bit little-endian left, right\n"
        "  -d, --output-dir DIR\n"
        "                      write DIR/NAME.wav for every INPUT (NAME: its file name\n"
        "                      without extension); --raw, without a file, adds DIR/NAME.bin\n"
        "  --format wav|flac   the format of -d's files, and of an -o whose name ends in\n"
        "                      neither (standard output, a device); default wav\n";
    text += frontEnd.offersJobs ? "  -j, --jobs N        render N files at once (default: one per processor)\n"
                                : "                      (one file after another)\n";
    return text +
           "  --info              show the header facts and tags of each INPUT on standard\n"
           "                      output; play nothing\n";
}

std::string PlayUsage()
{
    return "  --rate HZ           output rate, " + std::to_string(kMinHostRateHz) + " to " +
           std::to_string(kMaxHostRateHz) +
           " (default 44100); a script's own\n"
           "                      rate line wins\n"
           "  --loops N           play the looped part of a VGM N times in all (default 1)\n"
           "  --fade SECONDS      after the loops, keep playing the looped part for SECONDS\n"
           "                      (up to 3600, in steps of 0.001) while the amplitude falls\n"
           "                      linearly to zero; WAV and raw alike; off by default, and\n"
           "                      only for looped VGMs\n"
           "  --no-pitch-fix      ignore the VGM's clock: the pitch then follows the chips'\n"
           "                      3993600 Hz; the tempo stays\n"
           "  --exact             the module at the output rate and nothing after it: what a\n"
           "                      host at that rate hears, bit for bit (see below)\n"
           "  --max-hours H       refuse renders longer than H hours (default 24)\n"
           "  -q, --quiet         no progress line, tags or summary\n";
}

std::string ChannelUsage()
{
    return "  --mute LIST         silence these channels: 1-3 are chip 0's tones, 4 its noise,\n"
           "                      5-8 the same on chip 1; LIST as in 2,4 or 5-8\n"
           "  --solo LIST         silence every channel but these\n"
           "  --stems             with -o NAME.wav (or -d): also NAME-K.wav (NAME-K.flac\n"
           "                      beside a FLAC mix, NAME-K.bin beside --raw) for every\n"
           "                      channel K that sounds, each from a pass of its own with\n"
           "                      the other channels muted\n"
           "  --start SECONDS     begin the output there (files and --play alike)\n";
}

std::string LiveUsage(const FrontEnd& frontEnd)
{
    std::string text =
        "  --play              play through the system's sound output as well; -o still\n"
        "                      writes the same file. Keys: space pauses, q or Ctrl-C stops,\n"
        "                      1-8 mute or unmute a channel, 0 unmutes all, the left and\n"
        "                      right arrows seek 5 s; with several inputs n and p go to\n"
        "                      the next and previous\n"
        "  --device NAME       the sound output to play on (default: the system's default)\n"
        "  --latency MS        how far playback runs ahead, 10 to 2000 ms (default 75)\n";
    if (frontEnd.offersSettings) {
        text += "  --settings          with --play: the configuration sheet while the music plays\n";
    }
    if (frontEnd.offersModule) {
        text += "  --module PATH       the sound module to load (default: Quarix.j27 beside this program)\n";
    }
    return text;
}

}  // namespace

std::string RenderVersion(const FrontEnd& frontEnd)
{
    return frontEnd.program + " " + kQuarixVersion + "\n";
}

std::string RenderUsage(const FrontEnd& frontEnd)
{
    const std::string& program = frontEnd.program;
    return "usage: " + program + " INPUT [-o OUT.wav] [--raw OUT.bin] [options]\n" + "       " + program +
           " INPUT... -d DIR [--raw] [options]\n" + "       " + program + " --info INPUT...\n" +
           frontEnd.usageLines +
           "\n"
           "Plays INPUT through the Quarix sound device. INPUT is a VGM or VGZ file (SN76489\n"
           "commands; the second chip of dual-chip files goes to port 0xAF) or a port script\n"
           "(lines 'rate HZ', 'out PORT VALUE', 'mix FRAMES', '#' comments), told apart by content.\n"
           "An INPUT ending in .m3u or .m3u8 is a playlist: its entries play in order, one a\n"
           "line, relative ones from the playlist's folder, '#' lines skipped. A missing or\n"
           "bad entry is named and skipped, and the run then fails, as with several inputs.\n"
           "\n" +
           OutputUsage(frontEnd) + PlayUsage() + ChannelUsage() + LiveUsage(frontEnd) +
           "  -h, --help          this text\n"
           "  --version           the version\n"
           "\n"
           "FILE '-' is standard output (one of -o and --raw at most). Messages, tags, the\n"
           "summary and progress go to standard error. A regular file is written under a\n"
           "temporary name and appears only when complete; with -o and --raw both appear or\n"
           "neither. A device or FIFO is written in place, and a symbolic link is written\n"
           "through. Without -o, --raw and -d nothing is written; the summary still shows.\n"
           "A port script may change the rate after its first mix only for raw output: a WAV\n"
           "holds one rate.\n"
           "\n"
           "With -d each input's files are named from its file name alone, so nothing is\n"
           "written outside DIR whatever a playlist says; two inputs with one NAME (in any\n"
           "case) would write the same files, and the second is named and skipped; with\n"
           "--stems an input also takes NAME-1 to NAME-8, so a and a-1 are such a pair. WAV\n"
           "and FLAC files carry the VGM's GD3 tags, English where there is English: FLAC as\n"
           "Vorbis comments (TITLE, ALBUM for the game, ARTIST, DATE, COMMENT for the notes,\n"
           "SYSTEM, RIPPER), WAV in a LIST/INFO chunk after the samples.\n"
           "\n"
           "A VGM written to a WAV or played plays clean: the chips run at their own tick\n"
           "rate, 249600 Hz, where each of their edges falls on a frame, and libsoxr takes\n"
           "that to the output rate, band-limited, so that no tone above half the output\n"
           "rate folds back into the audible band; a high-pass at 3 Hz then removes the\n"
           "offset the chips' one-sided output carries. A file logged for another clock has\n"
           "its frames taken as clock/16 per second, which keeps pitch and tempo. --raw then\n"
           "holds the chips' own frames. --exact, and every port script, runs the module at\n"
           "the output rate as an emulator host does, each frame the exact average of the\n"
           "chips' output over it, fold-back and offset included; --raw alone does too.\n"
           "Use --exact to hear exactly what a host at that rate hears.\n"
           "\n"
           "--mute and --solo change what the module is told, not how it renders: a\n"
           "silenced channel's attenuation writes reach its chip as 15 (off), and every\n"
           "other byte reaches the module at its emulated time. The stems add up to the\n"
           "mix except where the chip's own clamp acts (four loud channels of one chip);\n"
           "in a WAV also where the mix saturates, and by each stem's rounding. --start\n"
           "renders the song up to there without output, so what follows is exactly what\n"
           "a whole render has there; so do the arrows while playing.\n" +
           frontEnd.helpNotes;
}
