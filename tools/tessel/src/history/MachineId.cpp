#include "history/MachineId.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/random.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t idLength = 32;
constexpr std::size_t idFileLimit = 64 << 10;
// Enough to settle any file left behind by a copy; older ids are of no more use.
constexpr size_t previousKept = 16;

std::string dataFolder(const Environment &environment) {
    if (const auto data = environment.get("XDG_DATA_HOME"); data && fs::path(*data).is_absolute())
        return *data;
    return environment.home() + "/.local/share";
}

std::string hex(const unsigned char *bytes, size_t size) {
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", bytes[i]);
        text += pair;
    }
    return text;
}

std::string randomId() {
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
    return hex(bytes, sizeof bytes);
}

bool isId(const std::string &text) {
    return text.size() == idLength &&
           text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string hostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !*name)
        return "unknown host";
    return name;
}

// A digest of what sets this host apart: its systemd machine id and its name. Only the digest
// is kept, since the machine id is not to be shown around. TESSEL_HOST stands in for both, so
// tests can play several hosts.
std::string hostFingerprint(const Environment &environment) {
    std::string facts;
    if (const auto host = environment.get("TESSEL_HOST")) {
        facts = *host;
    } else {
        for (const char *path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
            try {
                facts = readWholeFile(path, 4096);
                break;
            } catch (const FileError &) {
            }
        }
        facts.append("\n").append(hostName());
    }
    // FNV-1a, twice over with different offsets, for 128 bits.
    std::uint64_t first = 0xcbf29ce484222325ull, second = 0x84222325cbf29ce4ull;
    for (const char c : "tessel host\n" + facts) {
        first = (first ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        second = (second ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
        second ^= second >> 29;
    }
    unsigned char bytes[16];
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<unsigned char>(first >> (8 * i));
        bytes[8 + i] = static_cast<unsigned char>(second >> (8 * i));
    }
    return hex(bytes, sizeof bytes);
}

struct IdFile {
    std::string id;
    std::string fingerprint; // empty in files from before it was recorded
    std::vector<std::string> previous;
};

std::string renderIdFile(const IdFile &file) {
    std::string text = file.id + "\nhost: " + file.fingerprint + "\n";
    if (!file.previous.empty()) {
        text += "previous:";
        for (const std::string &id : file.previous)
            text += " " + id;
        text += "\n";
    }
    return text;
}

IdFile readIdFile(const std::string &path) {
    const auto damaged = [&path] {
        return FileError(path, "not a machine id; restore it from a backup, or remove it to make "
                               "this machine count as a new one");
    };
    std::istringstream lines(readWholeFile(path, idFileLimit));
    IdFile file;
    std::string line;
    std::getline(lines, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!isId(line))
        throw damaged();
    file.id = line;
    while (std::getline(lines, line)) {
        if (line.starts_with("host: ")) {
            file.fingerprint = line.substr(6);
        } else if (line.starts_with("previous:")) {
            std::istringstream ids(line.substr(9));
            for (std::string id; ids >> id;) {
                if (!isId(id))
                    throw damaged();
                file.previous.push_back(id);
            }
        }
    }
    return file;
}

// What a first run that was stopped midway left in the folder: its id written aside, or a
// temporary file. Old enough that no run can still be at work on it.
void removeLeftovers(const fs::path &folder) {
    const auto old = fs::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code timeError;
        if ((name.starts_with("machine-id.new-") || name.starts_with(".machine-id")) &&
            entry.last_write_time(timeError) < old && !timeError)
            fs::remove(entry.path(), timeError);
    }
}

MachineIdentity identityOf(const IdFile &file, const std::string &fingerprint) {
    return {file.id, hostName(), file.previous, file.fingerprint == fingerprint};
}

} // namespace

std::string machineIdPath(const Environment &environment) {
    return (fs::path(dataFolder(environment)) / "tessel" / "machine-id").string();
}

std::optional<MachineIdentity> storedMachineIdentity(const Environment &environment) {
    const std::string path = machineIdPath(environment);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error)))
        return std::nullopt;
    IdFile file = readIdFile(path);
    const std::string fingerprint = hostFingerprint(environment);
    // A file from before the host was recorded belongs to the host that first reads it.
    if (file.fingerprint.empty())
        file.fingerprint = fingerprint;
    return identityOf(file, fingerprint);
}

MachineIdentity machineIdentity(const Environment &environment) {
    const std::string path = machineIdPath(environment);
    const fs::path folder = fs::path(path).parent_path();
    const std::string fingerprint = hostFingerprint(environment);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
        fs::create_directories(folder, error);
        if (error)
            throw FileError(folder.string(), error.message());
        removeLeftovers(folder);
        // Written aside, then linked into place: of two first runs at once, one id wins and
        // both read it back.
        const std::string aside = path + ".new-" + std::to_string(::getpid());
        writeFileAtomically(aside, renderIdFile({randomId(), fingerprint, {}}));
        const int linked = ::link(aside.c_str(), path.c_str());
        const int linkError = errno;
        ::unlink(aside.c_str());
        if (linked != 0 && linkError != EEXIST)
            throw FileError(path, systemReason(linkError));
    }
    IdFile file = readIdFile(path);
    if (file.fingerprint.empty()) {
        file.fingerprint = fingerprint;
        writeFileAtomically(path, renderIdFile(file));
    }
    return identityOf(file, fingerprint);
}

std::string newMachineId() {
    return randomId();
}

MachineIdentity takeNewMachineId(const Environment &environment, const MachineIdentity &current,
                                 const std::string &id) {
    if (!isId(id))
        throw ToolError("not a machine id: " + id);
    IdFile file{id, hostFingerprint(environment), current.previous};
    file.previous.push_back(current.id);
    if (file.previous.size() > previousKept)
        file.previous.erase(file.previous.begin(),
                            file.previous.end() - static_cast<std::ptrdiff_t>(previousKept));
    const std::string path = machineIdPath(environment);
    removeLeftovers(fs::path(path).parent_path());
    writeFileAtomically(path, renderIdFile(file));
    return identityOf(file, file.fingerprint);
}
