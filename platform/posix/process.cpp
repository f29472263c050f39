#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/posix/argument_vector.h"
#include "platform/posix/exit_status.h"

extern char** environ;

namespace zfe::platform {

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Where a program is looked for follows Windows: a name that is a file here
// (relative to the current directory or a path) is that file; a bare name
// that is not is looked up along PATH. Returns the path to execute, or an
// empty text with errorNumber set.
std::string locateProgram(const std::string& program, int& errorNumber) {
    errorNumber = ENOENT;
    if (program.empty()) return {};
    if (fileExists(program) || program.find('/') != std::string::npos) return program;
    const char* searchPath = std::getenv("PATH");
    if (searchPath == nullptr) return {};
    const std::string folders = searchPath;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        // An empty entry means the current directory.
        const std::size_t length = (end == std::string::npos ? folders.size() : end) - start;
        std::string candidate = length == 0 ? std::string(".") : folders.substr(start, length);
        candidate.append(1, '/').append(program);
        if (isExecutableFile(candidate)) return candidate;
        if (fileExists(candidate)) errorNumber = EACCES;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

void closeRange(int first, int last, int highestPossibleFd) {
    if (first > last) return;
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, static_cast<unsigned>(first), static_cast<unsigned>(last), 0) ==
        0) {
        return;
    }
#endif
    for (int fd = first; fd <= last && fd < highestPossibleFd; ++fd) ::close(fd);
}

// Runs in the forked child: only async-signal-safe calls from here on. Every
// descriptor other than the standard three and the error pipe is closed, so
// that nothing the program holds open (with or without close-on-exec) reaches
// the started program. An exec failure goes back through the pipe, which
// closes itself on a successful exec.
[[noreturn]] void execInChild(const char* path, char* const* argv, int errorPipe,
                              int highestPossibleFd) {
    sigset_t nothingBlocked;
    sigemptyset(&nothingBlocked);
    sigprocmask(SIG_SETMASK, &nothingBlocked, nullptr);
    closeRange(3, errorPipe - 1, highestPossibleFd);
    closeRange(errorPipe + 1, 0x7fffffff, highestPossibleFd);
    ::execve(path, argv, environ);
    const int execError = errno;
    while (::write(errorPipe, &execError, sizeof execError) < 0 && errno == EINTR) {
    }
    ::_exit(127);
}

int waitForExit(pid_t child, const std::string& commandLine) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw OsError(errno, commandLine);
    }
    return posix::exitCodeOf(status);
}

}  // namespace

std::int64_t currentProcessId() noexcept {
    return ::getpid();
}

bool processIsRunning(std::int64_t processId) noexcept {
    if (processId <= 0 || processId != static_cast<pid_t>(processId)) return false;
    return ::kill(static_cast<pid_t>(processId), 0) == 0 || errno == EPERM;
}

int runAndWait(const std::string& commandLine) {
    const CommandLineParts parts =
        splitCommandLine(commandLine, [](const std::string& path) { return fileExists(path); });
    int errorNumber = 0;
    const std::string path = locateProgram(parts.program, errorNumber);
    if (path.empty()) throw OsError(errorNumber, commandLine);

    // Everything the child needs is made before the fork: it must not allocate.
    const posix::ArgumentVector argv(parts);
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int highestPossibleFd =
        openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0) throw OsError(errno, commandLine);
    const pid_t child = ::fork();
    if (child < 0) {
        const int forkError = errno;
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        throw OsError(forkError, commandLine);
    }
    if (child == 0) execInChild(path.c_str(), argv.get(), errorPipe[1], highestPossibleFd);

    ::close(errorPipe[1]);
    int execError = 0;
    ssize_t received;
    do {
        received = ::read(errorPipe[0], &execError, sizeof execError);
    } while (received < 0 && errno == EINTR);
    ::close(errorPipe[0]);

    const int exitCode = waitForExit(child, commandLine);
    if (received == static_cast<ssize_t>(sizeof execError)) throw OsError(execError, commandLine);
    return exitCode;
}

}  // namespace zfe::platform
