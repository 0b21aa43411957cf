#include "providers/amp/AmpProvider.h"

#include "providers/FolderList.h"
#include "providers/amp/AmpLog.h"

namespace {

// XDG_DATA_HOME moves it too; the schedule carries that variable for every tool.
constexpr std::string_view variables[] = {"AMP_DATA_DIR"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    const std::string threads = ampThreadsFolder(environment);
    logs.lookedIn.push_back(threads);
    if (isFolder(threads))
        logs.folders.push_back({threads, LogStorage::document, ".json"});
    return logs;
}

} // namespace

std::string ampThreadsFolder(const Environment &environment) {
    std::string data;
    if (const auto configured = environment.get("AMP_DATA_DIR"))
        data = *configured;
    else if (const auto xdg = environment.get("XDG_DATA_HOME"))
        data = *xdg + "/amp";
    else
        data = environment.home() + "/.local/share/amp";
    while (data.size() > 1 && data.back() == '/')
        data.pop_back();
    return data.ends_with("/threads") ? data : data + "/threads";
}

const ProviderDefinition &ampProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::amp,
        .id = "amp",
        .displayName = "Amp",
        .environment = variables,
        .locate = locate,
        .parseDocument = amp::parseThread,
        // Amp itself loads threads of up to 50 MB.
        .largestDocument = 64 << 20,
    };
    return definition;
}
