// A fixed amount of rendering with one renderer, for counting instructions
// under callgrind:
//   psg_render_loop <case> <event|frame> [repeats] [file]
// case: silent, shortest, musical, noise or worst (10 s at 44100 Hz in
// calls of 735 frames, times repeats), or music (the whole corpus, or the
// files whose names contain file, times repeats). Prints the chip-frames
// rendered: divide the inclusive Ir of PsgRender or ReferenceRender by it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
                 "usage: psg_render_loop <silent|shortest|musical|noise|worst|music> <event|frame> [repeats] [file]\n");
    return 2;
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
    if ((how != "event" && how != "frame") || repeats < 1) {
        return Usage();
    }
    const PsgRenderer renderer = how == "event" ? PsgRenderer::kEventBased : PsgRenderer::kPerFrame;

    if (what == "music") {
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
