#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The AI coding tools whose usage is counted. The number of each is stored in the collector's
// state and message index, so it never changes; a new tool takes the next number. Each tool's
// id, name, logs and reader are its definition's (ProviderDefinition, ProviderRegistry).
enum class Provider : std::uint8_t {
    codex = 0,
    claude = 1,
    opencode = 2,
    gemini = 3,
    copilot = 4,
    amp = 5,
    qwen = 6,
    kilo = 7,
    pi = 8,
    kimi = 9,
};

inline constexpr std::size_t providerCount = 10;

inline constexpr std::array<Provider, providerCount> allProviders{
    Provider::codex, Provider::claude, Provider::opencode, Provider::gemini, Provider::copilot,
    Provider::amp,   Provider::qwen,   Provider::kilo,     Provider::pi,     Provider::kimi};

// The tools counted from the first version on: every usage file row and the today report name
// them, zero or not, as readers of those documents have always found them. Other tools appear
// where they have figures.
inline constexpr std::array<Provider, 3> originalProviders{Provider::codex, Provider::claude,
                                                           Provider::opencode};

constexpr std::size_t providerIndex(Provider provider) {
    return static_cast<std::size_t>(provider);
}

// The id in the usage file and reports ("claude"), and the tool's own name ("Claude Code").
std::string_view providerId(Provider provider);
std::string_view providerDisplayName(Provider provider);
// The tool with this id, if any.
std::optional<Provider> providerWithId(std::string_view id);
// The display name of a provider id: the tool's name where the id is known, else the id.
std::string_view providerDisplayName(std::string_view id);
