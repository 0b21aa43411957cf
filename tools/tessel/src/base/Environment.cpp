#include "base/Environment.h"

#include <pwd.h>
#include <unistd.h>

extern char **environ;

Environment Environment::current() {
    std::map<std::string, std::string> variables;
    for (char **entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        if (equals != std::string::npos)
            variables.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return Environment(std::move(variables));
}

std::optional<std::string> Environment::get(const std::string &name) const {
    const auto found = m_variables.find(name);
    if (found == m_variables.end() || found->second.empty())
        return std::nullopt;
    return found->second;
}

std::string Environment::home() const {
    if (auto home = get("HOME"))
        return *home;
    if (const passwd *entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}
