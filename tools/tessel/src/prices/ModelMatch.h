#pragma once

#include <memory>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

// A rule of the price table that says which model names an entry covers: a text the name
// equals, starts with, ends with or contains, a regular expression it holds, or any or all of
// several rules. Names are compared in lower case; expressions see the lower-cased name.
class MatchRule {
public:
    enum class Kind { equals, startsWith, endsWith, contains, regex, anyOf, allOf };

    static MatchRule text(Kind kind, std::string_view text);
    // Throws std::regex_error for a pattern it cannot use.
    static MatchRule expression(std::string_view pattern);
    static MatchRule combined(Kind kind, std::vector<MatchRule> parts);

    // `name` must already be lower case (see ModelName).
    bool matches(std::string_view name) const;

private:
    Kind m_kind = Kind::equals;
    std::string m_text;
    std::shared_ptr<const std::regex> m_pattern;
    std::vector<MatchRule> m_parts;
};

// A model name as the tools log it, taken apart for the price table: lower case, the maker a
// prefix names ("anthropic/claude-sonnet-4-5", "openrouter/anthropic/...", Bedrock's
// "us.anthropic.claude-...") set aside as hints, and a context-window mark such as "[1m]"
// dropped.
struct ModelName {
    std::string name;
    // The prefixes before the name, nearest first.
    std::vector<std::string> hints;
};

ModelName splitModelName(std::string_view logged);

// The name with a date written "-20250929" as "-2025-09-29", the form some entries match; the
// name itself when it has no such date.
std::string withDashedDate(std::string_view name);
