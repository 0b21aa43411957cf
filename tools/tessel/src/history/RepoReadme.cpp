#include "history/RepoReadme.h"

#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <string>

namespace {

// A provider's name for a Markdown table: its tool's name where the id is known, else the id,
// which the sum only takes in a safe form ("_" escaped for Markdown).
std::string tableLabel(const std::string &id) {
    std::string label;
    for (const char c : providerDisplayName(id)) {
        if (c == '_' || c == '|' || c == '*' || c == '\\')
            label += '\\';
        label += c;
    }
    return label;
}

} // namespace

std::string groupedNumber(std::int64_t value) {
    const std::string digits = std::to_string(value);
    const size_t sign = value < 0 ? 1 : 0;
    std::string out = digits.substr(0, sign);
    for (size_t i = sign; i < digits.size(); ++i) {
        if (i > sign && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string renderRepoReadme(const UsageHistory &history, DayNumber today) {
    std::string text = "# AI coding token usage\n\n"
                       "![Tokens per day over the last 98 days](heatmap.svg)\n\n"
                       "| Provider | Today | Last 7 days |\n"
                       "| --- | ---: | ---: |\n";
    std::int64_t todayTotal = 0, weekTotal = 0;
    for (const std::string &id : history.providersBetween(today - 6, today)) {
        // tokens() never gives a figure below zero.
        const std::int64_t day = history.tokens(today, id);
        std::int64_t week = 0;
        for (DayNumber d = today - 6; d <= today; ++d)
            week = saturatingAdd(week, history.tokens(d, id));
        todayTotal = saturatingAdd(todayTotal, day);
        weekTotal = saturatingAdd(weekTotal, week);
        text += "| " + tableLabel(id) + " | " + groupedNumber(day) + " | " + groupedNumber(week) +
                " |\n";
    }
    text += "| **Total** | **" + groupedNumber(todayTotal) + "** | **" + groupedNumber(weekTotal) +
            "** |\n\n";
    text += "Figures as of " + formatDay(today) + ", counted by tessel from local logs.\n";
    return text;
}
