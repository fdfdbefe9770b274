#include "host/port_script.h"

#include <cstring>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// A decimal or 0x-hexadecimal number that fits 32 bits.
bool ParseNumber(const std::string& word, uint32_t* value)
{
    uint64_t result = 0;
    size_t i = 0;
    unsigned base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i == word.size()) {
        return false;
    }
    for (; i < word.size(); ++i) {
        const char c = word[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        result = result * base + digit;
        if (result > 0xFFFFFFFFu) {
            return false;
        }
    }
    *value = static_cast<uint32_t>(result);
    return true;
}

}  // namespace

bool ParsePortScript(const uint8_t* text, size_t size, PortScript* script, std::string* error)
{
    *script = PortScript{};
    if (size > 0 && std::memchr(text, 0, size) != nullptr) {
        *error = "neither a VGM file (no \"Vgm \" ident) nor a port script (binary data)";
        return false;
    }
    const char* chars = reinterpret_cast<const char*>(text);
    size_t lineStart = 0;
    unsigned lineNumber = 0;
    bool mixed = false;
    while (lineStart < size) {
        ++lineNumber;
        size_t lineEnd = lineStart;
        while (lineEnd < size && chars[lineEnd] != '\n') {
            ++lineEnd;
        }
        std::string line(chars + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        const size_t hash = line.find('#');
        if (hash != std::string::npos) {
            line.resize(hash);
        }
        std::vector<std::string> words;
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
        if (words.empty()) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::string& command = words[0];
        const size_t wanted = command == "out" ? 3 : 2;
        if (command != "rate" && command != "out" && command != "mix") {
            *error = where + "unknown command '" + command + "' (expected rate, out or mix)";
            if (lineNumber == 1) {
                *error += "; not a VGM file either (no \"Vgm \" ident)";
            }
            return false;
        }
        if (words.size() != wanted) {
            *error = where + "'" + command + "' takes " + (wanted == 3 ? "a port and a value" : "one number");
            return false;
        }
        uint32_t numbers[2] = {0, 0};
        for (size_t k = 1; k < wanted; ++k) {
            if (!ParseNumber(words[k], &numbers[k - 1])) {
                *error = where + "'" + words[k] + "' is not a number (decimal or 0x hex, 32 bits at most)";
                return false;
            }
        }
        ScriptStep step{};
        if (command == "rate") {
            if (numbers[0] < static_cast<uint32_t>(kMinChipRateHz) ||
                numbers[0] > static_cast<uint32_t>(kMaxChipRateHz)) {
                *error = where + "rate " + words[1] + " is outside " + std::to_string(kMinChipRateHz) + " to " +
                         std::to_string(kMaxChipRateHz) + " Hz";
                return false;
            }
            step = {ScriptStep::Kind::Rate, 0, numbers[0]};
            if (mixed) {
                script->lateRates.push_back({lineNumber, static_cast<int32_t>(numbers[0])});
            } else {
                script->rateHz = static_cast<int32_t>(numbers[0]);
            }
        } else if (command == "out") {
            if (numbers[0] > 0xFFFF) {
                *error = where + "port " + words[1] + " is outside 0 to 0xFFFF";
                return false;
            }
            if (numbers[1] > 0xFF) {
                *error = where + "value " + words[2] + " is not a byte (0 to 255)";
                return false;
            }
            step = {ScriptStep::Kind::Out, numbers[0], numbers[1]};
        } else {
            if (numbers[0] > kMaxMixFrames) {
                *error = where + "mix " + words[1] + " is more than " + std::to_string(kMaxMixFrames) + " frames";
                return false;
            }
            step = {ScriptStep::Kind::Mix, 0, numbers[0]};
            script->totalFrames += numbers[0];
            mixed = true;
        }
        script->steps.push_back(step);
    }
    return true;
}
