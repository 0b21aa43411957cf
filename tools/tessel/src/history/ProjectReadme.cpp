#include "history/ProjectReadme.h"

#include "history/RepoReadme.h"

#include <algorithm>
#include <map>
#include <vector>

namespace {

// The last `parts` components of a folder's path.
std::string lastParts(const std::string &path, int parts) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    size_t start = trimmed.size();
    for (int i = 0; i < parts && start > 0; ++i) {
        const size_t slash = trimmed.rfind('/', start - 1);
        start = slash == std::string::npos ? 0 : slash + 1;
        if (i + 1 < parts && start > 0)
            --start;
    }
    return trimmed.substr(start);
}

// Markdown that shows the name as it is: table bars, emphasis and markup escaped.
std::string markdownText(const std::string &text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else if (c == '&')
            escaped += "&amp;";
        else if (std::string_view("\\|*_`[]#").find(c) != std::string_view::npos)
            escaped += std::string("\\") + c;
        else if (c == '\n' || c == '\r')
            escaped += ' ';
        else
            escaped += c;
    }
    return escaped;
}

struct ProjectFigures {
    std::int64_t today = 0;
    std::int64_t week = 0;
};

} // namespace

std::string renderProjectSection(const Breakdown &breakdown, DayNumber today) {
    std::map<NameId, ProjectFigures> projects;
    for (auto row = breakdown.rows.lower_bound(BreakdownKey{today - 6, Provider{}, 0, 0});
         row != breakdown.rows.end() && row->first.day <= today; ++row) {
        ProjectFigures &figures = projects[row->first.project];
        figures.week = saturatingAdd(figures.week, row->second.tokens);
        if (row->first.day == today)
            figures.today = saturatingAdd(figures.today, row->second.tokens);
    }
    std::erase_if(projects, [](const auto &entry) { return entry.second.week == 0; });
    if (projects.empty())
        return {};

    // Names by the folder's last component; where two end alike, by the last two.
    std::map<NameId, std::string> labels;
    std::map<std::string, int> uses;
    for (const auto &[id, figures] : projects) {
        const std::string *path = id == 0 ? nullptr : breakdown.names.find(id);
        labels[id] = path ? lastParts(*path, 1) : std::string();
        ++uses[labels[id]];
    }
    for (auto &[id, label] : labels)
        if (id != 0 && uses[label] > 1)
            if (const std::string *path = breakdown.names.find(id))
                label = lastParts(*path, 2);

    std::vector<std::pair<std::string, ProjectFigures>> rows;
    for (const auto &[id, figures] : projects)
        rows.emplace_back(id == 0 || labels[id].empty() ? "*unknown*" : markdownText(labels[id]),
                          figures);
    std::sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) {
        return a.second.week != b.second.week ? a.second.week > b.second.week : a.first < b.first;
    });
    std::string text = "\n## By project (this machine)\n\n"
                       "| Project | Today | Last 7 days |\n"
                       "| --- | ---: | ---: |\n";
    for (const auto &[label, figures] : rows)
        text += "| " + label + " | " + groupedNumber(figures.today) + " | " +
                groupedNumber(figures.week) + " |\n";
    return text;
}
