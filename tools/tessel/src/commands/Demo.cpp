#include "commands/Demo.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/Errors.h"
#include "history/DemoHistory.h"
#include "history/RepositoryFiles.h"
#include "sync/Git.h"

#include <filesystem>

namespace fs = std::filesystem;

void prepareDemoRepository(const std::string &folder, const Environment &environment) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw FileError(folder, error.message());
    const RepositoryFiles files(folder);
    fs::create_directories(files.docs, error);
    if (error)
        throw FileError(files.docs, error.message());

    const DayNumber day = today(environment);
    UsageHistory history;
    if (const auto stored = readUsageHistory(files.usage)) {
        if (!stored->demo)
            throw ToolError(files.usage + " holds a real usage history; the demo will not "
                                          "overwrite it");
        history = *stored;
        advanceDemo(history, day);
    } else {
        history = makeDemoHistory(day);
    }
    if (!fs::exists(fs::path(folder) / ".git"))
        initRepository(folder);
    writeFileAtomically(files.usage, renderUsageHistory(history));
}
