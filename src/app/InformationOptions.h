#pragma once

#include <optional>

// --help and --version, answered on standard output before any window system is needed.
// Returns the exit status when one of them was given, nothing otherwise; every other argument
// is left to the toolkit.
std::optional<int> answerInformationOptions(int argc, char **argv);
