#pragma once

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>

// Sets variables of the test process's environment and puts the old values back when it
// goes. Changes of TZ take effect at once.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;
    ~ScopedEnvironment() {
        for (const auto &[name, value] : m_saved)
            apply(name, value);
    }

    // Sets `name` to `value`, or removes it for nullopt.
    void set(const std::string &name, const std::optional<std::string> &value) {
        const char *old = std::getenv(name.c_str());
        m_saved.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        apply(name, value);
    }

private:
    static void apply(const std::string &name, const std::optional<std::string> &value) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
        tzset();
    }

    std::map<std::string, std::optional<std::string>> m_saved;
};
