#pragma once

#include "base/Environment.h"
#include "commands/Doctor.h"

#include <vector>

// How long Claude Code keeps its session logs before it deletes them: cleanupPeriodDays in
// the settings.json of each of its folders (every CLAUDE_CONFIG_DIR folder, else ~/.claude),
// 30 days when unset. History older than that lives only in the usage repository. One line
// per folder whose settings or logs exist; a period of 0 or less, which keeps no logs at all,
// fails.
std::vector<DoctorLine> claudeRetentionLines(const Environment &environment, bool logsFound);
