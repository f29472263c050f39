#pragma once

#include <optional>
#include <string>

#include "core/user_interface.h"
#include "platform/file_system.h"

namespace zfe::core {

// Where a run keeps the dat library and the tool's work folder (the data path
// of folders.h).
struct DataFolderChoice {
    std::string dataPath;  // without a final separator, like the program path
    // What went wrong on the way, to be told once at start; the program runs
    // on all the same.
    std::optional<Message> problem;
};

// The per-user data path: appFolder(userDataFolder) + "ZandorelFE".
std::string perUserDataPath(const std::string& userDataFolder,
                            char separator = platform::kPathSeparator);

// Whether this user can keep the data in the program's own folder: files can
// be made in its datfiles/ and in its zdrl/, or, for either that is missing,
// in the program's folder itself, where the user could make it.
bool programFolderTakesData(const std::string& programPath, platform::FileSystemService& files);

// Chosen at start. When the program's folder takes the data (a build, a
// per-user or portable install) the data path is the program path. Otherwise
// (an install for every user) it is the per-user data path: its datfiles/ and
// zdrl/ are made when missing, and a new datfiles/ gets a copy of the
// installation's sample dats. Without a known user folder the program's folder
// stays in use, with a warning.
DataFolderChoice chooseDataPath(const std::string& programPath, const std::string& userDataFolder,
                                platform::FileSystemService& files);

}  // namespace zfe::core
