#include "history/Heatmap.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr int columns = 14;
constexpr int rows = 7;
constexpr int cell = 12;
constexpr int gap = 3;
constexpr int margin = 4;

struct Rgb {
    double red, green, blue;
};
constexpr Rgb levelColours[] = {
    {0.84, 0.87, 0.90}, {0.75, 0.85, 0.93}, {0.52, 0.71, 0.87},
    {0.24, 0.51, 0.76}, {0.05, 0.32, 0.62},
};

} // namespace

int heatmapLevel(std::int64_t tokens) {
    if (tokens <= 0)
        return 0;
    if (tokens >= 100'000'000)
        return 4;
    if (tokens < 1'000'000)
        return 1;
    if (tokens < 10'000'000)
        return 2;
    return 3;
}

std::string heatmapColour(int level) {
    const Rgb &colour = levelColours[level];
    const auto byte = [](double component) {
        return static_cast<int>(std::lround(component * 255));
    };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(colour.red), byte(colour.green),
                  byte(colour.blue));
    return text;
}

std::string renderHeatmap(const UsageHistory &history, DayNumber today) {
    const int width = 2 * margin + columns * cell + (columns - 1) * gap;
    const int height = 2 * margin + rows * cell + (rows - 1) * gap;
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
                      "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
                      std::to_string(width) + " " + std::to_string(height) + "\">\n";
    svg += "<title>Tokens per day, last 98 days</title>\n";
    const DayNumber first = today - columns * rows + 1;
    for (int index = 0; index < columns * rows; ++index) {
        const DayNumber day = first + index;
        const std::int64_t tokens = history.dayTotal(day);
        const int x = margin + (index / rows) * (cell + gap);
        const int y = margin + (index % rows) * (cell + gap);
        svg += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(cell) + "\" height=\"" + std::to_string(cell) +
               "\" rx=\"2\" fill=\"" + heatmapColour(heatmapLevel(tokens)) + "\"><title>" +
               formatDay(day) + ": " + std::to_string(tokens) + " tokens</title></rect>\n";
    }
    svg += "</svg>\n";
    return svg;
}
