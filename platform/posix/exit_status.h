#pragma once

#include <sys/wait.h>

namespace zfe::platform::posix {

// A reaped child's exit code as a shell reports it: a program ended by a
// signal "exits" with 128 + the signal's number.
inline int exitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace zfe::platform::posix
