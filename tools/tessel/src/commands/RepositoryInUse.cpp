#include "commands/RepositoryInUse.h"

#include "base/AtomicFile.h"
#include "base/Errors.h"

#include <simdjson.h>

#include <filesystem>
#include <optional>

namespace fs = std::filesystem;

namespace {

// The text of an Info.json: never waited on, and refused unless it is a regular file of at most
// 1 MiB. Nullopt when there is none; the reason it was refused in `refusal`.
std::optional<std::string> infoText(const std::string &infoFile, std::string *refusal = nullptr) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(infoFile, error)))
        return std::nullopt;
    try {
        return readWholeFile(infoFile, settingsFileLimit);
    } catch (const FileError &failure) {
        if (refusal)
            *refusal = failure.what();
        return std::nullopt;
    }
}

bool isJsonObject(const std::string &text, simdjson::dom::parser &parser,
                  simdjson::dom::element &document) {
    return parser.parse(text).get(document) == simdjson::SUCCESS && document.is_object();
}

std::string userInfoFile(const Environment &environment) {
    std::string config = environment.get("XDG_CONFIG_HOME").value_or("");
    if (config.empty() || config.front() != '/')
        config = environment.home() + "/.config";
    return config + "/TesselMenu/Info.json";
}

// The "TesselRepoDir" text of an Info.json; nothing when the file, the key or a text value
// is missing, or the file is not a JSON object (the utility ignores such a file too).
std::optional<std::string> configuredRepository(const std::string &infoFile) {
    const auto text = infoText(infoFile);
    if (!text)
        return std::nullopt;
    simdjson::dom::parser parser;
    simdjson::dom::element document;
    if (!isJsonObject(*text, parser, document))
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
    const std::string userInfo = userInfoFile(environment);
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

std::vector<std::string> refusedSettings(const Environment &environment,
                                         const std::string &toolFolder) {
    std::vector<std::string> refused;
    for (const std::string &file : {userInfoFile(environment), toolFolder + "/Info.json"}) {
        std::string refusal;
        const auto text = infoText(file, &refusal);
        simdjson::dom::parser parser;
        simdjson::dom::element document;
        if (!refusal.empty())
            refused.push_back(refusal);
        else if (text && !isJsonObject(*text, parser, document))
            refused.push_back(file + ": not a JSON object; refused");
    }
    return refused;
}

std::string executableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}
