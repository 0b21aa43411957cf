#pragma once

#include <string>

// The files the tool keeps in <repository>/docs.
struct RepositoryFiles {
    std::string docs;
    std::string usage; // the history, docs/usage.json
    std::string state; // what was read so far, docs/.tessel-state
    std::string lock;
    // Where this machine's tokens went (Breakdown.h), docs/.tessel-state.breakdown: kept out of
    // git with the state.
    std::string breakdown;

    explicit RepositoryFiles(const std::string &repositoryFolder);
};
