#pragma once

#include <string>

namespace zfe::diff {

// Starts the command line in the current directory and returns the program's
// exit code when it has ended. Throws platform::OsError when the program
// cannot be started.
int RunAndWait(const std::string& commandLine);

// True when the path names an existing file that is not a folder; every error
// becomes false.
bool FileExists(const std::string& path) noexcept;

}  // namespace zfe::diff
