#include "providers/qwen/QwenProvider.h"

#include "providers/FolderList.h"
#include "providers/qwen/QwenLog.h"

namespace {

constexpr std::string_view variables[] = {"QWEN_RUNTIME_DIR", "QWEN_HOME"};

ProviderLogs locate(const Environment &environment) {
    ProviderLogs logs;
    const std::string projects = qwenProjectsFolder(environment);
    logs.lookedIn.push_back(projects);
    if (isFolder(projects))
        logs.folders.push_back({projects, LogStorage::lines, ".jsonl"});
    return logs;
}

} // namespace

std::string qwenProjectsFolder(const Environment &environment) {
    std::string root =
        environment.get("QWEN_RUNTIME_DIR")
            .value_or(environment.get("QWEN_HOME").value_or(environment.home() + "/.qwen"));
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root + "/projects";
}

const ProviderDefinition &qwenProvider() {
    static const ProviderDefinition definition{
        .provider = Provider::qwen,
        .id = "qwen",
        .displayName = "Qwen Code",
        .environment = variables,
        .locate = locate,
        .needle = qwen::usageNeedle,
        .parseLine = qwen::parseLine,
    };
    return definition;
}
