#pragma once

// The stand-in emulator (tests/programs/stand_in_emulator.cpp) laid out where
// a test needs it, under the name that picks its behaviour.

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_names.h"
#include "programs/stand_in_dats.h"

namespace zfe::testsupport {

// Copies the stand-in to `folder`/`name` (with ".exe" on Windows; folders made
// as needed) and returns that path.
inline std::string installEmulator(const std::string& folder, const std::string& name) {
    std::filesystem::create_directories(folder);
    const std::filesystem::path path =
        std::filesystem::path(folder) / (name + platform::kExecutableSuffix);
    std::filesystem::copy_file(ZFE_STAND_IN_EMULATOR, path,
                               std::filesystem::copy_options::overwrite_existing);
    return path.string();
}

// The dat that the stand-in "mame" at `path` prints for -listxml.
inline std::string listXmlOf(const std::string& path) {
    return standInListXml(standInDescription(path, 1));
}

// The child's and the grandchild's process ids that a "forking-mame" or a
// "cut-mame" at `path` has written, once it has written them.
inline std::optional<std::pair<long long, long long>> forkedProcessIds(const std::string& path) {
    std::ifstream file(path + ".pids");
    long long child = 0;
    long long grandchild = 0;
    if (!(file >> child >> grandchild)) return std::nullopt;
    return std::pair{child, grandchild};
}

}  // namespace zfe::testsupport
