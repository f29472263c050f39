#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::platform {

struct CommandLineParts {
    std::string program;
    std::vector<std::string> arguments;
};

// Takes a whole command line apart by the Windows rules, on every platform:
// - a line that starts with a double quote names the program up to the next
//   double quote;
// - otherwise the blank-separated prefixes of the line are tried, shortest
//   first, and the first that names an existing file is the program; when none
//   does, the first blank-separated word is the program (and starting it fails
//   as for any missing program);
// - the rest is split at runs of blanks, a double-quoted run being one argument
//   without its quotes; backslashes before a double quote follow the rules
//   Windows programs read their arguments by (see quoteArgument).
// An empty (or all-blank) line gives an empty program.
CommandLineParts splitCommandLine(
    std::string_view line,
    const std::function<bool(const std::string&)>& namesExistingFile);

// One argument as a command line must hold it so that it arrives unchanged,
// taken apart by splitCommandLine here or by a Windows program's own reading
// of its command line: as it is when it has no blank, tab or double quote and
// is not empty; otherwise in double quotes, with each double quote escaped by
// a backslash and the backslashes before it (and before the closing quote)
// doubled.
std::string quoteArgument(std::string_view argument);

// Starts the command line in the process's current directory, waits until the
// program has ended and returns its exit code (POSIX: 128 + the signal for a
// program ended by a signal). A program named without a folder is looked for in
// the current directory, then along PATH.
// POSIX hands down the process's standard input, output and error and nothing
// else; Windows starts the program as the shell would, with a normal window
// (a console program gets its console) and no handle inherited.
// Throws OsError (subject: the command line) when the program cannot be started.
int runAndWait(const std::string& commandLine);

std::int64_t currentProcessId() noexcept;

// Whether a process of this id exists now. One that may not be looked at
// counts, as does (POSIX) one that has ended and waits for its parent to reap
// it: callers use this to leave a process's files alone. Never throws.
bool processIsRunning(std::int64_t processId) noexcept;

}  // namespace zfe::platform
