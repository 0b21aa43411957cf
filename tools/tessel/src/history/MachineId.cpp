#include "history/MachineId.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <sys/random.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t idLength = 32;

std::string dataFolder(const Environment &environment) {
    if (const auto data = environment.get("XDG_DATA_HOME"); data && fs::path(*data).is_absolute())
        return *data;
    return environment.home() + "/.local/share";
}

std::string newId() {
    unsigned char bytes[idLength / 2];
    size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = ::getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw ToolError("cannot make a machine id: " + systemReason(errno));
        filled += static_cast<size_t>(got);
    }
    std::string id;
    for (const unsigned char byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        id += pair;
    }
    return id;
}

std::string storedId(const std::string &path) {
    std::string text = readWholeFile(path);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (text.size() != idLength || text.find_first_not_of("0123456789abcdef") != std::string::npos)
        throw FileError(path, "not a machine id; restore it from a backup, or remove it to make "
                              "this machine count as a new one");
    return text;
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "unknown host";
    return name;
}

} // namespace

MachineIdentity machineIdentity(const Environment &environment) {
    const fs::path folder = fs::path(dataFolder(environment)) / "tessel";
    const std::string path = (folder / "machine-id").string();
    if (!fs::exists(path)) {
        std::error_code error;
        fs::create_directories(folder, error);
        if (error)
            throw FileError(folder.string(), error.message());
        // Written aside, then linked into place: of two first runs at once, one id wins and
        // both read it back.
        const std::string aside = path + ".new-" + std::to_string(::getpid());
        writeFileAtomically(aside, newId() + "\n");
        const int linked = ::link(aside.c_str(), path.c_str());
        const int linkError = errno;
        ::unlink(aside.c_str());
        if (linked != 0 && linkError != EEXIST)
            throw FileError(path, systemReason(linkError));
    }
    return {storedId(path), hostName()};
}
