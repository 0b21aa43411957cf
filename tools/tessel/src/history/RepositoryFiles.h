#pragma once

#include <string>

// The files the tool keeps in <repository>/docs.
struct RepositoryFiles {
    std::string docs;
    std::string usage; // the history, docs/usage.json
    std::string state; // what was read so far, docs/.tessel-state
    std::string lock;

    explicit RepositoryFiles(const std::string &repositoryFolder);
};
