#include "diff/command_runner.h"

#include "platform/file_system.h"
#include "platform/process.h"

namespace zfe::diff {

void RunAndWait(const platform::ProgramStart& start) {
    // The tool's exit code says nothing the request relies on: only the files
    // it leaves behind count.
    static_cast<void>(platform::runAndWait(start));
}

bool FileExists(const std::string& path) noexcept {
    return platform::fileExists(path);
}

}  // namespace zfe::diff
