#pragma once

#include "cli/DescribedError.h"

#include <QString>

#include <optional>

struct Bundle;

// The usage repository could not be made ready: the folder cannot be created or entered.
class UsageRepositoryError : public DescribedError {
public:
    using DescribedError::DescribedError;
};

// $XDG_DATA_HOME/tesselmenu/usage, or ~/.local/share/tesselmenu/usage when XDG_DATA_HOME is
// unset, empty or relative.
QString defaultUsageRepository();

// Where the utility should work when the tool's repository falls back to the current
// directory: nothing when the dictionary names a "TesselRepoDir" (a text) or when
// `currentDirectory` already holds docs/usage.json, else the default usage repository.
// Started from a menu or at login the current directory is the home folder, which must never
// receive the tool's files.
std::optional<QString> usageRepositoryToEnter(const Bundle &bundle,
                                              const QString &currentDirectory);

// `bundle` with a relative "TesselCLIPath" (one with a slash; a bare name is looked up on
// PATH) made absolute from `startFolder`: it means the folder the utility was started in, not
// the usage repository entered afterwards.
Bundle withToolPathFrom(Bundle bundle, const QString &startFolder);

// Creates `folder` when it is missing and makes it a git repository when it is not one yet,
// so that publishing works there later. A missing git only leaves the folder without one.
// Throws UsageRepositoryError when the folder cannot be created.
void prepareUsageRepository(const QString &folder);
