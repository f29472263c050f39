#include "platform/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace zfe::platform {

namespace {

int signalledWriteEnd = -1;

extern "C" void noteTerminationSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: a full pipe already says the same.
    [[maybe_unused]] const ssize_t written = ::write(signalledWriteEnd, &byte, 1);
    errno = savedErrno;
}

int installHandlers() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    signalledWriteEnd = ends[1];
    struct sigaction action {};
    action.sa_handler = noteTerminationSignal;
    sigemptyset(&action.sa_mask);
    // The handler goes after the first signal, so that a second one ends the
    // program even if it no longer serves its event loop.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return ends[0];
}

}  // namespace

int watchTerminationSignals() {
    static const int readEnd = installHandlers();
    return readEnd;
}

}  // namespace zfe::platform
