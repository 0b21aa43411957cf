#include "commands/TodayReport.h"

#include "history/RepoReadme.h"
#include "providers/Provider.h"

namespace {

std::int64_t todayTokens(const std::optional<UsageHistory> &history, DayNumber today,
                         Provider provider) {
    return history ? history->tokens(today, std::string(providerId(provider))) : 0;
}

} // namespace

std::string renderTodayReportJson(const std::optional<UsageHistory> &history, DayNumber today) {
    std::string json = "{\"rows\":[";
    for (const Provider provider : allProviders) {
        if (provider != allProviders.front())
            json += ',';
        json += "{\"day\":\"" + formatDay(today) + "\",\"provider\":\"" +
                std::string(providerId(provider)) +
                "\",\"total_tokens\":" + std::to_string(todayTokens(history, today, provider)) +
                "}";
    }
    json += "]}\n";
    return json;
}

std::string renderTodayReportText(const std::optional<UsageHistory> &history, DayNumber today) {
    std::string text = formatDay(today) + "\n";
    for (const Provider provider : allProviders)
        text += "  " + std::string(providerId(provider)) + ": " +
                groupedNumber(todayTokens(history, today, provider)) + "\n";
    return text;
}
