#pragma once

#include <string>

#include "platform/process.h"

namespace zfe::diff {

// Starts the program and returns when it has ended. Its exit code is ignored.
// Throws platform::OsError when the program cannot be started.
void RunAndWait(const platform::ProgramStart& start);

// True when the path names an existing file that is not a folder; every error
// becomes false.
bool FileExists(const std::string& path) noexcept;

}  // namespace zfe::diff
