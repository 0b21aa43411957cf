#include "sync/Schedule.h"

#include "base/AtomicFile.h"
#include "base/ChildProcess.h"
#include "base/Errors.h"
#include "providers/ProviderRegistry.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Where the logs are, the data folder (the machine id) and the time zone, carried into the
// service so the scheduled run reads the same logs and counts the same days.
std::vector<std::string> carriedVariables() {
    std::vector<std::string> names;
    for (const std::string_view name : logEnvironmentVariables())
        names.emplace_back(name);
    names.emplace_back("XDG_DATA_HOME");
    names.emplace_back("TZ");
    return names;
}

// `text` with control characters and bytes that are not UTF-8 shown as \xNN, for messages.
std::string printable(const std::string &text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || byte >= 0x80) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

bool validUtf8(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xe  ? 3
                              : (lead >> 3) == 0x1e ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? lead : lead & (0x7f >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3f);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        static constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || (code >= 0xd800 && code <= 0xdfff) || code > 0x10ffff)
            return false;
        i += length;
    }
    return true;
}

// A unit file is UTF-8 text with one setting a line: a value it cannot carry exactly is
// refused before anything is written.
std::string checkedLine(const std::string &text) {
    const auto refuse = [&text](const std::string &why) {
        return ScheduleError("cannot schedule \"" + printable(text) + "\": " + why);
    };
    if (!validUtf8(text))
        throw refuse("a systemd unit holds only UTF-8 text, and this is not");
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            throw refuse("a systemd unit cannot hold a control character or line break");
    return text;
}

// A quoted value for a unit file, with systemd's escapes and without its "%" specifiers;
// ExecStart= arguments also escape "$", which systemd would expand there.
std::string quoted(const std::string &text, bool execArgument) {
    std::string out = "\"";
    for (const char c : checkedLine(text)) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '%' || (execArgument && c == '$'))
            out += c;
        out += c;
    }
    return out + "\"";
}

std::string execArgument(const std::string &text) {
    return quoted(text, true);
}
std::string quotedValue(const std::string &text) {
    return quoted(text, false);
}

// A path setting such as WorkingDirectory= is taken as written, quotes included, except that
// systemd joins a line ending in a backslash to the next and drops blanks at its end.
std::string plainPath(const std::string &text) {
    if (!text.empty() && (text.back() == '\\' || text.back() == ' ' || text.back() == '\t'))
        throw ScheduleError("cannot schedule \"" + printable(text) +
                            "\": systemd cannot take a folder whose name ends in a backslash "
                            "or a blank");
    std::string out;
    for (const char c : checkedLine(text)) {
        if (c == '%')
            out += c;
        out += c;
    }
    return out;
}

std::string absolute(const std::string &path) {
    return fs::absolute(path).lexically_normal().string();
}

ChildOutcome systemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"systemctl", "--user"});
    ChildOptions options;
    options.deadline = std::chrono::seconds(120);
    return runChild(arguments, options);
}

// The reason the user's systemd cannot be used, or nullopt when it can.
std::optional<std::string> unreachableReason() {
    if (!programOnPath("systemctl"))
        return "systemctl is not installed";
    try {
        const ChildOutcome probe = systemctl({"show-environment"});
        if (!probe.succeeded())
            return "the user's systemd is not reachable (" + probe.message() + ")";
    } catch (const ChildProcessError &error) {
        return error.what();
    }
    return std::nullopt;
}

// systemd's own check of the written units, where it is installed. Only what it says about
// these units counts: a machine without a user manager makes it fail for other reasons.
void verifyUnits(const std::vector<std::string> &paths) {
    if (!programOnPath("systemd-analyze"))
        return;
    std::vector<std::string> verify{"systemd-analyze", "--user", "verify"};
    verify.insert(verify.end(), paths.begin(), paths.end());
    ChildOptions options;
    options.deadline = std::chrono::seconds(60);
    const ChildOutcome outcome = runChild(verify, options);
    const std::string said = outcome.standardError + outcome.standardOutput;
    if (!outcome.succeeded() && said.find("tesselmenu-sync") != std::string::npos)
        throw ScheduleError("systemd-analyze finds the unit faulty: " + outcome.message());
}

void requireSuccess(const ChildOutcome &outcome, const std::string &what) {
    if (!outcome.succeeded())
        throw ScheduleError(what + " failed: " + outcome.message());
}

std::string property(const std::string &show, const std::string &name) {
    const std::string key = name + "=";
    size_t at = show.rfind("\n" + key);
    at = at == std::string::npos ? (show.starts_with(key) ? 0 : std::string::npos) : at + 1;
    if (at == std::string::npos)
        return {};
    const size_t end = show.find('\n', at);
    return show.substr(at + key.size(),
                       end == std::string::npos ? std::string::npos : end - at - key.size());
}

} // namespace

std::string unitFolder(const Environment &environment) {
    const std::string config =
        environment.get("XDG_CONFIG_HOME").value_or(environment.home() + "/.config");
    return config + "/systemd/user";
}

