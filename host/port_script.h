#pragma once
// Port scripts: exact, reproducible runs of the device, one line per step.
//
//   # comment (also after a command)
//   rate 44100        SetRate: output rate in Hz; both chips reset. Before the
//                     first mix it is also the output's rate.
//   out 0xAC 0x80     port write: port 0 to 0xFFFF, byte 0 to 255
//   mix 100           one Mix call of 100 frames into a zeroed buffer
//
// Numbers are decimal or 0x hexadecimal.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contract/port_protocol.h"
#include "host/result.h"

constexpr uint32_t kMaxMixFrames = 1u << 22;   // one buffer of 32 MiB

struct ScriptStep {
    enum class Kind : uint8_t { Rate, Out, Mix };
    Kind kind;
    uint32_t port;   // Out
    uint32_t value;  // Rate: Hz; Out: the byte; Mix: frames
};

// A rate line after the first mix: the output changes rate there.
struct LateRate {
    unsigned line;
    int32_t rateHz;
};

struct PortScript {
    std::vector<ScriptStep> steps;
    int32_t rateHz = 0;        // the rate in force at the first mix; 0: no rate line before it
    uint64_t totalFrames = 0;  // sum of all mix lines
    std::vector<LateRate> lateRates;
};

// Parses a whole script. A failure names the line and the problem.
Result ParsePortScript(const uint8_t* text, size_t size, PortScript* script);
