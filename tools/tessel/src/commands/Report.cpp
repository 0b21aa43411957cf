#include "commands/Report.h"

#include "base/Clock.h"
#include "commands/ReportRender.h"
#include "commands/RepositoryInUse.h"
#include "history/RepositoryFiles.h"
#include "history/UsageHistory.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The columns of the terminal the report goes to; none (0) when it goes to a file or a pipe
// and COLUMNS does not say.
size_t terminalWidth(const Environment &environment) {
    winsize size{};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
        size.ws_col > 0)
        return size.ws_col;
    const std::string columns = environment.get("COLUMNS").value_or("");
    size_t width = 0;
    const auto [end, error] =
        std::from_chars(columns.data(), columns.data() + columns.size(), width);
    return error == std::errc() && end == columns.data() + columns.size() ? width : 0;
}

// What docs/usage.json counts in the days beyond this machine's breakdown.
std::pair<std::int64_t, bool> elsewhere(const std::string &usagePath, DayNumber from, DayNumber to,
                                        std::int64_t here) {
    const std::optional<UsageHistory> history = readUsageHistory(usagePath);
    if (!history)
        return {0, false};
    std::int64_t total = 0;
    for (auto day = history->days.lower_bound(from); day != history->days.end() && day->first <= to;
         ++day)
        total = saturatingAdd(total, history->dayTotal(day->first));
    return {std::max<std::int64_t>(total - here, 0), history->demo};
}

} // namespace

std::pair<DayNumber, DayNumber> reportDays(const ReportRequest &request, DayNumber today) {
    switch (request.period) {
    case ReportRequest::Period::today:
        return {today, today};
    case ReportRequest::Period::week:
        return {std::max(today - 6, firstCountedDay), today};
    case ReportRequest::Period::month:
        return {std::max(today - 29, firstCountedDay), today};
    case ReportRequest::Period::range:
        return {request.from, request.to};
    }
    return {today, today};
}

std::string reportRepository(const std::optional<std::string> &given,
                             const Environment &environment) {
    if (given)
        return *given;
    const RepositoryFiles here(".");
    std::error_code error;
    if (fs::exists(here.usage, error) || fs::exists(here.breakdown, error))
        return ".";
    return findRepositoryInUse(environment, fs::current_path().string(), executableFolder()).folder;
}

std::string runReport(const ReportRequest &request, const Environment &environment) {
    const RepositoryFiles files(reportRepository(request.repositoryFolder, environment));
    const auto [from, to] = reportDays(request, today(environment));
    const std::optional<Breakdown> breakdown = readBreakdown(files.breakdown, from, to);
    SummaryRequest summaryRequest{from, to, request.by, request.daily, environment.home()};
    const Breakdown none;
    const BreakdownSummary summary =
        summarizeBreakdown(breakdown ? *breakdown : none, summaryRequest);
    if (request.json)
        return renderReportJson(summary);
    ReportTextOptions options;
    options.width = terminalWidth(environment);
    options.breakdownKept = breakdown.has_value();
    std::tie(options.elsewhereTokens, options.demo) =
        elsewhere(files.usage, from, to, summary.total.tokens);
    return renderReportText(summary, options);
}
