#include "host/port_script.h"

#include <cstring>
#include <string_view>

#include "host/text.h"

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The words of a line, its comment cut off.
std::vector<std::string_view> Words(std::string_view line)
{
    line = line.substr(0, line.find('#'));
    std::vector<std::string_view> words;
    for (size_t i = 0; i < line.size();) {
        if (IsSpace(line[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < line.size() && !IsSpace(line[j])) {
            ++j;
        }
        words.push_back(line.substr(i, j - i));
        i = j;
    }
    return words;
}

// A decimal or 0x-hexadecimal number that fits 32 bits.
constexpr NumberFormat kScriptNumber = {0, 0xFFFFFFFFu, 0, true};

// The command's arguments as numbers, after checking the command and how many there are.
Result ReadArguments(const std::vector<std::string_view>& words, unsigned lineNumber, uint32_t (&numbers)[2])
{
    const std::string command(words[0]);
    const size_t wanted = command == "out" ? 3 : 2;
    if (command != "rate" && command != "out" && command != "mix") {
        return Result::Failure("unknown command '" + command + "' (expected rate, out or mix)" +
                               (lineNumber == 1 ? "; not a VGM file either (no \"Vgm \" ident)" : ""));
    }
    if (words.size() != wanted) {
        return Result::Failure("'" + command + "' takes " + (wanted == 3 ? "a port and a value" : "one number"));
    }
    for (size_t k = 1; k < wanted; ++k) {
        uint64_t value = 0;
        if (!ParseNumber(words[k], kScriptNumber, &value)) {
            std::string quoted = "'";
            quoted.append(words[k]);
            return Result::Failure(quoted + "' is not a number (decimal or 0x hex, 32 bits at most)");
        }
        numbers[k - 1] = static_cast<uint32_t>(value);
    }
    return {};
}

// One command line into a step of the script; *mixed: a mix line came before.
Result ReadStep(const std::vector<std::string_view>& words, unsigned lineNumber, bool* mixed, PortScript* script)
{
    uint32_t n[2] = {0, 0};
    const Result read = ReadArguments(words, lineNumber, n);
    if (!read.Ok()) {
        return read;
    }
    const std::string arg1(words[1]);
    if (words[0] == "rate") {
        if (n[0] < static_cast<uint32_t>(kMinChipRateHz) || n[0] > static_cast<uint32_t>(kMaxChipRateHz)) {
            return Result::Failure("rate " + arg1 + " is outside " + std::to_string(kMinChipRateHz) + " to " +
                                   std::to_string(kMaxChipRateHz) + " Hz");
        }
        if (*mixed) {
            script->lateRates.push_back({lineNumber, static_cast<int32_t>(n[0])});
        } else {
            script->rateHz = static_cast<int32_t>(n[0]);
        }
        script->steps.push_back({ScriptStep::Kind::Rate, 0, n[0]});
    } else if (words[0] == "out") {
        if (n[0] > 0xFFFF) {
            return Result::Failure("port " + arg1 + " is outside 0 to 0xFFFF");
        }
        if (n[1] > 0xFF) {
            return Result::Failure("value " + std::string(words[2]) + " is not a byte (0 to 255)");
        }
        script->steps.push_back({ScriptStep::Kind::Out, n[0], n[1]});
    } else {
        if (n[0] > kMaxMixFrames) {
            return Result::Failure("mix " + arg1 + " is more than " + std::to_string(kMaxMixFrames) + " frames");
        }
        script->steps.push_back({ScriptStep::Kind::Mix, 0, n[0]});
        script->totalFrames += n[0];
        *mixed = true;
    }
    return {};
}

}  // namespace

Result ParsePortScript(const uint8_t* text, size_t size, PortScript* script)
{
    *script = PortScript{};
    if (size > 0 && std::memchr(text, 0, size) != nullptr) {
        return Result::Failure("neither a VGM file (no \"Vgm \" ident) nor a port script (binary data)");
    }
    const std::string_view all(reinterpret_cast<const char*>(text), size);
    unsigned lineNumber = 0;
    bool mixed = false;
    for (size_t lineStart = 0; lineStart < size;) {
        ++lineNumber;
        const size_t newline = all.find('\n', lineStart);
        const size_t lineEnd = newline == std::string_view::npos ? size : newline;
        const std::vector<std::string_view> words = Words(all.substr(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (words.empty()) {
            continue;
        }
        const Result read = ReadStep(words, lineNumber, &mixed, script);
        if (!read.Ok()) {
            return read.Within("line " + std::to_string(lineNumber));
        }
    }
    return {};
}
