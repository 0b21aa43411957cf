// Writes a usage repository with a heavy year for the report and status-bar benchmark: a
// breakdown of every day of a year with each of 3 tools on 5 models in 8 projects (43,800
// rows), and the matching docs/usage.json.
//   bench_breakdown_year REPOSITORY LAST-DAY
#include "history/Breakdown.h"
#include "history/RepositoryFiles.h"
#include "history/UsageHistory.h"

#include <filesystem>
#include <fstream>
#include <iostream>

int main(int argc, char **argv) {
    if (argc != 3 || !parseDay(argv[2])) {
        std::cerr << "usage: bench_breakdown_year REPOSITORY yyyy-MM-dd\n";
        return 2;
    }
    const RepositoryFiles files(argv[1]);
    std::filesystem::create_directories(files.docs);
    const DayNumber last = *parseDay(argv[2]);
    const char *models[] = {"claude-sonnet-4-5-20250929", "claude-opus-4-1-20250805", "gpt-5-codex",
                            "gemini-2.5-pro", "glm-4.6"};
    Breakdown breakdown;
    breakdown.priceTableVersion = "bench";
    UsageHistory history;
    std::uint64_t seed = 7;
    for (DayNumber day = last - 364; day <= last; ++day)
        for (const Provider provider : allProviders)
            for (int model = 0; model < 5; ++model)
                for (int project = 0; project < 8; ++project) {
                    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                    const std::int64_t input = static_cast<std::int64_t>(seed >> 44);
                    BreakdownFigures figures;
                    figures.split = {input, input / 8, input * 6, input / 2, input / 16, input / 4};
                    figures.tokens = figures.split.sum();
                    const bool priced = model != 4;
                    figures.costNanodollars = priced ? figures.tokens * 1200 : 0;
                    figures.unpricedTokens = priced ? 0 : figures.tokens;
                    const BreakdownKey key{
                        day, provider, breakdown.names.add(models[model]),
                        breakdown.names.add("/home/me/src/project-" + std::to_string(project))};
                    breakdown.rows[key] = figures;
                    auto &tokens = history.days[day][std::string(providerId(provider))];
                    tokens += figures.tokens;
                }
    writeBreakdown(files.breakdown, breakdown);
    std::ofstream(files.usage) << renderUsageHistory(history);
    std::cout << breakdown.rows.size() << " rows over 365 days\n";
}
