#pragma once
// Numbers to and from text, the host's one way each: durations for people,
// numbers from the command line and from port scripts, hexadecimal and sizes
// for messages.

#include <cstdint>
#include <string>
#include <string_view>

enum class DurationStyle {
    Seconds,    // "31.87 s"
    Hours,      // "25.0 hours"
    Clock,      // "1:05", from an hour on "1:02:05"; whole seconds, cut
    FineClock,  // "1:05.25", from an hour on "1:02:05.25"; hundredths, rounded
};

std::string FormatDuration(double seconds, DurationStyle style);

// How a number may be written, and the values it may have.
struct NumberFormat {
    uint64_t min = 0;
    uint64_t max = UINT64_MAX;
    unsigned decimals = 0;  // digits allowed after a point; the value comes times 10^decimals
    bool hex = false;       // "0x" and hexadecimal digits allowed too (whole numbers)
};

// Decimal digits, with a point and up to format.decimals digits after it
// where allowed, or "0x" and hexadecimal digits where allowed; nothing else,
// no sign, no spaces. False for other text and for values outside min..max.
bool ParseNumber(std::string_view text, const NumberFormat& format, uint64_t* value);

// "0x1F", for offsets and codes in messages.
std::string HexText(uint64_t value);

// "512 bytes", or whole MiB from 1 MiB on.
std::string SizeText(uint64_t bytes);
