#include "prices/ModelMatch.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char &c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
}

// Model makers whose names Bedrock and similar clouds put before a model, separated by dots.
constexpr std::string_view dottedMakers[] = {"anthropic", "openai",   "google",   "meta",
                                             "mistral",   "deepseek", "moonshot", "cohere"};

} // namespace

MatchRule MatchRule::text(Kind kind, std::string_view text) {
    MatchRule rule;
    rule.m_kind = kind;
    rule.m_text = lowered(text);
    return rule;
}

MatchRule MatchRule::expression(std::string_view pattern) {
    MatchRule rule;
    rule.m_kind = Kind::regex;
    rule.m_text = pattern;
    rule.m_pattern = std::make_shared<const std::regex>(rule.m_text, std::regex::ECMAScript |
                                                                         std::regex::optimize);
    return rule;
}

MatchRule MatchRule::combined(Kind kind, std::vector<MatchRule> parts) {
    MatchRule rule;
    rule.m_kind = kind;
    rule.m_parts = std::move(parts);
    return rule;
}

bool MatchRule::matches(std::string_view name) const {
    switch (m_kind) {
    case Kind::equals:
        return name == m_text;
    case Kind::startsWith:
        return name.starts_with(m_text);
    case Kind::endsWith:
        return name.ends_with(m_text);
    case Kind::contains:
        return name.find(m_text) != std::string_view::npos;
    case Kind::regex:
        return std::regex_search(name.begin(), name.end(), *m_pattern);
    case Kind::anyOf:
        return std::any_of(m_parts.begin(), m_parts.end(),
                           [&](const MatchRule &part) { return part.matches(name); });
    case Kind::allOf:
        return std::all_of(m_parts.begin(), m_parts.end(),
                           [&](const MatchRule &part) { return part.matches(name); });
    }
    return false;
}

ModelName splitModelName(std::string_view logged) {
    while (!logged.empty() && std::isspace(static_cast<unsigned char>(logged.front())))
        logged.remove_prefix(1);
    while (!logged.empty() && std::isspace(static_cast<unsigned char>(logged.back())))
        logged.remove_suffix(1);
    ModelName model;
    std::string name = lowered(logged);
    // "claude-sonnet-4-5[1m]": the context window asked for, not part of the model's name.
    if (name.ends_with(']'))
        if (const size_t open = name.rfind('['); open != std::string::npos && open > 0)
            name.erase(open);
    // Routers and tools put the maker (and themselves) before the name: "openrouter/x/y".
    for (size_t slash; (slash = name.find('/')) != std::string::npos;) {
        model.hints.insert(model.hints.begin(), name.substr(0, slash));
        name.erase(0, slash + 1);
    }
    // Bedrock: "anthropic.claude-..." or, with a region, "us.anthropic.claude-...".
    for (const std::string_view maker : dottedMakers) {
        const std::string prefix = std::string(maker) + '.';
        size_t at = name.starts_with(prefix) ? 0 : name.find('.' + prefix);
        if (at == std::string::npos)
            continue;
        at += name[at] == '.' ? 1 : 0;
        const std::string_view region(name.data(), at == 0 ? 0 : at - 1);
        // Only a short region code may come before the maker ("us", "eu", "apac").
        if (region.size() > 6 || region.find('.') != std::string_view::npos)
            continue;
        model.hints.insert(model.hints.begin(), std::string(maker));
        name.erase(0, at + prefix.size());
        break;
    }
    model.name = std::move(name);
    return model;
}

std::string withDashedDate(std::string_view name) {
    std::string result;
    size_t i = 0;
    while (i < name.size()) {
        // "-YYYYMMDD" followed by the end, a dash or a colon.
        if (name[i] == '-' && i + 9 <= name.size() && isDigits(name.substr(i + 1, 8)) &&
            (i + 9 == name.size() || name[i + 9] == '-' || name[i + 9] == ':') &&
            name.substr(i + 1, 2) == "20") {
            const int month = std::stoi(std::string(name.substr(i + 5, 2)));
            const int day = std::stoi(std::string(name.substr(i + 7, 2)));
            if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
                result.append("-").append(name.substr(i + 1, 4)).append("-");
                result.append(name.substr(i + 5, 2)).append("-").append(name.substr(i + 7, 2));
                i += 9;
                continue;
            }
        }
        result += name[i++];
    }
    return result;
}
