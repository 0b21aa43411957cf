#pragma once

#include <string>
#include <string_view>
#include <vector>

// Adds `folder` without its trailing slashes, unless it is empty or already listed.
void addFolder(std::vector<std::string> &folders, std::string folder);

// The folders of a list such as "a, b/,c" (separated by `separator`), trimmed of blanks and
// trailing slashes, empty entries left out.
std::vector<std::string> splitFolderList(std::string_view list, char separator);

// True when `path` is a folder (one stat): a tool whose top folder is missing is not installed,
// and its logs are then looked for no further.
bool isFolder(const std::string &path);