std::string serviceUnit(const ScheduleRequest &request, const Environment &environment) {
    const std::string repository = absolute(request.repositoryFolder);
    std::string exec = execArgument(absolute(request.binary)) + " run daily --repo-dir " +
                       execArgument(repository);
    if (request.profileFolder && !request.profileFolder->empty())
        exec += " --profile-repo-dir " + execArgument(absolute(*request.profileFolder));
    std::string unit = "[Unit]\n"
                       "Description=Publish AI coding token usage (TesselMenu)\n"
                       "\n"
                       "[Service]\n"
                       "Type=oneshot\n";
    unit += "WorkingDirectory=" + plainPath(repository) + "\n";
    for (const std::string &name : carriedVariables())
        if (const auto value = environment.get(name))
            unit += "Environment=" + quotedValue(name + "=" + *value) + "\n";
    unit += "ExecStart=" + exec + "\n";
    return unit;
}

std::string timerUnit(std::int64_t intervalSeconds) {
    const std::string interval = std::to_string(intervalSeconds) + "s";
    // OnActiveSec counts from the timer's start, which install does right away, and
    // OnUnitActiveSec from each run's start: together, every interval counted from the
    // installation, which is what the menu's countdown shows. AccuracySec keeps systemd from
    // shifting the runs by up to its default minute.
    return "[Unit]\n"
           "Description=Publish AI coding token usage every " +
           interval +
           " (TesselMenu)\n"
           "\n"
           "[Timer]\n"
           "OnActiveSec=" +
           interval + "\nOnUnitActiveSec=" + interval +
           "\nAccuracySec=1s\n"
           "Unit=" +
           serviceName +
           "\n"
           "\n"
           "[Install]\n"
           "WantedBy=timers.target\n";
}

void installSchedule(const ScheduleRequest &request, const Environment &environment) {
    if (request.intervalSeconds <= 0)
        throw UsageError("the interval must be a positive number of seconds");
    const std::string service = serviceUnit(request, environment);
    const std::string timer = timerUnit(request.intervalSeconds);
    if (const auto reason = unreachableReason())
        throw ScheduleError("cannot install the schedule: " + *reason);

    const fs::path folder = unitFolder(environment);
    const fs::path servicePath = folder / serviceName;
    const fs::path timerPath = folder / timerName;
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw FileError(folder.string(), error.message());
    try {
        removeStaleTemporaries(servicePath.string());
        removeStaleTemporaries(timerPath.string());
        writeFileAtomically(servicePath.string(), service);
        writeFileAtomically(timerPath.string(), timer);
        verifyUnits({servicePath.string(), timerPath.string()});
        requireSuccess(systemctl({"daemon-reload"}), "systemctl --user daemon-reload");
        requireSuccess(systemctl({"enable", timerName}), "systemctl --user enable");
        // Restart, so a new interval counts from now rather than from the old installation.
        requireSuccess(systemctl({"restart", timerName}), "systemctl --user restart");
    } catch (const ToolError &) {
        // Nothing half-installed stays behind. The cleanup is best effort: the failure
        // reported is the one that stopped the installation.
        fs::remove(timerPath, error);
        fs::remove(servicePath, error);
        try {
            systemctl({"disable", timerName});
            systemctl({"daemon-reload"});
        } catch (const ChildProcessError &) {
        }
        throw;
    }
}

void removeSchedule(const Environment &environment) {
    const fs::path folder = unitFolder(environment);
    const bool reachable = !unreachableReason();
    if (reachable)
        systemctl({"disable", "--now", timerName}); // fails harmlessly when not loaded
    std::error_code error;
    for (const char *name : {timerName, serviceName}) {
        fs::remove(folder / name, error);
        if (error)
            throw FileError((folder / name).string(), error.message());
    }
    if (reachable)
        systemctl({"daemon-reload"});
}

std::string scheduleStatus(const Environment &environment) {
    const fs::path timerPath = fs::path(unitFolder(environment)) / timerName;
    const bool present = fs::exists(timerPath);
    std::string status = "unit: " + timerPath.string() + (present ? "" : " (not installed)") + "\n";
    bool loaded = false;
    if (const auto reason = unreachableReason()) {
        status += "systemd: " + *reason + "\n";
    } else if (present) {
        const ChildOutcome show = systemctl(
            {"show", timerName, "--property=LoadState,ActiveState,NextElapseUSecRealtime"});
        const std::string active = property(show.standardOutput, "ActiveState");
        loaded = show.succeeded() && property(show.standardOutput, "LoadState") == "loaded" &&
                 active == "active";
        status += "active: " + (active.empty() ? std::string("unknown") : active) + "\n";
        if (const std::string next = property(show.standardOutput, "NextElapseUSecRealtime");
            !next.empty())
            status += "next: " + next + "\n";
    }
    status += std::string("loaded: ") + (loaded ? "true" : "false") + "\n";
    return status;
}
