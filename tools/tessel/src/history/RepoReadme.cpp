#include "history/RepoReadme.h"

#include "providers/Provider.h"
#include "providers/UsageRecord.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char *displayNames[] = {"Codex", "Claude Code", "OpenCode"};

// The known providers under their names, always; any other provider of the last seven days
// under its id, which the sum only takes in a safe form ("_" escaped for Markdown).
std::vector<std::pair<std::string, std::string>> shownProviders(const UsageHistory &history,
                                                                DayNumber today) {
    std::vector<std::pair<std::string, std::string>> shown;
    for (const Provider provider : allProviders)
        shown.emplace_back(providerId(provider), displayNames[providerIndex(provider)]);
    std::vector<std::string> others;
    for (auto day = history.days.lower_bound(today - 6);
         day != history.days.end() && day->first <= today; ++day)
        for (const auto &[provider, tokens] : day->second)
            if (std::none_of(shown.begin(), shown.end(),
                             [&](const auto &known) { return known.first == provider; }) &&
                std::find(others.begin(), others.end(), provider) == others.end())
                others.push_back(provider);
    std::sort(others.begin(), others.end());
    for (const std::string &id : others) {
        std::string label;
        for (const char c : id) {
            if (c == '_' || c == '|' || c == '*' || c == '\\')
                label += '\\';
            label += c;
        }
        shown.emplace_back(id, label);
    }
    return shown;
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
    for (const auto &[id, label] : shownProviders(history, today)) {
        // tokens() never gives a figure below zero.
        const std::int64_t day = history.tokens(today, id);
        std::int64_t week = 0;
        for (DayNumber d = today - 6; d <= today; ++d)
            week = saturatingAdd(week, history.tokens(d, id));
        todayTotal = saturatingAdd(todayTotal, day);
        weekTotal = saturatingAdd(weekTotal, week);
        text += "| " + label + " | " + groupedNumber(day) + " | " + groupedNumber(week) + " |\n";
    }
    text += "| **Total** | **" + groupedNumber(todayTotal) + "** | **" + groupedNumber(weekTotal) +
            "** |\n\n";
    text += "Figures as of " + formatDay(today) + ", counted by tessel from local logs.\n";
    return text;
}
