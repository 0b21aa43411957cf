#include "history/DemoHistory.h"

#include "providers/Provider.h"

#include <algorithm>

namespace {

constexpr int demoDays = 120;

std::uint64_t mix(std::uint64_t value) {
    value += 0x9e3779b97f4a7c15ull;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ull;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebull;
    return value ^ (value >> 31);
}

// A number in [0, 1) that depends only on its inputs, so a demo is the same on every run.
double noise(std::uint64_t a, std::uint64_t b) {
    return static_cast<double>(mix(mix(a) ^ b) >> 11) / static_cast<double>(1ull << 53);
}

// A typical day of each provider: Claude Code busiest, OpenCode tried now and then.
constexpr double typicalTokens[] = {6'000'000, 22'000'000, 1'500'000};

std::int64_t demoDay(DayNumber day, Provider provider) {
    const auto index = providerIndex(provider);
    const int weekday = ((day % 7) + 7 + 3) % 7; // 0 = Monday; 1970-01-01 was a Thursday
    const double week = weekday >= 5 ? 0.25 : 1.0;
    const double roll = noise(static_cast<std::uint64_t>(day), index);
    if (roll < (provider == Provider::opencode ? 0.45 : 0.1))
        return 0; // days off, and days without that tool
    const double scale = 0.2 + 1.8 * noise(static_cast<std::uint64_t>(day) * 31, index + 7);
    return static_cast<std::int64_t>(typicalTokens[index] * week * scale);
}

void fillDay(UsageHistory &history, DayNumber day, double share) {
    auto &entry = history.days[day];
    for (const Provider provider : originalProviders)
        entry[std::string(providerId(provider))] =
            static_cast<std::int64_t>(static_cast<double>(demoDay(day, provider)) * share);
}

} // namespace

UsageHistory makeDemoHistory(DayNumber today) {
    UsageHistory history;
    history.demo = true;
    for (DayNumber day = today - demoDays + 1; day < today; ++day)
        fillDay(history, day, 1.0);
    fillDay(history, today, 0.3);
    return history;
}

void advanceDemo(UsageHistory &history, DayNumber today) {
    history.demo = true;
    DayNumber from = history.days.empty() ? today - demoDays + 1 : history.days.rbegin()->first + 1;
    from = std::max(from, today - demoDays + 1);
    for (DayNumber day = from; day < today; ++day)
        fillDay(history, day, 1.0);
    if (!history.days.contains(today)) {
        fillDay(history, today, 0.3);
        return;
    }
    auto &entry = history.days[today];
    for (const Provider provider : originalProviders) {
        auto &tokens = entry[std::string(providerId(provider))];
        const double step = typicalTokens[providerIndex(provider)] / 40.0;
        tokens += static_cast<std::int64_t>(
            step * (0.5 + noise(static_cast<std::uint64_t>(tokens), providerIndex(provider))));
    }
}
