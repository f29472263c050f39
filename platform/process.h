#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zfe::platform {

// A program to start.
struct ProgramStart {
    // A path, a relative one taken from the caller's current directory; or a
    // bare name: the file of that name in the caller's current directory when
    // there is one, else the program the platform finds by that name (POSIX:
    // along PATH; Windows: where CreateProcessW looks for it).
    std::string program;
    // Each reaches the program as it is: POSIX hands them over as its argv,
    // never through a line taken apart again; Windows writes them into one
    // command line (commandLineOf) that the program's C runtime takes apart.
    std::vector<std::string> arguments;
    // Where the program starts; empty for the caller's current directory. The
    // caller's own current directory is never changed.
    std::string workingFolder;
};

// The start as one command line: the program in double quotes (no Windows
// file name holds one), then each argument, one blank apart, written so that
// the program's C runtime gives it back unchanged: as it is when it has no
// blank, tab or double quote and is not empty; otherwise in double quotes,
// each double quote escaped by a backslash and the backslashes before it (and
// before the closing quote) doubled. Windows hands the program this line;
// messages show it.
std::string commandLineOf(const ProgramStart& start);

// Starts the program, waits until it has ended and returns its exit code
// (POSIX: 128 + the signal for a program ended by a signal).
// POSIX hands down the process's standard input, output and error and nothing
// else; Windows starts the program as the shell would, with a normal window (a
// console program gets its console) and no handle inherited.
// Throws OsError when the program cannot be started: its subject is the
// working folder when that is no folder, else the command line.
int runAndWait(const ProgramStart& start);

std::int64_t currentProcessId() noexcept;

// Whether a process of this id exists now. One that may not be looked at
// counts, as does (POSIX) one that has ended and waits for its parent to reap
// it: callers use this to leave a process's files alone. Never throws.
bool processIsRunning(std::int64_t processId) noexcept;

}  // namespace zfe::platform
