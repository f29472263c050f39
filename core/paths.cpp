#include "core/paths.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/file_names.h"
#include "platform/file_system.h"

namespace zfe::core {

static std::string::size_type lastSeparator(const std::string& path) {
    auto it = std::find_if(path.rbegin(), path.rend(), platform::isPathSeparator);
    return it == path.rend() ? std::string::npos
                             : static_cast<std::string::size_type>(path.rend() - it - 1);
}

std::string fileNameOf(const std::string& path) {
    const auto separator = lastSeparator(path);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string folderOf(const std::string& path) {
    const auto separator = lastSeparator(path);
    if (separator == std::string::npos) {
        return {};
    }
    // Keep the separator of a root: "/" on POSIX, "C:\" on Windows.
    const bool isRoot = separator == 0 || (separator == 2 && path[1] == ':');
    return path.substr(0, isRoot ? separator + 1 : separator);
}

std::filesystem::path toFsPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::optional<std::string> readWholeFile(const std::string& path) {
    std::ifstream file(toFsPath(path), std::ios::binary);
    if (!file) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad()) return std::nullopt;
    return text;
}

void enterFolderOf(const std::string& chosenFile) {
    const std::string folder = folderOf(chosenFile);
    if (!folder.empty()) {
        platform::changeCurrentDirectory(folder);
    }
}

}  // namespace zfe::core
