#include "commands/TodayReport.h"

#include "base/JsonText.h"
#include "providers/Provider.h"

#include <string>
#include <vector>

namespace {

std::int64_t todayTokens(const std::optional<UsageHistory> &history, DayNumber today,
                         const std::string &provider) {
    return history ? history->tokens(today, provider) : 0;
}

// The three original providers always, and every other one with figures today.
std::vector<std::string> shownProviders(const std::optional<UsageHistory> &history,
                                        DayNumber today) {
    return history ? history->providersBetween(today, today)
                   : UsageHistory{}.providersBetween(0, -1);
}

} // namespace

std::string renderTodayReportJson(const std::optional<UsageHistory> &history, DayNumber today) {
    std::string json = "{\"rows\":[";
    bool first = true;
    for (const std::string &provider : shownProviders(history, today)) {
        if (!first)
            json += ',';
        first = false;
        json += "{\"day\":\"" + formatDay(today) + "\",\"provider\":\"" + jsonEscaped(provider) +
                "\",\"total_tokens\":" + std::to_string(todayTokens(history, today, provider)) +
                "}";
    }
    json += "]}\n";
    return json;
}
