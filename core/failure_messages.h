#pragma once

#include <string>

#include "core/user_interface.h"
#include "platform/os_error.h"

namespace zfe::core {

// How every failed file operation, folder change or program start is reported:
// a critical box in the application's title that says what failed, with paths
// in straight double quotes, and on the next line "Motivo: " and the
// platform's reason.

std::string inQuotes(const std::string& text);

Message failureMessage(const std::string& whatFailed, const std::string& reason);
Message failureMessage(const std::string& whatFailed, const platform::OsError& error);

Message deleteFailedMessage(const std::string& path, const platform::OsError& error);
Message folderChangeFailedMessage(const std::string& folder, const platform::OsError& error);

}  // namespace zfe::core
