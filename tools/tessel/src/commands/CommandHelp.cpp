#include "commands/CommandHelp.h"

#include <array>

namespace {

constexpr OptionHelp json{"--json", "", false, "print the JSON document the tray utility reads"};
constexpr OptionHelp repoDir{"--repo-dir", "DIR", true, "the usage repository"};
constexpr OptionHelp profileRepoDir{
    "--profile-repo-dir", "DIR", false,
    "a profile repository that gets tessel-heatmap.svg at its top as well"};

constexpr std::array reportOptions{
    OptionHelp{"--by", "GROUPS", false,
               "tool, model or project; several separated by commas or with --by again "
               "(default tool)"},
    OptionHelp{"--daily", "", false, "each day's own groups as well"},
    OptionHelp{"--json", "", false,
               "one JSON document instead of the table (report today --json alone prints the "
               "document the tray utility reads)"},
    OptionHelp{"--repo-dir", "DIR", false,
               "the usage repository (default: the current folder when it holds the tool's "
               "files, else the one the tray utility uses)"}};
constexpr std::array barOptions{
    OptionHelp{"--format", "FORMAT", false,
               "waybar: the JSON of Waybar's custom module (text, tooltip, class, percentage); "
               "plain (the default): the text alone, for i3blocks and polybar"},
    OptionHelp{"--repo-dir", "DIR", false,
               "the usage repository (default: the current folder when it holds the tool's "
               "files, else the one the tray utility uses)"}};
constexpr std::array reportLimitsOptions{json};
constexpr std::array statuslineOptions{
    OptionHelp{"--repo-dir", "DIR", false,
               "the usage repository whose docs/usage.json gives today's tokens (default: the "
               "tray utility's TesselRepoDir)"},
    OptionHelp{"--quiet", "", false,
               "save the figures and print nothing, to chain another status line"}};
constexpr std::array runDailyOptions{
    repoDir, profileRepoDir,
    OptionHelp{"--publish-projects", "", false,
               "let the README show this machine's split by project folder (by its last "
               "component); also TESSEL_PUBLISH_PROJECTS=1"}};
constexpr std::array scheduleInstallOptions{
    repoDir, OptionHelp{"--binary", "PATH", true, "the tessel the timer runs"},
    OptionHelp{"--interval", "SECONDS", true,
               "seconds between runs, counted from the installation"},
    profileRepoDir};
constexpr std::array demoOptions{
    OptionHelp{"--repo-dir", "DIR", true, "the folder to make a demo repository"}};
constexpr std::array doctorOptions{
    OptionHelp{"--repo-dir", "DIR", false,
               "the repository to examine (default: the one the tray utility uses)"},
    OptionHelp{"--logs", "", false, "check only the log folders (quick: no git or systemd)"}};

constexpr std::array<CommandHelp, 14> commands{{
    {"collect",
     "In the usage repository (the current folder): read what is new in the local logs and "
     "update docs/usage.json.",
     {}},
    {"report today",
     "Today's tokens on this machine, from its breakdown, largest first with a total line: their "
     "split into input, output, cache read, cache write and reasoning, and what they would cost "
     "at the providers' API list prices, an API-equivalent estimate, not a bill. A cost that "
     "leaves out models without a price reads as a lower bound and names them.",
     reportOptions},
    {"report week", "As report today, for the last 7 days (today included).", reportOptions},
    {"report month", "As report today, for the last 30 days (today included).", reportOptions},
    {"report range", "As report today, for the days FROM to TO (yyyy-MM-dd, both included).",
     reportOptions, "FROM TO"},
    {"report limits",
     "The latest known 5-hour, weekly and other limit windows of Codex and Claude Code, from "
     "local files only, with the pace to each reset. Log files are read only as far as they "
     "changed since the last run.",
     reportLimitsOptions},
    {"bar",
     "One line for a status bar without a tray: today's tokens, their API-equivalent cost and "
     "the most used limit window. It reads what collect and the limits keep and never "
     "collects itself.",
     barOptions},
    {"statusline",
     "A status-line command for Claude Code: reads the JSON document Claude Code hands it on "
     "standard input, keeps its limit figures for report limits and prints today's tokens and "
     "the limits. Answers after the first complete document.",
     statuslineOptions},
    {"run daily",
     "Collect, render docs/heatmap.svg and docs/README.md, commit them and push when the "
     "repository has a remote.",
     runDailyOptions},
    {"schedule install", "A systemd user timer that runs run daily every SECONDS seconds.",
     scheduleInstallOptions},
    {"schedule remove", "Remove the timer.", {}},
    {"schedule status", "A few lines on the timer, among them loaded: true or loaded: false.", {}},
    {"demo", "Make DIR a demo repository with 120 days of invented usage.", demoOptions},
    {"doctor",
     "One line per item, ok, -- (a note) or FAIL with what to do: the providers' log folders "
     "and how long Claude Code keeps its logs, the usage repository, the remote, the schedule, "
     "the last collect and whether the desktop has a tray for the icon. Exit status 1 when "
     "something needs attention.",
     doctorOptions},
}};

constexpr std::array<TopicHelp, 20> variables{{
    {"CLAUDE_CONFIG_DIR",
     "Claude Code's folders, comma-separated (default ~/.config/claude and ~/.claude)"},
    {"CODEX_HOME", "Codex's folder (default ~/.codex)"},
    {"OPENCODE_DATA_DIR", "OpenCode's data folder (default $XDG_DATA_HOME/opencode)"},
    {"OPENCODE_DB", "OpenCode's database (default opencode.db in its data folder)"},
    {"HOME", "the home folder"},
    {"XDG_CONFIG_HOME",
     "default ~/.config: the tray utility's settings, Claude Code's folder, the systemd units"},
    {"XDG_DATA_HOME",
     "default ~/.local/share: the machine id, the default usage repository, OpenCode's data"},
    {"XDG_STATE_HOME",
     "default ~/.local/state: the limits' history and scan state, the status line's snapshot"},
    {"TZ", "the time zone days are counted in"},
    {"TZDIR", "where the zones named in Claude Code's limit messages are looked up"},
    {"TESSEL_GIT_TIMEOUT", "seconds a git step may take (at most the default 120)"},
    {"GIT_SSH_COMMAND", "the ssh git runs, always in batch mode"},
    {"XDG_CURRENT_DESKTOP", "doctor: the desktop, for how to get a tray on GNOME"},
    {"DBUS_SESSION_BUS_ADDRESS", "doctor: the session bus asked for a StatusNotifierItem host"},
    {"XDG_RUNTIME_DIR", "doctor: where the session bus is when its address is not set"},
    {"DISPLAY", "doctor: the X display asked for an XEmbed tray"},
    {"XAUTHORITY", "doctor: the X display's cookie file (default ~/.Xauthority)"},
    {"TESSEL_PUBLISH_PROJECTS",
     "1: run daily publishes this machine's split by project in the README"},
    {"COLUMNS", "the width of report's table when it goes to no terminal"},
    {"TESSEL_NOW", "replaces the clock, in seconds since the epoch or ISO-8601 (for tests)"},
}};

constexpr std::array<TopicHelp, 15> files{{
    {"docs/usage.json", "in the usage repository: every machine's days summed"},
    {"docs/machines/<id>.json", "in the usage repository: this machine's own history"},
    {"docs/.tessel-state", "in the usage repository: what collect has read of each log"},
    {"docs/.tessel-state.breakdown",
     "in the usage repository: this machine's tokens per day, tool, model and project with "
     "their cost, for report and bar; kept out of git"},
    {"prices.json", "beside the tool: the API price table collect prices each request with"},
    {"docs/heatmap.svg", "in the usage repository: the last 98 days, by run daily"},
    {"docs/README.md", "in the usage repository: today's and the week's figures, by run daily"},
    {"$XDG_DATA_HOME/tessel/machine-id", "this machine's id"},
    {"$XDG_STATE_HOME/tessel/limits-history", "readings of the limit windows still running"},
    {"$XDG_STATE_HOME/tessel/limits-scan",
     "where report limits found each log's newest limit lines"},
    {"$XDG_STATE_HOME/tessel/claude-statusline.json", "the figures the status line was given"},
    {"~/.claude.json", "Claude Code's cached limit figures (also in each CLAUDE_CONFIG_DIR)"},
    {"~/.claude/settings.json", "Claude Code's cleanupPeriodDays, read by doctor"},
    {"$XDG_CONFIG_HOME/TesselMenu/Info.json", "the tray utility's TesselRepoDir"},
    {"$XDG_CONFIG_HOME/systemd/user/tesselmenu-sync.timer",
     "the schedule, with tesselmenu-sync.service beside it"},
}};

void appendWrapped(std::string &text, std::string_view words, std::string_view indent) {
    constexpr size_t width = 79;
    size_t column = 0;
    while (!words.empty()) {
        const size_t space = words.find(' ');
        const std::string_view word = words.substr(0, space);
        if (column == 0) {
            text.append(indent);
            column = indent.size();
        } else if (column + 1 + word.size() > width) {
            text.append("\n").append(indent);
            column = indent.size();
        } else {
            text.append(" ");
            ++column;
        }
        text.append(word);
        column += word.size();
        words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
    }
    text.append("\n");
}

void appendTopics(std::string &text, std::string_view heading, std::span<const TopicHelp> topics) {
    text.append("\n").append(heading).append(":\n");
    for (const TopicHelp &topic : topics) {
        text.append("  ").append(topic.name).append("\n");
        appendWrapped(text, topic.text, "      ");
    }
}

} // namespace

