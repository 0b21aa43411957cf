#pragma once

#include <map>
#include <optional>
#include <string>

// The environment variables the tool reads, captured once so that tests can hand in their own.
class Environment {
public:
    Environment() = default;
    explicit Environment(std::map<std::string, std::string> variables)
        : m_variables(std::move(variables)) {}

    static Environment current();

    // A variable's value; an empty value counts as unset.
    std::optional<std::string> get(const std::string &name) const;
    // $HOME, or the password database's home folder when HOME is unset.
    std::string home() const;

    void set(const std::string &name, std::string value) { m_variables[name] = std::move(value); }

private:
    std::map<std::string, std::string> m_variables;
};
