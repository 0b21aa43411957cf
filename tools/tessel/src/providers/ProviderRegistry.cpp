#include "providers/ProviderRegistry.h"

#include "providers/amp/AmpProvider.h"
#include "providers/claude/ClaudeProvider.h"
#include "providers/codex/CodexProvider.h"
#include "providers/copilot/CopilotProvider.h"
#include "providers/gemini/GeminiProvider.h"
#include "providers/kilo/KiloProvider.h"
#include "providers/kimi/KimiProvider.h"
#include "providers/opencode/OpenCodeProvider.h"
#include "providers/pi/PiProvider.h"
#include "providers/qwen/QwenProvider.h"

#include <algorithm>
#include <array>

namespace {

const std::array<const ProviderDefinition *, providerCount> &registry() {
    // In the order of their numbers, which definitionOf() relies on.
    static const std::array<const ProviderDefinition *, providerCount> definitions{
        &codexProvider(),   &claudeProvider(), &openCodeProvider(), &geminiProvider(),
        &copilotProvider(), &ampProvider(),    &qwenProvider(),     &kiloProvider(),
        &piProvider(),      &kimiProvider()};
    return definitions;
}

} // namespace

std::span<const ProviderDefinition *const> providerDefinitions() {
    return registry();
}

const ProviderDefinition &definitionOf(Provider provider) {
    return *registry()[providerIndex(provider)];
}

std::vector<std::string_view> logEnvironmentVariables() {
    std::vector<std::string_view> names;
    for (const ProviderDefinition *definition : registry())
        for (const std::string_view name : definition->environment)
            if (std::find(names.begin(), names.end(), name) == names.end())
                names.push_back(name);
    return names;
}

std::string_view providerId(Provider provider) {
    return providerIndex(provider) < providerCount ? definitionOf(provider).id : "unknown";
}

std::string_view providerDisplayName(Provider provider) {
    return providerIndex(provider) < providerCount ? definitionOf(provider).displayName : "unknown";
}

std::optional<Provider> providerWithId(std::string_view id) {
    for (const ProviderDefinition *definition : registry())
        if (definition->id == id)
            return definition->provider;
    return std::nullopt;
}

std::string_view providerDisplayName(std::string_view id) {
    const auto provider = providerWithId(id);
    return provider ? providerDisplayName(*provider) : id;
}
