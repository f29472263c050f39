#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/spawn.h"

namespace zfe::platform {

std::int64_t currentProcessId() noexcept {
    return ::getpid();
}

bool processIsRunning(std::int64_t processId) noexcept {
    if (processId <= 0 || processId != static_cast<pid_t>(processId)) return false;
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

int runAndWait(const ProgramStart& start) {
    return posix::waitForExit(posix::spawn(start, {}), commandLineOf(start));
}

}  // namespace zfe::platform
