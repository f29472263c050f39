#include "platform/piped_child.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/os_error.h"
#include "platform/posix/exit_status.h"
#include "platform/posix/spawn.h"

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

constexpr int kPipeCapacity = 1024 * 1024;

// A pipe whose ends are never among descriptors 0 to 2: those are rewired in
// the child, and an end among them (when the program runs with a standard
// handle closed) would be lost. Returns errno, 0 on success.
int makePipe(int (&ends)[2]) {
    if (::pipe2(ends, O_CLOEXEC) != 0) return errno;
    for (int& end : ends) {
        if (end > 2) continue;
        const int moved = ::fcntl(end, F_DUPFD_CLOEXEC, 3);
        const int error = errno;
        closeDescriptor(end);
        end = moved;
        if (end < 0) {
            closeDescriptor(ends[0]);
            closeDescriptor(ends[1]);
            return error;
        }
    }
    return 0;
}

int remainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// --- what the child leaves behind ---------------------------------------------------
//
// A process that the child starts in a session or group of its own escapes a
// signal to the child's group. On Linux the program is made the subreaper of
// its descendants while a PipedChild lives: once such a process's parent has
// gone it becomes a child of the program, which can then end it and reaps it.
// The program's own children from before are told apart by a list taken at the
// start; a process orphaned meanwhile elsewhere in the program's own tree (a
// child of an earlier emulator that still runs) is taken for one of the
// child's.

struct ProcessEntry {
    pid_t pid;
    pid_t parent;
    pid_t group;
    char state;  // 'Z' for a zombie, as /proc shows it
};

#ifdef __linux__
std::mutex adoptionMutex;
int adoptingChildren = 0;
int subreaperBefore = 0;  // as the program was started, restored after the last capture

void setAdopting(bool adopting) {
    std::lock_guard lock(adoptionMutex);
    adoptingChildren += adopting ? 1 : -1;
    if (adopting && adoptingChildren == 1) {
        ::prctl(PR_GET_CHILD_SUBREAPER, &subreaperBefore, 0UL, 0UL, 0UL);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1UL, 0UL, 0UL, 0UL);
    } else if (!adopting && adoptingChildren == 0) {
        ::prctl(PR_SET_CHILD_SUBREAPER, static_cast<unsigned long>(subreaperBefore), 0UL, 0UL, 0UL);
    }
}

// Every process that /proc shows now; those that go meanwhile are left out.
std::vector<ProcessEntry> processes() {
    std::vector<ProcessEntry> found;
    DIR* folder = ::opendir("/proc");
    if (folder == nullptr) return found;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const int fd = ::open(("/proc/" + std::string(entry->d_name) + "/stat").c_str(),
                              O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char text[1024];
        const ssize_t size = ::read(fd, text, sizeof text - 1);
        ::close(fd);
        if (size <= 0) continue;
        text[size] = '\0';
        // "pid (name) state parent group ...": the name may hold anything, ")" too.
        const char* afterName = std::strrchr(text, ')');
        ProcessEntry process{};
        long parent = 0;
        long group = 0;
        if (afterName == nullptr ||
            std::sscanf(afterName + 1, " %c %ld %ld", &process.state, &parent, &group) != 3) {
            continue;
        }
        process.pid = static_cast<pid_t>(std::atol(entry->d_name));
        process.parent = static_cast<pid_t>(parent);
        process.group = static_cast<pid_t>(group);
        found.push_back(process);
    }
    ::closedir(folder);
    return found;
}

std::vector<pid_t> ownChildren() {
    std::vector<pid_t> children;
    for (const ProcessEntry& process : processes()) {
        if (process.parent == ::getpid()) children.push_back(process.pid);
    }
    return children;
}
#endif

}  // namespace

struct PipedChild::Native {
    int outputEnd = -1;
    int errorEnd = -1;
    pid_t pid = 0;  // 0 once reaped or handed to the reaper
    pid_t group = 0;
    bool adopting = false;
    std::vector<pid_t> childrenBefore;

