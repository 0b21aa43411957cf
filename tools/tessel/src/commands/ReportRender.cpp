#include "commands/ReportRender.h"

#include "base/JsonText.h"
#include "commands/FigureTexts.h"
#include "history/RepoReadme.h"

#include <algorithm>
#include <array>

namespace {

std::string costText(const Figures &figures) {
    return figures.unpriced() ? "unpriced"
                              : dollars(figures.costNanodollars, figures.costIsLowerBound());
}

struct Column {
    std::string header;
    bool split = false; // one of the five kinds of tokens, left out first on a narrow terminal
};

const Column columns[] = {{"", false},         {"tokens", false},    {"input", true},
                          {"output", true},    {"cache read", true}, {"cache write", true},
                          {"reasoning", true}, {"API cost", false}};
constexpr size_t columnCount = std::size(columns);

using Cells = std::array<std::string, columnCount>;

Cells cells(const std::string &label, const Figures &figures, bool compactTotal) {
    const TokenSplit &split = figures.split;
    return {label,
            compactTotal ? compactTokens(figures.tokens) : groupedNumber(figures.tokens),
            compactTokens(split.input),
            compactTokens(split.output),
            compactTokens(split.cacheRead),
            compactTokens(split.cacheWrite),
            compactTokens(split.reasoning),
            costText(figures)};
}

// The table of one grouping, fitted to `width` columns: the label column narrows first, then
// the token counts turn compact, then the split is left out.
std::string renderTable(const SummaryGroup &group, const Figures &total, size_t width) {
    constexpr size_t narrowestLabel = 12;
    constexpr int lastStage = 3;
    for (int stage = 0;; ++stage) {
        const bool withSplit = stage < 2, compact = stage % 2 == 1;
        std::vector<Cells> rows;
        Cells header;
        for (size_t i = 0; i < columnCount; ++i)
            header[i] = columns[i].header;
        header[0] = std::string(groupingId(group.by));
        rows.push_back(header);
        for (const SummaryRow &row : group.rows)
            rows.push_back(cells(row.label, row.figures, compact));
        rows.push_back(cells("total", total, compact));

        std::array<size_t, columnCount> widths{};
        for (const Cells &row : rows)
            for (size_t i = 0; i < columnCount; ++i)
                widths[i] = std::max(widths[i], displayWidth(row[i]));
        size_t needed = 0;
        for (size_t i = 0; i < columnCount; ++i)
            if (withSplit || !columns[i].split)
                needed += widths[i] + (needed ? 2 : 0);
        if (width != 0 && needed > width && widths[0] > narrowestLabel) {
            const size_t over = needed - width;
            const size_t label =
                widths[0] > narrowestLabel + over ? widths[0] - over : narrowestLabel;
            needed -= widths[0] - label;
            widths[0] = label;
        }
        if (width != 0 && needed > width && stage < lastStage)
            continue;

        std::string text;
        for (const Cells &row : rows) {
            std::string line;
            for (size_t i = 0; i < columnCount; ++i) {
                if (!withSplit && columns[i].split)
                    continue;
                const std::string cell = i == 0 ? fitted(row[i], widths[0]) : row[i];
                const std::string padding(widths[i] - displayWidth(cell), ' ');
                if (i > 0)
                    line += "  ";
                line += i == 0 ? cell + padding : padding + cell;
            }
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            text += line + "\n";
        }
        return text;
    }
}

// `text` broken into lines of at most `width` columns at its spaces (one line when 0).
std::string wrapped(const std::string &text, size_t width) {
    if (width == 0)
        return text + "\n";
    std::string result, line;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t space = std::min(text.find(' ', start), text.size());
        const std::string word = text.substr(start, space - start);
        if (!line.empty() && displayWidth(line) + 1 + displayWidth(word) > width) {
            result.append(line).append("\n");
            line.clear();
        }
        line.append(line.empty() ? "" : " ").append(word);
        start = space + 1;
    }
    return result.append(line).append("\n");
}

std::string span(DayNumber from, DayNumber to) {
    return from == to ? formatDay(from) : formatDay(from) + " to " + formatDay(to);
}

void appendGroups(std::string &text, const std::vector<SummaryGroup> &groups, const Figures &total,
                  size_t width) {
    for (const SummaryGroup &group : groups)
        text.append("\n").append(renderTable(group, total, width));
}