std::string CommandHelp::synopsis() const {
    std::string text(words);
    if (!arguments.empty())
        text.append(" ").append(arguments);
    for (const OptionHelp &option : options) {
        std::string part(option.name);
        if (!option.value.empty())
            part.append(" ").append(option.value);
        text.append(" ").append(option.required ? part : "[" + part + "]");
    }
    return text;
}

std::span<const CommandHelp> commandTable() {
    return commands;
}

std::span<const TopicHelp> environmentTable() {
    return variables;
}

std::span<const TopicHelp> fileTable() {
    return files;
}

const CommandHelp *findCommand(const std::vector<std::string> &arguments) {
    for (const size_t count : {2, 1}) {
        if (arguments.size() < count)
            continue;
        std::string words = arguments[0];
        for (size_t i = 1; i < count; ++i)
            words += " " + arguments[i];
        for (const CommandHelp &command : commands)
            if (command.words == words)
                return &command;
    }
    return nullptr;
}

std::string usageLine() {
    std::string text = "usage: tessel";
    const char *separator = " ";
    for (const CommandHelp &command : commands) {
        text.append(separator).append(command.synopsis());
        separator = " | ";
    }
    return text + " | --version | --help";
}

std::string toolHelp() {
    std::string text = "usage: tessel COMMAND [OPTION...]\n";
    appendWrapped(text,
                  "Counts the tokens of local AI coding tools for the TesselMenu tray utility, "
                  "from local files only. tessel COMMAND --help tells more of each command.",
                  "");
    text.append("\nCommands:\n");
    for (const CommandHelp &command : commands) {
        text.append("  tessel ").append(command.synopsis()).append("\n");
        appendWrapped(text, command.text, "      ");
    }
    text.append("  tessel --version\n      the version\n  tessel --help\n      this help\n");
    appendTopics(text, "Environment", variables);
    appendTopics(text, "Files", files);
    text.append("\nExit status: 0 on success, 1 on a failure, 2 for a mistake on the command "
                "line.\n");
    return text;
}

std::string commandHelpText(const CommandHelp &command) {
    std::string text = "usage: tessel " + command.synopsis() + "\n";
    appendWrapped(text, command.text, "");
    text.append("\nOptions:\n");
    for (const OptionHelp &option : command.options) {
        text.append("  ").append(option.name);
        if (!option.value.empty())
            text.append(" ").append(option.value);
        text.append("\n");
        appendWrapped(text, option.text, "      ");
    }
    text.append("  --help\n      print this help\n");
    return text;
}