    // Before the child starts. Without the list of the program's own
    // children nothing is adopted.
    void startAdopting() noexcept {
#ifdef __linux__
        try {
            childrenBefore = ownChildren();
        } catch (const std::exception&) {
            return;
        }
        setAdopting(true);
        adopting = true;
#endif
    }

    // Once the capture is over: whatever was adopted is reaped, at once or
    // when it ends; later orphans go to the system as before.
    void stopAdopting() noexcept {
#ifdef __linux__
        if (!adopting) return;
        adopting = false;
        setAdopting(false);
        try {
            for (const ProcessEntry& process : processes()) {
                if (isAdopted(process)) reapWithoutBlocking(process.pid);
            }
        } catch (const std::exception&) {
            // Left as zombies until the program ends.
        }
#endif
    }

    // A child of the program that this one's child left behind.
    bool isAdopted(const ProcessEntry& process) const {
        return process.parent == ::getpid() && process.pid != group &&
               std::find(childrenBefore.begin(), childrenBefore.end(), process.pid) ==
                   childrenBefore.end();
    }

    // Ends every process that the child started and that still runs, in its
    // group or adopted, the child itself aside. Each one's end may hand its
    // own children over, so the search goes on until none is found.
    void endDescendants() noexcept {
        if (group <= 0) return;
        if (pid > 0) ::kill(-group, SIGKILL);  // the leader unreaped: the id is still the group's
#ifdef __linux__
        if (!adopting) return;
        try {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            for (;;) {
                bool running = false;
                for (const ProcessEntry& process : processes()) {
                    const bool adopted = isAdopted(process);
                    if (!adopted && (process.group != group || process.pid == group)) continue;
                    if (process.state == 'Z' || process.state == 'X') {
                        if (adopted) reapIfEnded(process.pid);
                        continue;
                    }
                    ::kill(process.pid, SIGKILL);
                    running = true;
                }
                if (!running || std::chrono::steady_clock::now() > deadline) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        } catch (const std::exception&) {
            // No memory for the list: the group alone has been signalled.
        }
#endif
    }

    // Reads what standard error holds now, without waiting.
    void collectErrors(ErrorTail& tail) {
        char buffer[16 * 1024];
        while (errorEnd >= 0) {
            const ssize_t count = ::read(errorEnd, buffer, sizeof buffer);
            if (count > 0) {
                tail.append(buffer, static_cast<std::size_t>(count));
            } else if (count == -1 && errno == EINTR) {
                continue;
            } else if (count == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return;
            } else {
                closeDescriptor(errorEnd);  // ended
            }
        }
    }

    // Waits up to `milliseconds` for standard output (when asked) or standard
    // error to have something to read, collecting standard error meanwhile.
    // False when the time ran out.
    bool waitForOutput(bool forOutput, int milliseconds, ErrorTail& tail) {
        pollfd ends[2];
        nfds_t count = 0;
        if (forOutput) ends[count++] = {outputEnd, POLLIN, 0};
        if (errorEnd >= 0) ends[count++] = {errorEnd, POLLIN, 0};
        const int ready = ::poll(ends, count, milliseconds);
        if (ready == 0) return false;
        collectErrors(tail);
        return true;  // or EINTR: the caller looks again
    }
};

PipedChild::PipedChild(const std::string& program, const std::vector<std::string>& arguments)
    : native_(std::make_unique<Native>()) {
    int output[2];
    int error[2];
    int pipeError = makePipe(output);
    if (pipeError == 0) {
        pipeError = makePipe(error);
        if (pipeError != 0) {
            closeDescriptor(output[0]);
            closeDescriptor(output[1]);
        }
    }
    if (pipeError != 0) {
        startFailure_ = StartFailure::Pipe;
        errorNumber_ = pipeError;
        return;
    }

    // The emulator leads a process group of its own: stopping the capture
    // signals the whole group, so that whatever a wrapper script started ends
    // with it.
    posix::SpawnSetup setup;
    setup.standard[0] = posix::kNullDevice;
    setup.standard[1] = output[1];
    setup.standard[2] = error[1];
    setup.ownProcessGroup = true;
    pid_t pid = 0;
    native_->startAdopting();
    try {
        pid = posix::spawn({program, arguments, ""}, setup);
    } catch (const OsError& failure) {
        errorNumber_ = failure.errorNumber();
    }
    // The child holds its own copies; ours must go before the first read, or
    // the pipes would never end.
    closeDescriptor(output[1]);
    closeDescriptor(error[1]);
    if (pid == 0) {
        native_->stopAdopting();
        startFailure_ = StartFailure::Process;
        closeDescriptor(output[0]);
        closeDescriptor(error[0]);
        return;
    }
    // Reads are tried first and wait in poll() only when they would block:
    // one system call per read while the child keeps the pipe filled, and a
    // silent pipe told from a busy one.
    for (const int end : {output[0], error[0]}) {
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
#ifdef F_SETPIPE_SZ
    // A deeper pipe lets a fast child run ahead of the 256-byte reads instead
    // of waiting for every 64 KiB; refused (by the per-user limit) it stays as is.
    ::fcntl(output[0], F_SETPIPE_SZ, kPipeCapacity);
#endif
    native_->outputEnd = output[0];
    native_->errorEnd = error[0];
    native_->pid = pid;
    native_->group = pid;
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

PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size,
                                        std::chrono::milliseconds silence) {
    if (ended_ || native_->outputEnd < 0) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    // The clock is read only once the pipe is found empty: a busy pipe costs
    // the read alone.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    for (;;) {
        const ssize_t count = ::read(native_->outputEnd, buffer, size);
        if (count > 0) return {ReadResult::Kind::Data, static_cast<std::size_t>(count)};
        if (count == -1 && errno == EINTR) continue;
        if (count == -1 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!deadline) deadline = std::chrono::steady_clock::now() + silence;
            const int timeout = silence.count() < 0 ? -1 : remainingMilliseconds(*deadline);
            if (!native_->waitForOutput(true, timeout, errorTail_)) {
                return {ReadResult::Kind::Silent};
            }
            continue;  // data, end or hang-up: read tells
        }
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
}

std::optional<int> PipedChild::waitForExit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        native_->collectErrors(errorTail_);
        if (native_->pid > 0) {
            int status = 0;
            pid_t result = 0;
            do {
                result = ::waitpid(native_->pid, &status, WNOHANG);
            } while (result == -1 && errno == EINTR);
            if (result == native_->pid) {
                native_->pid = 0;
                return posix::exitCodeOf(status);
            }
            if (result == -1) return std::nullopt;  // reaped by someone else: no code to know
        }
        const int left = remainingMilliseconds(deadline);
        if (left == 0) return std::nullopt;
        // A child that has closed its output ends within moments; look again soon.
        native_->waitForOutput(false, std::min(left, 10), errorTail_);
    }
}

