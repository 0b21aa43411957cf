#include "commands/FigureTexts.h"

#include "history/RepoReadme.h"

#include <cstdio>
#include <ctime>

namespace {

// The code point starting at `at`, and how many bytes it takes; a stray byte is taken alone.
std::pair<char32_t, size_t> codePoint(std::string_view text, size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const size_t length = byte < 0x80       ? 1
                          : byte >> 5 == 6  ? 2
                          : byte >> 4 == 14 ? 3
                          : byte >> 3 == 30 ? 4
                                            : 1;
    if (length == 1 || at + length > text.size())
        return {byte, 1};
    char32_t value = byte & (0x7f >> length);
    for (size_t i = 1; i < length; ++i)
        value = value << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3f);
    return {value, length};
}

bool wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf) ||
           (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
           (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
           (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x1f300 && c <= 0x1faff) ||
           (c >= 0x20000 && c <= 0x3fffd);
}

} // namespace

std::string compactTokens(std::int64_t tokens) {
    const double value = static_cast<double>(tokens);
    const struct {
        double size;
        const char *format;
    } units[] = {{1e9, "%.1fB"}, {1e6, "%.1fM"}, {1e3, "%.1fK"}};
    for (const auto &unit : units)
        if (value >= unit.size) {
            char text[32];
            std::snprintf(text, sizeof text, unit.format, value / unit.size);
            return text;
        }
    return std::to_string(tokens);
}

std::string dollars(std::int64_t nanodollars, bool lowerBound) {
    const std::string prefix = lowerBound ? "≥ " : "";
    if (nanodollars < 0)
        nanodollars = 0;
    // Rounded to the nearest cent, half up.
    const std::int64_t cents = nanodollars / 10'000'000 + (nanodollars % 10'000'000 >= 5'000'000);
    if (cents == 0 && nanodollars > 0)
        return prefix + "<$0.01";
    char fraction[4];
    std::snprintf(fraction, sizeof fraction, "%02d", static_cast<int>(cents % 100));
    return prefix + "$" + groupedNumber(cents / 100) + "." + fraction;
}

std::string dollarsJson(std::int64_t nanodollars) {
    const bool negative = nanodollars < 0;
    const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(nanodollars)
                                             : static_cast<std::uint64_t>(nanodollars);
    std::string text = std::to_string(magnitude / 1'000'000'000);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, "%09llu",
                  static_cast<unsigned long long>(magnitude % 1'000'000'000));
    std::string decimals(fraction);
    while (!decimals.empty() && decimals.back() == '0')
        decimals.pop_back();
    if (!decimals.empty())
        text += "." + decimals;
    return negative ? "-" + text : text;
}

size_t displayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t at = 0; at < text.size();) {
        const auto [c, length] = codePoint(text, at);
        width += wide(c) ? 2 : 1;
        at += length;
    }
    return width;
}

std::string fitted(std::string_view text, size_t width) {
    if (displayWidth(text) <= width)
        return std::string(text);
    std::string result;
    size_t used = 0;
    for (size_t at = 0; at < text.size();) {
        const auto [c, length] = codePoint(text, at);
        const size_t columns = wide(c) ? 2 : 1;
        if (used + columns + 1 > width)
            break;
        result.append(text.substr(at, length));
        used += columns;
        at += length;
    }
    return width == 0 ? std::string() : result + "…";
}

std::string resetClock(std::int64_t at, std::int64_t now) {
    const std::time_t time = static_cast<std::time_t>(at);
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, at - now < 86400 ? "%H:%M" : "%b %d %H:%M", &local);
    return text;
}
