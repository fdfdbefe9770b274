// A fixed amount of rendering with one renderer, for counting instructions
// under callgrind:
//   psg_render_loop <case> <event|frame> [repeats] [file]
// case: silent, shortest, musical, noise or worst (10 s at 44100 Hz in
// calls of 735 frames, times repeats), music (the whole corpus, or the
// files whose names contain file, times repeats), speech (the speech shape
// on chip 0's record alone) or speech-11 (the same in calls of 11 frames;
// twice a speech call less a speech-11 one is the chip's cost of a call
// apart from its frames). Prints the chip-frames rendered: divide the
// inclusive Ir of PsgRender or ReferenceRender by it.
//   psg_render_loop <case> device [repeats] [file]
// runs a device workload through Quarix::Mix, both chips on every call:
// music, speech, speech-long, speech-11, worst, silent or silent-short (see
// device_workloads.h); speech-both, speech-slow or speech-noise, each also
// with -11 or -long, sound another voice under the speech shape's writes.
// Prints the chip-frames of the chips that sound and the Mix calls: divide
// the inclusive Ir of Quarix::Mix by them, counted under
// --toggle-collect='RunDeviceWorkload*', since recording the music mixes
// through the device too.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "bench/device_workloads.h"
#include "bench/music_replay.h"
#include "bench/psg_bench_cases.h"
#include "psg/psg_chip.h"

namespace {
constexpr int32_t kFramesPerCall = 735;
constexpr int32_t kTenSecondsCalls = 600;
StereoFrame frames[kFramesPerCall];

int Usage()
{
    std::fprintf(stderr,
                 "usage: psg_render_loop <silent|shortest|musical|noise|worst|music|speech|speech-11> <event|frame> [repeats] [file]\n"
                 "       psg_render_loop <music|speech[-both|-slow|-noise][-long|-11]|worst|silent|silent-short> device [repeats] [file]\n");
    return 2;
}

std::vector<Song> LoadMusic(int argc, char** argv)
{
    std::vector<std::string> errors;
    std::vector<Song> songs = LoadCorpus(QUARIX_CORPUS_DIR, &errors);
    if (argc > 4) {
        std::erase_if(songs, [&](const Song& s) { return s.name.find(argv[4]) == std::string::npos; });
    }
    for (const std::string& e : errors) {
        std::fprintf(stderr, "left out %s\n", e.c_str());
    }
    if (songs.empty()) {
        std::fprintf(stderr, "no music in %s\n", QUARIX_CORPUS_DIR);
    }
    return songs;
}

// speech-both, speech-slow-11 and so on: a speech workload with another
// voice; returns the workload's name without it.
std::string TakeVoice(std::string what, SpeechVoice& voice)
{
    const std::pair<const char*, SpeechVoice> voices[] = {
        {"-both", SpeechVoice::kBothChips}, {"-slow", SpeechVoice::kSlowTones}, {"-noise", SpeechVoice::kWithNoise}};
    for (const auto& [infix, v] : voices) {
        if (what.starts_with(std::string("speech") + infix)) {
            voice = v;
            return what.erase(6, std::strlen(infix));
        }
    }
    return what;
}

int RunOnDevice(const std::string& name, long repeats, int argc, char** argv)
{
    SpeechVoice voice = SpeechVoice::kFastTones;
    const std::string what = TakeVoice(name, voice);
    const std::pair<const char*, DeviceWorkload> workloads[] = {
        {"music", DeviceWorkload::kMusic},         {"speech", DeviceWorkload::kSpeech},
        {"speech-long", DeviceWorkload::kSpeechLong}, {"speech-11", DeviceWorkload::kSpeech11},
        {"worst", DeviceWorkload::kWorstCase},
        {"silent", DeviceWorkload::kSilent},       {"silent-short", DeviceWorkload::kSilentShort},
    };
    const auto* found = std::find_if(std::begin(workloads), std::end(workloads),
                                     [&](const auto& w) { return what == w.first; });
    if (found == std::end(workloads)) {
        return Usage();
    }
    std::vector<Song> songs;
    if (found->second == DeviceWorkload::kMusic && (songs = LoadMusic(argc, argv)).empty()) {
        return 77;
    }
    BenchDevice bench;
    DeviceRun total;
    for (long i = 0; i < repeats; ++i) {
        const DeviceRun run = RunDeviceWorkload(bench, found->second, songs, voice);
        total.chipFrames += run.chipFrames;
        total.mixCalls += run.mixCalls;
    }
    std::printf("%.0f chip-frames in %.0f Mix calls\n", total.chipFrames, total.mixCalls);
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return Usage();
    }
    const std::string what = argv[1];
    const std::string how = argv[2];
    const long repeats = argc > 3 ? std::atol(argv[3]) : 1;
    if (how == "device" && repeats >= 1) {
        return RunOnDevice(what, repeats, argc, argv);
    }
    if ((how != "event" && how != "frame") || repeats < 1) {
        return Usage();
    }
    const PsgRenderer renderer = how == "event" ? PsgRenderer::kEventBased : PsgRenderer::kPerFrame;

    if (what == "music") {
        const std::vector<Song> songs = LoadMusic(argc, argv);
        if (songs.empty()) {
            return 77;
        }
        double chipFrames = 0;
        double calls = 0;
        for (long i = 0; i < repeats; ++i) {
            for (const Song& s : songs) {
                ReplaySong(s, renderer);
                chipFrames += static_cast<double>(s.frames) * s.chips;
                calls += static_cast<double>(s.mixCalls) * s.chips;
            }
        }
        std::printf("%.0f chip-frames in %.0f render calls, %zu songs\n", chipFrames, calls, songs.size());
        return 0;
    }

    if (what == "speech" || what == "speech-11") {
        // As the device's speech and speech-11: 5 and 6 frames a call, or 11.
        const int32_t size = what == "speech" ? 0 : 11;
        const long calls = repeats * (size == 0 ? kSpeechCalls : kSpeechCalls / 2);
        RunSpeechOnRecord(renderer, static_cast<int32_t>(calls), size);
        std::printf("%.0f chip-frames in %ld render calls\n", static_cast<double>(calls) * (size == 0 ? 5.5 : size),
                    calls);
        return 0;
    }

    const char* names[] = {"silent", "shortest", "musical", "noise", "worst"};
    int which = -1;
    for (int i = 0; i < kBenchCaseCount; ++i) {
        if (what == names[i]) {
            which = i;
        }
    }
    if (which < 0) {
        return Usage();
    }
    PsgBenchSetUp(static_cast<PsgBenchCase>(which));
    const long calls = repeats * kTenSecondsCalls;
    for (long i = 0; i < calls; ++i) {
        PsgRenderWith(renderer, 0, frames, kFramesPerCall);
    }
    std::printf("%ld chip-frames in %ld render calls, first sample %d\n", calls * kFramesPerCall, calls,
                frames[0].left);
    return 0;
}
