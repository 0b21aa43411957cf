#include "providers/pi/PiProvider.h"

#include "providers/FolderList.h"
#include "providers/pi/PiLog.h"

namespace {

constexpr std::string_view variables[] = {"PI_CODING_AGENT_DIR", "PI_AGENT_DIR"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    const std::string sessions = piSessionsFolder(environment);
    logs.lookedIn.push_back(sessions);
    if (isFolder(sessions))
        logs.folders.push_back({sessions, LogStorage::lines, ".jsonl"});
    return logs;
}

} // namespace

std::string piSessionsFolder(const Environment &environment) {
    std::string agent =
        environment.get("PI_CODING_AGENT_DIR")
            .value_or(environment.get("PI_AGENT_DIR").value_or(environment.home() + "/.pi/agent"));
    if (agent == "~" || agent.starts_with("~/"))
        agent = environment.home() + agent.substr(1);
    while (agent.size() > 1 && agent.back() == '/')
        agent.pop_back();
    return agent + "/sessions";
}

const ProviderDefinition &piProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::pi,
        .id = "pi",
        .displayName = "Pi",
        .environment = variables,
        .locate = locate,
        .mayMatter = pi::mayMatter,
        .parseLine = pi::parseLine,
    };
    return definition;
}
