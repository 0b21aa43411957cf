#include "limits/LimitNumbers.h"

#include <charconv>
#include <cmath>

std::string formatNumber(double value) {
    // Callers check their ranges; this only makes sure nothing but a JSON number comes out.
    if (!std::isfinite(value) || std::fabs(value) > 1e15)
        return "0";
    const double rounded = std::round(value * 100) / 100;
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed, 2);
    if (error != std::errc())
        return "0";
    std::string text(buffer, end);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    return text == "-0" ? "0" : text;
}
