#include "platform/piped_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix/argument_vector.h"
#include "platform/process.h"

extern char** environ;

namespace zfe::platform {

namespace {

// Reaping without blocking. A child that has already ended is reaped on the
// spot. One that still runs after closing its output gets a detached thread
// that waits for that one pid only (never for any child, so other code that
// waits for its own children is not disturbed) and reaps it when it ends.
// A thread rather than SIGCHLD because a signal handler is process-wide state
// that the toolkit and other code may own; rather than a double fork because
// the program must keep the child's pid to end it when a capture is stopped.
// Should no thread be available, the pid waits in a list that every later
// release sweeps.
std::mutex unreapedMutex;
std::vector<pid_t> unreapedChildren;

bool reapIfEnded(pid_t pid) {
    for (;;) {
        const pid_t result = ::waitpid(pid, nullptr, WNOHANG);
        if (result == -1 && errno == EINTR) continue;
        // -1 with ECHILD: someone else has reaped it already.
        return result != 0;
    }
}

void waitForChild(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
    }
}

void sweepUnreaped() {
    std::lock_guard lock(unreapedMutex);
    std::erase_if(unreapedChildren, reapIfEnded);
}

void reapWithoutBlocking(pid_t pid) {
    sweepUnreaped();
    if (reapIfEnded(pid)) return;
    try {
        std::thread([pid] { waitForChild(pid); }).detach();
    } catch (const std::system_error&) {
        std::lock_guard lock(unreapedMutex);
        unreapedChildren.push_back(pid);
    }
}

void closeDescriptor(int& fd) noexcept {
    if (fd >= 0) {
        ::close(fd);  // no retry on EINTR: on Linux the descriptor is gone either way
        fd = -1;
    }
}

// The program to exec: a path as it is; a bare name found in the current
// directory as "./name" (the place Windows looks first as well); any other bare
// name through PATH.
struct ExecTarget {
    std::string path;
    bool searchPath;
};

ExecTarget execTargetFor(const std::string& program) {
    if (program.find('/') != std::string::npos) return {program, false};
    if (fileExists(program)) return {"./" + program, false};
    return {program, true};
}

constexpr int kPipeCapacity = 1024 * 1024;

}  // namespace

struct PipedChild::Native {
    int readEnd = -1;
    pid_t pid = 0;  // 0 once reaped or handed to the reaper
};

PipedChild::PipedChild(const std::string& commandLine) : native_(std::make_unique<Native>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        startFailure_ = StartFailure::Pipe;
        errorNumber_ = errno;
        return;
    }
    int readEnd = ends[0];
    int writeEnd = ends[1];
    // Descriptors 0 to 2 are rewired in the child; a write end among them
    // (when the program runs with a standard handle closed) would be lost.
    if (writeEnd <= 2) {
        const int moved = ::fcntl(writeEnd, F_DUPFD_CLOEXEC, 3);
        closeDescriptor(writeEnd);
        writeEnd = moved;
        if (writeEnd < 0) {
            startFailure_ = StartFailure::Pipe;
            errorNumber_ = errno;
            closeDescriptor(readEnd);
            return;
        }
    }

    const CommandLineParts parts =
        splitCommandLine(commandLine, [](const std::string& path) { return fileExists(path); });
    int spawnError = ENOENT;
    pid_t pid = 0;
    if (!parts.program.empty()) {
        const ExecTarget target = execTargetFor(parts.program);
        const posix::ArgumentVector argv(parts);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, writeEnd, 1);
        posix_spawn_file_actions_adddup2(&actions, writeEnd, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        // Descriptors that some library opened without close-on-exec stay out
        // of the child as well.
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
        // The emulator starts with default signal handling and nothing
        // blocked, whatever the program did to its own.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t allSignals;
        sigset_t noSignals;
        sigfillset(&allSignals);
        sigemptyset(&noSignals);
        posix_spawnattr_setsigdefault(&attributes, &allSignals);
        posix_spawnattr_setsigmask(&attributes, &noSignals);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

        spawnError = target.searchPath ? ::posix_spawnp(&pid, target.path.c_str(), &actions,
                                                        &attributes, argv.get(), environ)
                                       : ::posix_spawn(&pid, target.path.c_str(), &actions,
                                                       &attributes, argv.get(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    // The child holds its own copies; ours must go before the first read, or
    // the pipe would never end.
    closeDescriptor(writeEnd);
    if (spawnError != 0) {
        startFailure_ = StartFailure::Process;
        errorNumber_ = spawnError;
        closeDescriptor(readEnd);
        return;
    }
    // Reads wait in poll(), so that a silent pipe can be told from a busy one
    // without an extra call per read.
    ::fcntl(readEnd, F_SETFL, ::fcntl(readEnd, F_GETFL) | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
    // A deeper pipe lets a fast child run ahead of the 256-byte reads instead
    // of waiting for every 64 KiB; refused (by the per-user limit) it stays as is.
    ::fcntl(readEnd, F_SETPIPE_SZ, kPipeCapacity);
#endif
    native_->readEnd = readEnd;
    native_->pid = pid;
    processId_ = pid;
}

PipedChild::~PipedChild() {
    if (!started()) return;
    if (ended_) {
        close();
    } else {
        terminate();
    }
}

PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size) {
    return read(buffer, size, std::chrono::milliseconds(-1));
}

PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size,
                                        std::chrono::milliseconds silence) {
    if (ended_ || native_->readEnd < 0) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    const int timeout = silence.count() < 0 ? -1 : static_cast<int>(silence.count());
    for (;;) {
        const ssize_t count = ::read(native_->readEnd, buffer, size);
        if (count > 0) return {ReadResult::Kind::Data, static_cast<std::size_t>(count)};
        if (count == -1 && errno == EINTR) continue;
        if (count == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd waitFor{native_->readEnd, POLLIN, 0};
            const int ready = ::poll(&waitFor, 1, timeout);
            if (ready == 0) return {ReadResult::Kind::Silent};
            if (ready > 0 || errno == EINTR) continue;  // data, end or hang-up: read tells
        }
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
}

void PipedChild::terminate() noexcept {
    if (native_->pid > 0) {
        ::kill(native_->pid, SIGKILL);
        waitForChild(native_->pid);
        native_->pid = 0;
    }
    closeDescriptor(native_->readEnd);
    ended_ = true;
}

void PipedChild::close() noexcept {
    closeDescriptor(native_->readEnd);
    if (native_->pid > 0) {
        reapWithoutBlocking(native_->pid);
        native_->pid = 0;
    }
}

}  // namespace zfe::platform