std::string figuresJson(const Figures &figures) {
    const TokenSplit &split = figures.split;
    return "\"tokens\":" + std::to_string(figures.tokens) +
           ",\"input\":" + std::to_string(split.input) +
           ",\"output\":" + std::to_string(split.output) +
           ",\"cache_read\":" + std::to_string(split.cacheRead) +
           ",\"cache_write\":" + std::to_string(split.cacheWrite) +
           ",\"cache_write_1h\":" + std::to_string(split.cacheWriteLong) +
           ",\"reasoning\":" + std::to_string(split.reasoning) +
           ",\"cost_nanodollars\":" + std::to_string(figures.costNanodollars) +
           ",\"cost_usd\":" + dollarsJson(figures.costNanodollars) +
           ",\"unpriced_tokens\":" + std::to_string(figures.unpricedTokens) +
           ",\"cost_is_lower_bound\":" + (figures.costIsLowerBound() ? "true" : "false");
}

std::string groupsJson(const std::vector<SummaryGroup> &groups) {
    std::string json = "{";
    for (const SummaryGroup &group : groups) {
        if (json.size() > 1)
            json += ",";
        json.append("\"").append(groupingId(group.by)).append("\":[");
        bool first = true;
        for (const SummaryRow &row : group.rows) {
            json += first ? "{" : ",{";
            first = false;
            json += "\"name\":";
            if (row.name.empty())
                json += "null";
            else
                json.append("\"").append(jsonEscaped(row.name)).append("\"");
            json.append(",\"label\":\"").append(jsonEscaped(row.label)).append("\",");
            json.append(figuresJson(row.figures)).append("}");
        }
        json += "]";
    }
    return json + "}";
}

} // namespace

std::string renderReportText(const BreakdownSummary &summary, const ReportTextOptions &options) {
    std::string text =
        wrapped("Tokens on this machine, " + span(summary.from, summary.to), options.width);
    if (!options.breakdownKept)
        text.append("\n").append(wrapped(
            "No breakdown kept yet: tessel collect keeps it, in docs/.tessel-state.breakdown.",
            options.width));
    else if (summary.days.empty())
        text += "\nNone counted.\n";
    else if (summary.days.front().groups.empty()) {
        appendGroups(text, summary.groups, summary.total, options.width);
    } else {
        for (const SummaryDay &day : summary.days) {
            text.append("\n").append(formatDay(day.day)).append(":\n");
            appendGroups(text, day.groups, day.total, options.width);
        }
        if (summary.from != summary.to) {
            text.append("\n").append(span(summary.from, summary.to)).append(":\n");
            appendGroups(text, summary.groups, summary.total, options.width);
        }
    }
    std::vector<std::string> notes;
    if (!summary.days.empty())
        notes.emplace_back("API cost: what the tokens would cost at the providers' API list "
                           "prices, an API-equivalent estimate, not a bill.");
    if (!summary.unpricedModels.empty() || summary.unpricedUnknownModel) {
        std::string names;
        for (const std::string &model : summary.unpricedModels)
            names.append(names.empty() ? "" : ", ").append(model);
        const std::string unknown = "usage whose logs name no model has none either";
        notes.push_back(names.empty() ? "≥: " + unknown + ", so the cost leaves its tokens out."
                                      : "≥: the price table has no price for " + names +
                                            (summary.unpricedUnknownModel ? ", " + unknown : "") +
                                            ", so the cost leaves their tokens out.");
    }
    if (options.elsewhereTokens > 0)
        notes.push_back("docs/usage.json counts " + groupedNumber(options.elsewhereTokens) +
                        " more tokens in these days (" +
                        (options.demo ? "invented demo figures"
                                      : "other machines' as of their last sync, or days counted "
                                        "before this machine kept its breakdown") +
                        ").");
    for (size_t i = 0; i < notes.size(); ++i)
        text.append(i == 0 ? "\n" : "").append(wrapped(notes[i], options.width));
    return text;
}

std::string renderReportJson(const BreakdownSummary &summary) {
    std::string json = "{\"from\":\"" + formatDay(summary.from) + "\",\"to\":\"" +
                       formatDay(summary.to) +
                       "\",\"currency\":\"USD\",\"cost_basis\":\"api-equivalent estimate\","
                       "\"price_table\":\"" +
                       jsonEscaped(summary.priceTableVersion) + "\",\"total\":{" +
                       figuresJson(summary.total) + "},\"unpriced_models\":[";
    for (size_t i = 0; i < summary.unpricedModels.size(); ++i)
        json.append(i ? ",\"" : "\"").append(jsonEscaped(summary.unpricedModels[i])).append("\"");
    if (summary.unpricedUnknownModel)
        json.append(summary.unpricedModels.empty() ? "null" : ",null");
    json += "],\"groups\":" + groupsJson(summary.groups) + ",\"days\":[";
    for (size_t i = 0; i < summary.days.size(); ++i) {
        const SummaryDay &day = summary.days[i];
        json += (i ? ",{" : "{") + std::string("\"day\":\"") + formatDay(day.day) + "\"," +
                figuresJson(day.total);
        if (!day.groups.empty())
            json += ",\"groups\":" + groupsJson(day.groups);
        json += "}";
    }
    return json + "]}\n";
}
