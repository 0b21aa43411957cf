#include "history/RepositoryFiles.h"

#include "base/AtomicFile.h"

#include <filesystem>

namespace fs = std::filesystem;

RepositoryFiles::RepositoryFiles(const std::string &repositoryFolder)
    : root(repositoryFolder), docs((fs::path(repositoryFolder) / "docs").string()),
      machines(docs + "/machines"), usage(docs + "/usage.json"), state(docs + "/.tessel-state"),
      lock(docs + "/.tessel-state.lock"), breakdown(docs + "/.tessel-state.breakdown") {}

void RepositoryFiles::refuseLinks() const {
    for (const std::string *path : {&machines, &usage, &state, &lock, &breakdown})
        ::refuseLinks(root, *path);
}
