#include "history/MachineHistory.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"
#include "providers/UsageRecord.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The machines' files, in name order so the sum is the same wherever it is made.
std::vector<fs::path> machineFiles(const RepositoryFiles &files) {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(machinesFolder(files), error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".") && name.ends_with(".json") && entry.is_regular_file(error))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::string machinesFolder(const RepositoryFiles &files) {
    return files.docs + "/machines";
}

std::string machineHistoryPath(const RepositoryFiles &files, const std::string &machineId) {
    return machinesFolder(files) + "/" + machineId + ".json";
}

bool hasMachineHistories(const RepositoryFiles &files) {
    return !machineFiles(files).empty();
}

UsageHistory summedHistory(const RepositoryFiles &files, std::vector<std::string> &warnings) {
    UsageHistory sum;
    for (const fs::path &path : machineFiles(files)) {
        try {
            const auto machine = readUsageHistory(path.string());
            if (!machine)
                continue;
            for (const auto &[day, providers] : machine->days)
                for (const auto &[provider, tokens] : providers) {
                    auto &slot = sum.days[day][provider];
                    slot = saturatingAdd(slot, tokens);
                }
        } catch (const ToolError &error) {
            warnings.push_back("left out of the sum: " + path.string() + ": " + error.what());
        }
    }
    return sum;
}

void writeSummedUsage(const RepositoryFiles &files, std::vector<std::string> &warnings) {
    const std::string text = renderUsageHistory(summedHistory(files, warnings));
    replaceFileIfChanged(files.usage, text);
}
