#pragma once

#include <string>

#include "platform/process.h"

namespace zfe::diff {

// Starts the program and returns its exit code when it has ended. Throws
// platform::OsError when the program cannot be started.
int RunAndWait(const platform::ProgramStart& start);

// True when the path names an existing file that is not a folder; every error
// becomes false.
bool FileExists(const std::string& path) noexcept;

}  // namespace zfe::diff
