#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

// A line of a program's output as a message box shows it: at most `width`
// bytes, cut at a character boundary of its UTF-8 text and marked with "...".
std::string shownLine(std::string_view line, std::size_t width);

Message deleteFailedMessage(const std::string& path, const platform::OsError& error);
Message folderChangeFailedMessage(const std::string& folder, const platform::OsError& error);

}  // namespace zfe::core