bool PipedChild::hasExited() {
    if (native_->pid <= 0) return true;
    // Not reaped here: the unreaped child keeps its id, and so its group's,
    // from being given to another process before endLeftovers().
    siginfo_t state{};
    while (::waitid(P_PID, static_cast<id_t>(native_->pid), &state, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno != EINTR) return true;  // reaped by someone else
    }
    return state.si_pid != 0;
}

void PipedChild::endLeftovers() noexcept {
    native_->endDescendants();
    closeDescriptor(native_->outputEnd);
}

void PipedChild::terminate() noexcept {
    if (native_->pid > 0) {
        // The group first, while its leader is not yet reaped and its id so
        // cannot be anyone else's; then what the leader's end hands over.
        ::kill(-native_->pid, SIGKILL);
        ::kill(native_->pid, SIGKILL);
        waitForChild(native_->pid);
        native_->pid = 0;
    }
    native_->endDescendants();
    native_->stopAdopting();
    closeDescriptor(native_->outputEnd);
    closeDescriptor(native_->errorEnd);
    ended_ = true;
}

void PipedChild::close() noexcept {
    closeDescriptor(native_->outputEnd);
    closeDescriptor(native_->errorEnd);
    if (native_->pid > 0) {
        reapWithoutBlocking(native_->pid);
        native_->pid = 0;
    }
    native_->stopAdopting();
    ended_ = true;
}

}  // namespace zfe::platform
