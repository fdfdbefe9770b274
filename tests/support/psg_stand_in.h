#pragma once
// A stand-in for the device's two chips (psg/psg_pair.h): the same calls, on
// two records the test owns and may set and read, each call logged when a
// log is given. Tests, fuzz targets and the benchmarks link it in place of
// the library-wide records.

#include <cstdint>
#include <initializer_list>

#include "psg/psg_chip.h"
#include "psg/psg_pair.h"
#include "tests/support/call_log.h"

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
// Of wanted frames, those a per-frame renderer can afford within budget at
// the event rates of chip's sounding channels (both chips' when chip is 2),
// their cost taken from budget; a count of 0 or less is given back as it is.
int32_t AffordableFrames(int chip, int32_t wanted, int64_t& budget);

// Logs every call from now on, with its arguments in order, to log (null:
// none): "Psg.Reset 0 3993600 44100", "Psg.Levels 0 40", "Psg.Write 0 0x8E",
// "Psg.Render 0 @5 735", "Psg.RenderBoth @5 735", where @5 is the buffer's
// offset from frameBase in frames.
void LogPsgCalls(CallLog* log, const StereoFrame* frameBase = nullptr);
