#pragma once

#include <sys/types.h>

#include <string>

#include "platform/process.h"

namespace zfe::platform::posix {

// In SpawnSetup::standard: the program gets /dev/null there.
inline constexpr int kNullDevice = -1;

// How a program starts besides what ProgramStart says.
struct SpawnSetup {
    // The caller's descriptors that become the program's standard input,
    // output and error: the caller's own three unless told otherwise. One
    // given in another place must be above 2. No other descriptor of the
    // caller's reaches the program.
    int standard[3] = {0, 1, 2};
    // The program leads a process group of its own, so that one signal
    // reaches whatever it starts.
    bool ownProcessGroup = false;
};

// Starts the program with default signal handling and no signal blocked, and
// returns its process id. Throws OsError as runAndWait does.
pid_t spawn(const ProgramStart& start, const SpawnSetup& setup);

// Waits for the child to end and returns its exit code (128 + the signal for
// one ended by a signal). Throws OsError (subject: `subject`) when it cannot.
int waitForExit(pid_t child, const std::string& subject);

}  // namespace zfe::platform::posix
