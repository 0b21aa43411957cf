#include "commands/Bar.h"

#include "base/Clock.h"
#include "base/Errors.h"
#include "base/JsonText.h"
#include "commands/FigureTexts.h"
#include "commands/Report.h"
#include "history/RepoReadme.h"
#include "history/RepositoryFiles.h"
#include "history/UsageHistory.h"
#include "limits/ClaudeLimits.h"
#include "limits/LimitNumbers.h"
#include "limits/LimitsHistory.h"

#include <algorithm>
#include <cmath>

namespace {

double usedPercent(const LimitEntry &entry) {
    return entry.status == LimitEntry::Status::reached
               ? std::max(entry.observation.usedPercent, 100.0)
               : entry.observation.usedPercent;
}

std::string windowName(const LimitEntry &entry) {
    return std::string(providerDisplayName(entry.observation.provider)) + " " +
           windowLabel(entry.observation.windowMinutes);
}

// "≈ $3.40", "≥ $3.40": the cost of these tokens, a lower bound when some have no price or
// are not in this machine's breakdown.
std::string costOf(const Figures &figures, bool partial) {
    return dollars(figures.costNanodollars, partial || figures.costIsLowerBound());
}

// Waybar reads both texts as Pango markup: a model named "a<b" would break it.
std::string markupEscaped(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

int barPercentage(const BarFigures &figures) {
    if (figures.windows.empty())
        return 0;
    return static_cast<int>(
        std::lround(std::clamp(usedPercent(figures.windows.front()), 0.0, 100.0)));
}

std::string barClass(const BarFigures &figures) {
    if (figures.windows.empty())
        return "normal";
    const double used = usedPercent(figures.windows.front());
    return used >= 95 ? "critical" : used >= 80 ? "warning" : "normal";
}

std::string renderBarText(const BarFigures &figures) {
    std::string text = compactTokens(figures.todayTokens);
    if (figures.costs)
        text +=
            " · " + costOf(figures.today.total, figures.todayTokens > figures.today.total.tokens);
    if (!figures.windows.empty())
        text += " · " + windowName(figures.windows.front()) + " " +
                formatNumber(usedPercent(figures.windows.front())) + "%";
    return text;
}

std::string renderBarWaybar(const BarFigures &figures) {
    std::string tooltip = "Today: " + groupedNumber(figures.todayTokens) + " tokens";
    if (figures.costs) {
        tooltip += ", " +
                   costOf(figures.today.total, figures.todayTokens > figures.today.total.tokens) +
                   " at API prices (an estimate, not a bill)";
        if (!figures.today.groups.empty())
            for (const SummaryRow &row : figures.today.groups.front().rows)
                tooltip += "\n  " + row.label + ": " + compactTokens(row.figures.tokens) + ", " +
                           (row.figures.unpriced() ? "unpriced" : costOf(row.figures, false));
        tooltip += "\nLast 7 days on this machine: " + compactTokens(figures.week.total.tokens) +
                   ", " + costOf(figures.week.total, false);
        if (!figures.today.unpricedModels.empty() || figures.today.unpricedUnknownModel) {
            std::string names;
            for (const std::string &model : figures.today.unpricedModels)
                names.append(names.empty() ? "" : ", ").append(model);
            if (figures.today.unpricedUnknownModel)
                names.append(names.empty() ? "" : ", ").append("usage without a model name");
            tooltip.append("\nNo price for ").append(names);
        }
    }
    for (const LimitEntry &entry : figures.windows) {
        tooltip.append("\n").append(windowName(entry)).append(": ");
        tooltip.append(formatNumber(usedPercent(entry))).append("%");
        if (entry.observation.resetsAt)
            tooltip += ", resets " + resetClock(*entry.observation.resetsAt, figures.now);
    }
    return "{\"text\":\"" + jsonEscaped(markupEscaped(renderBarText(figures))) +
           "\",\"tooltip\":\"" + jsonEscaped(markupEscaped(tooltip)) + "\",\"class\":\"" +
           barClass(figures) + "\",\"percentage\":" + std::to_string(barPercentage(figures)) +
           "}\n";
}

BarFigures gatherBarFigures(const BarRequest &request, const Environment &environment) {
    BarFigures figures;
    figures.now = currentTime(environment);
    const DayNumber day = today(environment);
    const RepositoryFiles files(reportRepository(request.repositoryFolder, environment));

    const DayNumber weekStart = std::max(day - 6, firstCountedDay);
    const std::optional<Breakdown> breakdown = readBreakdown(files.breakdown, weekStart, day);
    figures.costs = breakdown.has_value();
    const Breakdown empty;
    figures.today = summarizeBreakdown(breakdown ? *breakdown : empty,
                                       {day, day, {Grouping::tool}, false, environment.home()});
    figures.week =
        summarizeBreakdown(breakdown ? *breakdown : empty, {weekStart, day, {}, false, {}});
    try {
        const auto history = readUsageHistory(files.usage);
        figures.todayTokens = history ? history->dayTotal(day) : figures.today.total.tokens;
    } catch (const ToolError &) {
        // A bar shows what it can: the breakdown's count stands in.
        figures.todayTokens = figures.today.total.tokens;
    }

    // The limits as last kept: the readings `report limits` stored and Claude Code's snapshot.
    const std::string state = limitsStateFolder(environment);
    std::vector<LimitObservation> readings;
    try {
        readings = readLimitHistory(state + "/limits-history");
    } catch (const ToolError &) {
    }
    const std::vector<LimitObservation> snapshot =
        claude::readSnapshot(state + "/claude-statusline.json");
    readings.insert(readings.end(), snapshot.begin(), snapshot.end());
    // A status bar has no room for warnings about odd readings; `report limits` names them.
    std::vector<std::string> unshown;
    for (const LimitEntry &entry : buildLimitsReport(readings, figures.now, unshown).windows)
        if (entry.status != LimitEntry::Status::reset)
            figures.windows.push_back(entry);
    std::stable_sort(
        figures.windows.begin(), figures.windows.end(),
        [](const LimitEntry &a, const LimitEntry &b) { return usedPercent(a) > usedPercent(b); });
    return figures;
}

std::string runBar(const BarRequest &request, const Environment &environment) {
    const BarFigures figures = gatherBarFigures(request, environment);
    return request.format == BarRequest::Format::waybar ? renderBarWaybar(figures)
                                                        : renderBarText(figures) + "\n";
}
