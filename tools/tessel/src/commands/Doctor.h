#pragma once

#include "base/Environment.h"

#include <string>
#include <vector>

// `tessel doctor`: why the figures stay at zero or a sync fails, one line per item.
enum class Verdict {
    ok,   // works
    note, // nothing wrong, but worth knowing (a provider not used, no remote yet)
    fail, // needs the person's action, said in `todo`
};

struct DoctorLine {
    Verdict verdict;
    std::string item;
    std::string detail;
    std::string todo;
};

struct DoctorRequest {
    std::string repositoryFolder;
    std::string repositoryReason;
    // How long `git ls-remote` may take before the remote counts as unreachable.
    int remoteDeadlineSeconds = 10;
};

// Each provider's log folders: files, size, newest entry, and how long Claude Code keeps its
// logs; a failing line when no provider has any log at all.
std::vector<DoctorLine> examineLogs(const Environment &environment);

// The logs, then the usage repository (folder, git, last commit, remote, whether the remote
// answers), the schedule, the last collect and whether the desktop has a tray for the icon.
std::vector<DoctorLine> examineEverything(const DoctorRequest &request,
                                          const Environment &environment);

// "ok    item: detail", with "; to do: ..." after a failing line's detail.
std::string renderDoctorLines(const std::vector<DoctorLine> &lines);
bool allWell(const std::vector<DoctorLine> &lines);
