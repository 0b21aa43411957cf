#include "history/RepositoryFiles.h"

#include <filesystem>

namespace fs = std::filesystem;

RepositoryFiles::RepositoryFiles(const std::string &repositoryFolder)
    : docs((fs::path(repositoryFolder) / "docs").string()), usage(docs + "/usage.json"),
      state(docs + "/.tessel-state"), lock(docs + "/.tessel-state.lock"),
      breakdown(docs + "/.tessel-state.breakdown") {}
