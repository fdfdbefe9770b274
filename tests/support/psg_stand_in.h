#pragma once
// A stand-in for the device's two chips (psg/psg_pair.h): the same four
// calls, on two records the test owns and may set and read, each call logged
// when a log is given. Tests, fuzz targets and the device's tests link it in
// place of the psg library.

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "psg/psg_chip.h"
#include "psg/psg_pair.h"

constexpr int32_t kClockHz = 3993600;  // the chip clock the tests run at
// The rates the chips count with at that clock: step 1 (4 * 2^20 / 3993600
// = 1.05) to 1049568.
constexpr int32_t kMinRateHz = 4;
constexpr int32_t kMaxRateHz = 3997381;

PsgChip& StandInChip(int chip);
// Writes the bytes to the chip in order.
void Write(int chip, std::initializer_list<uint32_t> bytes);
// Both records as at load: all zero.
void ClearStandInChips();

// One call as the stand-in saw it. Render and RenderBoth log count as a and
// the buffer offset from frameBase, in frames, as b; RenderBoth, one call
// for both chips, logs chip 0.
struct PsgCall {
    enum class Op : uint8_t { Reset, Levels, Write, Render, RenderBoth };
    Op op;
    int chip;
    int64_t a;  // Reset: rate; Levels: gain; Write: byte; Render, RenderBoth: count
    int64_t b;  // Reset: clock; Render, RenderBoth: frame offset; else 0

    bool operator==(const PsgCall&) const = default;
};
std::ostream& operator<<(std::ostream& out, const PsgCall& call);

// Where the calls go; null (the default) logs nothing. frameBase: the
// buffer Render offsets count from.
struct PsgCallLog {
    std::vector<PsgCall> calls;
    const StereoFrame* frameBase = nullptr;
};
void LogPsgCalls(PsgCallLog* log);
