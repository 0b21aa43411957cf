#pragma once

#include "providers/ProviderDefinition.h"

#include <span>

// Every tool the collector reads, in the order of their numbers.
std::span<const ProviderDefinition *const> providerDefinitions();
const ProviderDefinition &definitionOf(Provider provider);

// The environment variables that move any tool's logs.
std::vector<std::string_view> logEnvironmentVariables();
