// Drives both chips with random resets, level builds, writes, renders and
// counters placed on the edges of the rules, and runs every render through
// PsgRender, or both chips through PsgRenderPair, and through the per-frame
// reference renderer from the same state: chip records and frames must come
// out identical after every call.
//
// Input: a sequence of operations, each an op byte and its operands. Op byte
// bit 0 is the chip, bits 1-3 the kind:
//   0 reset:  byte b; b < 0x80 picks kRates[b % size], otherwise a 32-bit
//             word w gives a rate from 4 to 3997381 Hz, spread over the
//             decades by its top bits
//   1 levels: 32-bit gain, any value
//   2 write:  one byte
//   3 render both chips in one pass (the op's chip bit aside), operands as 5
//   4 write:  two bytes (a latch and its data, usually)
//   5 render: 16-bit word: bits 0-13 frames, bit 14 frames start with
//             arbitrary values, bit 15 split; a split reads a byte s and
//             renders the frames in calls of (s & 0x7F) + 1 frames (long
//             runs of calls of a few frames), or, with bit 7 of s, in calls
//             of sizes taken from further bytes
//   6 render: byte: bits 0-5 frames, bit 6 arbitrary start values, bit 7 a
//             count of 0 or -1 instead
//   7 place:  byte m, byte k: for each channel whose bit is set in m's low
//             nibble, counter = frames * 65536 + (m >> 4 & 3) - 1 with frames
//             = k (the last render's length when k is 0xFF), kept within
//             1 to 2046 * step; tone outputs from k's low bits
// Multi-byte operands are little endian; a missing byte reads as 0. A chip
// is reset at 44100 Hz before its first other operation, as the device does,
// and a render of both first resets either that was not reset yet.
//
// The comparisons made (render calls, those of at least one frame, and the
// frames in them) are printed to stderr at exit.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz/chip_ops.h"
#include "fuzz/fuzz_input.h"
#include "psg/psg_chip.h"
#include "tests/support/psg_stand_in.h"
#include "tests/support/reference_render.h"

namespace {

// Typical rates, the ends of the range, and rates whose step divides a
// frame (7800: 2048, 3900: 1024, 249600: 65536), so events land on frame ends.
constexpr int32_t kRates[] = {44100, 48000, 22050, 11025, 96000, 7800, 3900, 249600, 4, 5, 3997381, 3997380, 1000};

// Reference work per input, in frames plus channel events, so that short
// periods and long renders do not make single inputs slow.
constexpr int64_t kWorkBudget = int64_t{1} << 22;

StereoFrame actual[kMaxRenderFrames];
StereoFrame expected[kMaxRenderFrames];

uint64_t comparedCalls = 0;
uint64_t comparedFrameCalls = 0;
uint64_t comparedFrames = 0;

void PrintCounts()
{
    std::fprintf(stderr, "psg_diff_fuzz: %llu render calls compared, %llu of them of one frame or more, %llu frames\n",
                 static_cast<unsigned long long>(comparedCalls), static_cast<unsigned long long>(comparedFrameCalls),
                 static_cast<unsigned long long>(comparedFrames));
}

int32_t RateFrom(FuzzReader& in)
{
    const uint32_t b = in.Byte();
    if (b < 0x80) {
        return kRates[b % (sizeof kRates / sizeof kRates[0])];
    }
    const uint32_t w = in.Word32();
    // Top 3 bits pick a decade (4..99, 100..999, ...), the rest a rate in it.
    static const int32_t kLow[] = {4, 100, 1000, 10000, 100000, 1000000, 4, 3000000};
    static const int32_t kHigh[] = {99, 999, 9999, 99999, 999999, kMaxRateHz, kMaxRateHz, kMaxRateHz};
    const uint32_t d = w >> 29;
    const uint32_t width = static_cast<uint32_t>(kHigh[d] - kLow[d] + 1);
    return kLow[d] + static_cast<int32_t>((w & 0x1FFFFFFFu) % width);
}

// One call through both renderers from the same state: of chip, or of both
// chips in one pass when chip is 2 (the reference renders chip 0, then
// chip 1, into the same frames).
void CompareRender(int chip, int32_t count, bool arbitrary, uint32_t seed)
{
    PsgChip reference[2] = {StandInChip(0), StandInChip(1)};
    const int32_t touched = count > 0 ? count : 4;
    FillFuzzFrames(actual, touched, arbitrary, seed, expected);  // the same buffer for both
    if (chip == 2) {
        PsgRenderBoth(actual, count);
    } else {
        PsgRender(chip, actual, count);
    }
    for (int k = 0; k < 2; ++k) {
        if (chip == 2 || chip == k) {
            ReferenceRender(reference[k], expected, count);
        }
    }
    ++comparedCalls;
    comparedFrameCalls += count > 0 ? 1u : 0u;
    comparedFrames += static_cast<uint64_t>(count > 0 ? count : 0);
    for (int k = 0; k < 2; ++k) {
        Check(std::memcmp(&reference[k], &StandInChip(k), sizeof reference[k]) == 0,
              chip == 2 || chip == k ? "chip state differs from the reference renderer"
                                     : "render touched the other chip");
    }
    Check(std::memcmp(actual, expected, static_cast<size_t>(touched) * sizeof(StereoFrame)) == 0,
          "frames differ from the reference renderer");
}

// Counters on the hold's edges and on frame ends; renders often repeat the
// last length.
void PlaceCounters(int chip, uint32_t m, uint32_t k, int32_t lastCount)
{
    PsgChip& c = StandInChip(chip);
    const int64_t frames = k == 0xFF ? int64_t{lastCount} : int64_t{k};
    const int64_t wanted = frames * kFrameUnits + static_cast<int64_t>((m >> 4) & 3u) - 1;
    const int64_t limit = int64_t{2046} * c.step;
    const int32_t counter = static_cast<int32_t>(wanted < 1 ? 1 : wanted > limit ? limit : wanted);
    for (int i = 0; i < 4; ++i) {
        if ((m >> i) & 1u) {
            c.counter[i] = counter;
            if (i < 3) {
                c.output[i] = static_cast<int32_t>((k >> i) & 1u);
            }
        }
    }
}

// Renders through both renderers, and counters placed on edges.
struct BothRenderers {
    int64_t budget = kWorkBudget;
    int32_t lastCount = 1;

