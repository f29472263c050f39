#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/user_interface.h"

namespace zfe::core {

// The folders in use must exist at start-up: the dat library and the tool's
// work folder under the data path, the tool's folder under the program path
// (folders.h). When any is missing the user is told once, naming each missing
// folder by its full path, and the window opens all the same. Beside the
// program the folders belong to the installation and are never created; the
// per-user ones were made at start (data_folder.h), so one missing there
// could not be made.
std::optional<Message> missingFoldersWarning(
    const std::string& programPath, const std::string& dataPath,
    const std::function<bool(const std::string&)>& folderExists);

}  // namespace zfe::core
