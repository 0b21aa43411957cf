#include "providers/copilot/CopilotProvider.h"

#include "providers/copilot/CopilotLog.h"

namespace {

constexpr std::string_view variables[] = {"COPILOT_HOME"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    logs.databases.push_back(copilotSessionStore(environment));
    return logs;
}

} // namespace

std::string copilotSessionStore(const Environment &environment) {
    std::string home = environment.get("COPILOT_HOME").value_or(environment.home() + "/.copilot");
    while (home.size() > 1 && home.back() == '/')
        home.pop_back();
    return home + "/session-store.db";
}

const ProviderDefinition &copilotProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::copilot,
        .id = "copilot",
        .displayName = "GitHub Copilot CLI",
        .environment = variables,
        .locate = locate,
        .readDatabase = copilot::readDatabase,
    };
    return definition;
}
