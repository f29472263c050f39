#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/user_interface.h"

namespace zfe::core {

// The dat library and the diff tool's folder belong to the installation and are
// never created by the program. When either is missing at start-up the user is
// told once, naming each missing folder by its full path, and the window opens
// all the same.
std::optional<Message> missingFoldersWarning(
    const std::string& applicationPath,
    const std::function<bool(const std::string&)>& folderExists);

}  // namespace zfe::core
