#include "commands/ReportCommandLine.h"

#include "base/Errors.h"

#include <algorithm>

namespace {

std::vector<Grouping> groupings(const std::string &list) {
    std::vector<Grouping> by;
    size_t start = 0;
    while (true) {
        const size_t comma = list.find(',', start);
        const std::string word = list.substr(start, comma - start);
        const Grouping known[] = {Grouping::tool, Grouping::model, Grouping::project};
        const auto found = std::find_if(std::begin(known), std::end(known),
                                        [&](Grouping g) { return groupingId(g) == word; });
        if (found == std::end(known))
            throw UsageError("--by takes tool, model or project, not '" + word + "'");
        if (std::find(by.begin(), by.end(), *found) == by.end())
            by.push_back(*found);
        if (comma == std::string::npos)
            return by;
        start = comma + 1;
    }
}

DayNumber day(const std::string &text) {
    const auto parsed = parseDay(text);
    if (!parsed)
        throw UsageError("'" + text + "' is not a day written yyyy-MM-dd");
    return *parsed;
}

const std::string &value(const std::vector<std::string> &arguments, size_t &i) {
    if (i + 1 >= arguments.size())
        throw UsageError("missing value for " + arguments[i]);
    return arguments[++i];
}

} // namespace

bool isReportPeriod(const std::string &word) {
    return word == "today" || word == "week" || word == "month" || word == "range";
}

Command parseReportCommand(const std::vector<std::string> &arguments) {
    ReportRequest request;
    const std::string &period = arguments.at(1);
    size_t i = 2;
    if (period == "today") {
        request.period = ReportRequest::Period::today;
    } else if (period == "week") {
        request.period = ReportRequest::Period::week;
    } else if (period == "month") {
        request.period = ReportRequest::Period::month;
    } else {
        request.period = ReportRequest::Period::range;
        if (arguments.size() < 4 || arguments[2].starts_with("--") ||
            arguments[3].starts_with("--"))
            throw UsageError("report range needs two days, FROM and TO");
        request.from = day(arguments[2]);
        request.to = day(arguments[3]);
        if (request.from > request.to)
            throw UsageError("the range starts after it ends: " + arguments[2] + " to " +
                             arguments[3]);
        i = 4;
    }
    bool grouped = false;
    for (; i < arguments.size(); ++i) {
        const std::string &name = arguments[i];
        if (name == "--json") {
            request.json = true;
        } else if (name == "--daily") {
            request.daily = true;
        } else if (name == "--by") {
            if (!grouped)
                request.by.clear();
            grouped = true;
            for (const Grouping by : groupings(value(arguments, i)))
                if (std::find(request.by.begin(), request.by.end(), by) == request.by.end())
                    request.by.push_back(by);
        } else if (name == "--repo-dir") {
            request.repositoryFolder = value(arguments, i);
        } else {
            throw UsageError("unexpected argument '" + name + "'");
        }
    }
    // `report today --json` alone is the document the tray utility has always read.
    if (request.period == ReportRequest::Period::today && request.json && !grouped &&
        !request.daily)
        return command::ReportToday{true, request.repositoryFolder};
    return request;
}

Command parseBarCommand(const std::vector<std::string> &arguments) {
    BarRequest request;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string &name = arguments[i];
        if (name == "--format") {
            const std::string &format = value(arguments, i);
            if (format == "waybar")
                request.format = BarRequest::Format::waybar;
            else if (format == "plain")
                request.format = BarRequest::Format::plain;
            else
                throw UsageError("--format takes waybar or plain, not '" + format + "'");
        } else if (name == "--repo-dir") {
            request.repositoryFolder = value(arguments, i);
        } else {
            throw UsageError("unexpected argument '" + name + "'");
        }
    }
    return request;
}
