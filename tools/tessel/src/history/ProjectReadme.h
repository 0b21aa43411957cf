#pragma once

#include "base/Day.h"
#include "history/Breakdown.h"

#include <string>

// The usage repository README's split by project, for users who choose to publish it
// (`run daily --publish-projects` or TESSEL_PUBLISH_PROJECTS=1): this machine's tokens today
// and over the last seven days per project folder, named by its last component (and its
// parent's, where two end alike), never by its whole path. Empty without any tokens.
std::string renderProjectSection(const Breakdown &breakdown, DayNumber today);
