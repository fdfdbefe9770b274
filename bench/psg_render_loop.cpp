// Renders a fixed number of frames of one benchmark case, for counting
// instructions under callgrind: psg_render_loop <case 0-3> <calls>.
#include <cstdio>
#include <cstdlib>

#include "bench/psg_bench_cases.h"
#include "psg/psg_chip.h"

namespace {
constexpr int32_t kFramesPerCall = 735;
StereoFrame frames[kFramesPerCall];
}  // namespace

int main(int argc, char** argv)
{
    const int which = argc > 1 ? std::atoi(argv[1]) : 2;
    const long calls = argc > 2 ? std::atol(argv[2]) : 1000;
    if (which < 0 || which > 3 || calls < 1) {
        std::fprintf(stderr, "usage: psg_render_loop <case 0-3> <calls>\n");
        return 2;
    }
    PsgBenchSetUp(static_cast<PsgBenchCase>(which));
    for (long i = 0; i < calls; ++i) {
        PsgRender(0, frames, kFramesPerCall);
    }
    std::printf("%ld frames, first sample %d\n", calls * kFramesPerCall, frames[0].left);
    return 0;
}
