#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// The tool's help: one table of its commands and their options, from which the command line
// is parsed and every help text is written, and the environment variables and files it uses.
// A new command or option needs only its row here (and its entry in the manual page, which a
// test compares with these texts).

struct OptionHelp {
    std::string_view name;  // "--repo-dir"
    std::string_view value; // "DIR"; empty for a flag
    bool required = false;
    std::string_view text;
};

struct CommandHelp {
    std::string_view words; // "report limits"
    std::string_view text;
    std::span<const OptionHelp> options;
    // Words the command takes after its name, before the options ("FROM TO").
    std::string_view arguments = {};

    // "report limits [--json]"
    std::string synopsis() const;
};

// A variable or file the tool reads or writes, and what for.
struct TopicHelp {
    std::string_view name;
    std::string_view text;
};

std::span<const CommandHelp> commandTable();
std::span<const TopicHelp> environmentTable();
std::span<const TopicHelp> fileTable();

// The row whose words start `arguments` (two-word commands first); nullptr when none does.
const CommandHelp *findCommand(const std::vector<std::string> &arguments);

// "usage: tessel collect | report today [--json] | ... | --version | --help", one line.
std::string usageLine();
// `tessel --help`: every command, then the environment variables and files.
std::string toolHelp();
// `tessel <command> --help`.
std::string commandHelpText(const CommandHelp &command);
