#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The AI coding tools whose usage is counted, with the ids the usage file and report use.
enum class Provider : std::uint8_t { codex = 0, claude = 1, opencode = 2 };

inline constexpr std::array<Provider, 3> allProviders{Provider::codex, Provider::claude,
                                                      Provider::opencode};

constexpr std::string_view providerId(Provider provider) {
    switch (provider) {
    case Provider::codex:
        return "codex";
    case Provider::claude:
        return "claude";
    case Provider::opencode:
        return "opencode";
    }
    return "unknown";
}

constexpr size_t providerIndex(Provider provider) {
    return static_cast<size_t>(provider);
}
