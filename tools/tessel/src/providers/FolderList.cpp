#include "providers/FolderList.h"

#include <algorithm>

#include <sys/stat.h>

void addFolder(std::vector<std::string> &folders, std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end())
        folders.push_back(std::move(folder));
}

std::vector<std::string> splitFolderList(std::string_view list, char separator) {
    std::vector<std::string> folders;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(separator, start);
        if (end == std::string_view::npos)
            end = list.size();
        std::string folder(list.substr(start, end - start));
        folder.erase(0, folder.find_first_not_of(" \t"));
        folder.erase(folder.find_last_not_of(" \t") + 1);
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (!folder.empty())
            folders.push_back(std::move(folder));
        start = end + 1;
    }
    return folders;
}

bool isFolder(const std::string &path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
