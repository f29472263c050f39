#include "diff/command_runner.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace zfe::diff {

int RunAndWait(const platform::ProgramStart& start) {
    return platform::runAndWait(start);
}

bool FileExists(const std::string& path) noexcept {
    return platform::fileExists(path);
}

}  // namespace zfe::diff