    int32_t Rate(FuzzReader& in) { return RateFrom(in); }

    // Kinds 3 and 5: chip is 0, 1, or 2 for both.
    void Render(int chip, FuzzReader& in)
    {
        for (int k = 0; k < 2 && chip == 2; ++k) {
            if (StandInChip(k).step == 0) {  // never reset: the device resets both at once
                PsgReset(k, kClockHz, 44100);
            }
        }
        const uint32_t w = in.Word16();
        const bool arbitrary = (w & 0x4000u) != 0;
        const uint32_t seed = arbitrary ? in.Byte() : 0u;
        int32_t total = AffordableFrames(chip, static_cast<int32_t>(w & 0x3FFFu), budget);
        if ((w & 0x8000u) == 0 || total <= 0) {
            CompareRender(chip, total, arbitrary, seed);
            lastCount = total;
            return;
        }
        const uint32_t s = in.Byte();
        while (total > 0) {
            int32_t piece = static_cast<int32_t>((s & 0x7Fu) + 1u);
            if (s & 0x80u) {
                const uint32_t high = in.Byte();
                piece = static_cast<int32_t>(high * 64u + in.Byte() % 64u + 1u);
            }
            const int32_t count = piece < total ? piece : total;
            CompareRender(chip, count, arbitrary, seed + static_cast<uint32_t>(total));
            lastCount = count;
            total -= count;
        }
    }
    void AfterReset(int) {}
    void AfterLevels(int) {}

    void Op(uint32_t kind, int chip, FuzzReader& in)
    {
        switch (kind) {
        case 2:
            PsgWrite(chip, in.Byte());
            break;
        case 3:
            Render(2, in);
            break;
        case 4:
            PsgWrite(chip, in.Byte());
            PsgWrite(chip, in.Byte());
            break;
        case 5:
            Render(chip, in);
            break;
        case 6: {
            const uint32_t b = in.Byte();
            const int32_t count = (b & 0x80u) ? -static_cast<int32_t>(b & 1u)
                                             : AffordableFrames(chip, static_cast<int32_t>(b & 0x3Fu), budget);
            CompareRender(chip, count, (b & 0x40u) != 0, b);
            lastCount = count;
            break;
        }
        default: {
            const uint32_t m = in.Byte();
            const uint32_t k = in.Byte();
            PlaceCounters(chip, m, k, lastCount > 0 ? lastCount : 1);
            break;
        }
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::atexit(PrintCounts);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    BothRenderers target;
    RunChipOps(in, target);
    return 0;
}
