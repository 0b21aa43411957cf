#include "commands/BreakdownSummary.h"

#include <algorithm>
#include <set>
#include <unordered_map>

namespace {

void addSplit(TokenSplit &sum, const TokenSplit &part) {
    sum.input = saturatingAdd(sum.input, part.input);
    sum.output = saturatingAdd(sum.output, part.output);
    sum.cacheRead = saturatingAdd(sum.cacheRead, part.cacheRead);
    sum.cacheWrite = saturatingAdd(sum.cacheWrite, part.cacheWrite);
    sum.reasoning = saturatingAdd(sum.reasoning, part.reasoning);
    sum.cacheWriteLong = saturatingAdd(sum.cacheWriteLong, part.cacheWriteLong);
}

// A group's key within its grouping: the tool's number or the name's id.
std::uint64_t groupKey(Grouping by, const BreakdownKey &key) {
    switch (by) {
    case Grouping::tool:
        return static_cast<std::uint64_t>(key.provider);
    case Grouping::model:
        return key.model;
    case Grouping::project:
        return key.project;
    }
    return 0;
}

std::string nameText(const NameTable &names, NameId id) {
    const std::string *text = id == 0 ? nullptr : names.find(id);
    return text ? *text : std::string();
}

SummaryRow labelled(Grouping by, std::uint64_t key, const NameTable &names,
                    const std::string &home) {
    SummaryRow row;
    if (by == Grouping::tool) {
        const auto provider = static_cast<Provider>(key);
        row.name = providerId(provider);
        row.label = providerDisplayName(provider);
        return row;
    }
    row.name = nameText(names, key);
    row.label = row.name.empty() ? "unknown" : row.name;
    if (by == Grouping::project && !home.empty() && home != "/" &&
        (row.name == home || row.name.starts_with(home + "/"))) {
        std::string shortened(1, '~');
        shortened.append(row.name, home.size(), std::string::npos);
        row.label = std::move(shortened);
    }
    return row;
}

// Rows of several days and groupings gathered by key, then ordered.
class GroupCollector {
public:
    explicit GroupCollector(Grouping by) : m_by(by) {}
    void add(const BreakdownKey &key, const BreakdownFigures &figures) {
        m_figures[groupKey(m_by, key)].add(figures);
    }
    SummaryGroup finish(const NameTable &names, const std::string &home) const {
        SummaryGroup group{m_by, {}};
        for (const auto &[key, figures] : m_figures) {
            SummaryRow row = labelled(m_by, key, names, home);
            row.figures = figures;
            group.rows.push_back(std::move(row));
        }
        std::sort(group.rows.begin(), group.rows.end(),
                  [](const SummaryRow &a, const SummaryRow &b) {
                      if (a.figures.tokens != b.figures.tokens)
                          return a.figures.tokens > b.figures.tokens;
                      return a.label < b.label;
                  });
        return group;
    }

private:
    Grouping m_by;
    std::unordered_map<std::uint64_t, Figures> m_figures;
};

} // namespace

std::string_view groupingId(Grouping grouping) {
    switch (grouping) {
    case Grouping::tool:
        return "tool";
    case Grouping::model:
        return "model";
    case Grouping::project:
        return "project";
    }
    return "tool";
}

void Figures::add(const BreakdownFigures &figures) {
    addSplit(split, figures.split);
    tokens = saturatingAdd(tokens, figures.tokens);
    costNanodollars = saturatingAdd(costNanodollars, figures.costNanodollars);
    unpricedTokens = saturatingAdd(unpricedTokens, figures.unpricedTokens);
}

void Figures::add(const Figures &figures) {
    addSplit(split, figures.split);
    tokens = saturatingAdd(tokens, figures.tokens);
    costNanodollars = saturatingAdd(costNanodollars, figures.costNanodollars);
    unpricedTokens = saturatingAdd(unpricedTokens, figures.unpricedTokens);
}

BreakdownSummary summarizeBreakdown(const Breakdown &breakdown, const SummaryRequest &request) {
    BreakdownSummary summary;
    summary.from = request.from;
    summary.to = request.to;
    summary.priceTableVersion = breakdown.priceTableVersion;

    std::vector<GroupCollector> groups;
    for (const Grouping by : request.by)
        groups.emplace_back(by);
    std::vector<GroupCollector> dayGroups;
    std::set<std::string> unpriced;
    const auto finishDay = [&] {
        if (summary.days.empty() || !request.daily)
            return;
        for (const GroupCollector &group : dayGroups)
            summary.days.back().groups.push_back(group.finish(breakdown.names, request.home));
    };

    // Rows are ordered by day first: the span is one stretch of the map.
    for (auto row = breakdown.rows.lower_bound(BreakdownKey{request.from, Provider{}, 0, 0});
         row != breakdown.rows.end() && row->first.day <= request.to; ++row) {
        const auto &[key, figures] = *row;
        if (summary.days.empty() || summary.days.back().day != key.day) {
            finishDay();
            summary.days.push_back(SummaryDay{key.day, {}, {}});
            dayGroups.clear();
            if (request.daily)
                for (const Grouping by : request.by)
                    dayGroups.emplace_back(by);
        }
        summary.days.back().total.add(figures);
        summary.total.add(figures);
        for (GroupCollector &group : groups)
            group.add(key, figures);
        for (GroupCollector &group : dayGroups)
            group.add(key, figures);
        if (figures.unpricedTokens > 0) {
            const std::string model = nameText(breakdown.names, key.model);
            if (model.empty())
                summary.unpricedUnknownModel = true;
            else
                unpriced.insert(model);
        }
    }
    finishDay();
    for (const GroupCollector &group : groups)
        summary.groups.push_back(group.finish(breakdown.names, request.home));
    summary.unpricedModels.assign(unpriced.begin(), unpriced.end());
    return summary;
}
