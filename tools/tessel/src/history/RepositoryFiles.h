#pragma once

#include <string>

// The files the tool keeps in <repository>/docs.
struct RepositoryFiles {
    std::string root; // the repository folder as given
    std::string docs;
    std::string machines; // every machine's own history, docs/machines
    std::string usage;    // the history, docs/usage.json
    std::string state;    // what was read so far, docs/.tessel-state
    std::string lock;
    // Where this machine's tokens went (Breakdown.h), docs/.tessel-state.breakdown: kept out of
    // git with the state.
    std::string breakdown;

    explicit RepositoryFiles(const std::string &repositoryFolder);

    // Throws FileError when docs/, docs/machines/ or one of the files above is a symbolic link:
    // written through, it would put the tool's files outside the repository.
    void refuseLinks() const;
};
