#include "host/text.h"

#include <cstdio>

namespace {

// digits in base, accumulated into *value; false on an empty run, a stray
// character or a value beyond UINT64_MAX.
bool ParseDigits(std::string_view text, unsigned base, uint64_t* value)
{
    if (text.empty()) {
        return false;
    }
    uint64_t v = 0;
    for (const char c : text) {
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
        if (v > (UINT64_MAX - digit) / base) {
            return false;
        }
        v = v * base + digit;
    }
    *value = v;
    return true;
}

// whole.fraction as whole * 10^decimals + fraction, fraction padded to decimals digits.
bool ParseFixedPoint(std::string_view text, unsigned decimals, uint64_t* value)
{
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    uint64_t v = 0;
    uint64_t f = 0;
    if (point != std::string_view::npos && decimals == 0) {
        return false;
    }
    if (!ParseDigits(whole, 10, &v) || fraction.size() > decimals ||
        (!fraction.empty() && !ParseDigits(fraction, 10, &f))) {
        return false;
    }
    for (unsigned k = 0; k < decimals; ++k) {
        if (v > UINT64_MAX / 10) {
            return false;
        }
        v *= 10;
        f = k < fraction.size() ? f : f * 10;
    }
    if (v > UINT64_MAX - f) {
        return false;
    }
    *value = v + f;
    return true;
}

}  // namespace

std::string FormatDuration(double seconds, DurationStyle style)
{
    char text[48];
    if (style == DurationStyle::Seconds) {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
        return text;
    }
    if (style == DurationStyle::Hours) {
        std::snprintf(text, sizeof text, "%.1f hours", seconds / 3600.0);
        return text;
    }
    const bool fine = style == DurationStyle::FineClock;
    const long long hundredths =
        fine ? static_cast<long long>(seconds * 100 + 0.5) : static_cast<long long>(seconds) * 100;
    const long long s = hundredths / 100;
    const int length = s >= 3600 ? std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60)
                                 : std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    if (fine && length > 0) {
        std::snprintf(text + length, sizeof text - static_cast<size_t>(length), ".%02lld", hundredths % 100);
    }
    return text;
}

bool ParseNumber(std::string_view text, const NumberFormat& format, uint64_t* value)
{
    uint64_t v = 0;
    const bool hex = format.hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const bool parsed = hex ? ParseDigits(text.substr(2), 16, &v) : ParseFixedPoint(text, format.decimals, &v);
    if (!parsed || v < format.min || v > format.max) {
        return false;
    }
    *value = v;
    return true;
}

std::string HexText(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string SizeText(uint64_t bytes)
{
    return bytes >= (uint64_t{1} << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}
