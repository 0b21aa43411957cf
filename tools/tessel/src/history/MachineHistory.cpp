#include "history/MachineHistory.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "providers/UsageRecord.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// The names of the machines' files, in name order so the sum is the same wherever it is made.
std::vector<std::string> machineFileNames(const RepositoryFiles &files) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(files.machines, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".") && name.ends_with(".json"))
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A host name from another machine's file, fit to be printed on one line.
std::string hostLabel(const std::optional<UsageHistory> &history) {
    if (!history || history->host.empty())
        return "host unknown";
    std::string label;
    for (const char c : history->host.substr(0, 64)) {
        const auto byte = static_cast<unsigned char>(c);
        label += byte < 0x20 || byte == 0x7f || c == '"' ? '?' : c;
    }
    return "host \"" + label + "\"";
}

// A failure's reason without the path FileError puts in front.
std::string reasonOf(const ToolError &error, const std::string &path) {
    std::string reason = error.what();
    if (reason.starts_with(path + ": "))
        reason.erase(0, path.size() + 2);
    return reason;
}

} // namespace

std::string machineHistoryPath(const RepositoryFiles &files, const std::string &machineId) {
    return files.machines + "/" + machineId + ".json";
}

bool hasMachineHistories(const RepositoryFiles &files) {
    return !machineFileNames(files).empty();
}

bool isSafeProviderName(std::string_view name) {
    return !name.empty() && name.size() <= providerNameLimit &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '_';
           });
}

std::optional<std::string> unsoundMachineHistory(const UsageHistory &history) {
    if (history.days.size() > machineFileRowLimit)
        return std::to_string(history.days.size()) + " rows, more than the " +
               std::to_string(machineFileRowLimit) + " a machine's file may hold";
    std::set<std::string> providers;
    for (const auto &[day, figures] : history.days) {
        if (day < firstCountedDay)
            return "the day " + formatDay(day) + " is before 1970";
        for (const auto &[provider, tokens] : figures) {
            if (!isSafeProviderName(provider))
                return "a provider name that is not 1 to 32 letters, digits, \"-\" or \"_\" on " +
                       formatDay(day);
            if (tokens < 0 || tokens > maxDailyTokens)
                return "the figure " + std::to_string(tokens) + " of " + provider + " on " +
                       formatDay(day) + " is not between 0 and " + std::to_string(maxDailyTokens);
            providers.insert(provider);
        }
    }
    if (providers.size() > machineFileProviderLimit)
        return std::to_string(providers.size()) + " providers, more than the " +
               std::to_string(machineFileProviderLimit) + " a machine's file may name";
    return std::nullopt;
}

UsageHistory summedHistory(const RepositoryFiles &files, DayNumber today,
                           std::vector<std::string> &warnings) {
    ::refuseLinks(files.root, files.machines);
    UsageHistory sum;
    std::set<std::string> providers;
    const DayNumber lastDay = today + 1;
    for (const std::string &name : machineFileNames(files)) {
        const std::string path = files.machines + "/" + name;
        const std::string shown = "docs/machines/" + name;
        std::optional<UsageHistory> machine;
        const auto leaveOut = [&](const std::string &reason) {
            warnings.push_back("left out of the sum: " + shown + " (" + hostLabel(machine) +
                               "): " + reason);
        };
        try {
            machine =
                parseUsageHistory(readWholeFile(path, machineFileLimit, Links::refuse), shown);
        } catch (const HistoryFormatError &error) {
            std::string reason = error.what();
            if (reason.starts_with(shown + " "))
                reason.erase(0, shown.size() + 1);
            leaveOut(reason);
            continue;
        } catch (const ToolError &error) {
            leaveOut(reasonOf(error, path));
            continue;
        }
        if (const auto unsound = unsoundMachineHistory(*machine)) {
            leaveOut(*unsound);
            continue;
        }
        std::set<std::string> withThese = providers;
        for (const auto &[day, figures] : machine->days)
            for (const auto &[provider, tokens] : figures)
                withThese.insert(provider);
        if (withThese.size() > summedProviderLimit) {
            leaveOut("with it the sum would name more than " + std::to_string(summedProviderLimit) +
                     " providers");
            continue;
        }
        providers = std::move(withThese);
        std::vector<std::string> later;
        for (const auto &[day, figures] : machine->days) {
            if (day > lastDay) {
                later.push_back(formatDay(day));
                continue;
            }
            for (const auto &[provider, tokens] : figures) {
                auto &slot = sum.days[day][provider];
                slot = saturatingAdd(slot, tokens);
            }
        }
        if (!later.empty())
            warnings.push_back("left " + std::to_string(later.size()) +
                               (later.size() == 1 ? " day" : " days") + " after tomorrow of " +
                               shown + " (" + hostLabel(machine) + ") out of the sum, from " +
                               later.front());
    }
    return sum;
}

void writeSummedUsage(const RepositoryFiles &files, DayNumber today,
                      std::vector<std::string> &warnings) {
    const std::string text = renderUsageHistory(summedHistory(files, today, warnings));
    ::refuseLinks(files.root, files.usage);
    replaceFileIfChanged(files.usage, text);
}

UsageHistory addedHistories(UsageHistory a, const UsageHistory &b) {
    for (const auto &[day, figures] : b.days)
        for (const auto &[provider, tokens] : figures) {
            auto &slot = a.days[day][provider];
            slot = saturatingAdd(slot, tokens);
        }
    return a;
}

UsageHistory subtractedHistory(UsageHistory a, const UsageHistory &b) {
    for (const auto &[day, figures] : b.days) {
        const auto found = a.days.find(day);
        if (found == a.days.end())
            continue;
        bool left = false;
        for (auto &[provider, tokens] : found->second) {
            const auto taken = figures.find(provider);
            std::int64_t rest = 0;
            if (taken != figures.end() && !__builtin_sub_overflow(tokens, taken->second, &rest))
                tokens = std::max<std::int64_t>(rest, 0);
            left = left || tokens != 0;
        }
        if (!left)
            a.days.erase(found);
    }
    return a;
}

std::string inheritedPath(const RepositoryFiles &files, const std::string &machineId) {
    return files.state + ".inherited-" + machineId + ".json";
}

UsageHistory readInherited(const RepositoryFiles &files, const std::string &machineId) {
    const std::string path = inheritedPath(files, machineId);
    return readUsageHistory(path).value_or(UsageHistory{});
}

void writeInherited(const RepositoryFiles &files, const std::string &machineId,
                    const UsageHistory &inherited) {
    const std::string path = inheritedPath(files, machineId);
    ::refuseLinks(files.root, path);
    removeStaleTemporaries(path);
    if (inherited.days.empty()) {
        std::error_code error;
        fs::remove(path, error);
        return;
    }
    writeFileAtomically(path, renderUsageHistory(inherited));
}
