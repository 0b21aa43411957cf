#include "commands/RepositoryInUse.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <simdjson.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

// The "TesselRepoDir" text of an Info.json; nothing when the file, the key or a text value
// is missing, or the file is not a JSON object (the utility ignores such a file too).
std::optional<std::string> configuredRepository(const std::string &infoFile) {
    std::string text;
    try {
        text = readWholeFile(infoFile);
    } catch (const FileError &) {
        return std::nullopt;
    }
    simdjson::dom::parser parser;
    simdjson::dom::element document;
    if (parser.parse(text).get(document) != simdjson::SUCCESS || !document.is_object())
        return std::nullopt;
    std::string_view value;
    if (document["TesselRepoDir"].get(value) != simdjson::SUCCESS)
        return std::nullopt;
    return std::string(value);
}

} // namespace

RepositoryInUse findRepositoryInUse(const Environment &environment,
                                    const std::string &currentFolder,
                                    const std::string &toolFolder) {
    std::string config = environment.get("XDG_CONFIG_HOME").value_or("");
    if (config.empty() || config.front() != '/')
        config = environment.home() + "/.config";
    const std::string userInfo = config + "/TesselMenu/Info.json";
    if (const auto folder = configuredRepository(userInfo))
        return {*folder, "TesselRepoDir in " + userInfo};
    const std::string shippedInfo = toolFolder + "/Info.json";
    if (const auto folder = configuredRepository(shippedInfo))
        return {*folder, "TesselRepoDir in " + shippedInfo};
    std::error_code error;
    if (fs::exists(fs::path(currentFolder) / "docs" / "usage.json", error))
        return {currentFolder, "the current folder holds docs/usage.json"};
    std::string data = environment.get("XDG_DATA_HOME").value_or("");
    if (data.empty() || data.front() != '/')
        data = environment.home() + "/.local/share";
    return {data + "/tesselmenu/usage", "the default"};
}

std::string executableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}
