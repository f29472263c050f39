#include "diff/command_runner.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace zfe::diff {

int RunAndWait(const std::string& commandLine) {
    return platform::runAndWait(commandLine);
}

bool FileExists(const std::string& path) noexcept {
    return platform::fileExists(path);
}

}  // namespace zfe::diff
