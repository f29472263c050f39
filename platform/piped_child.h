#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zfe::platform {

// A child process whose standard output and standard error both go into one
// anonymous pipe that only this object reads; its standard input is empty
// (/dev/null, or no handle on Windows) and its window hidden. Nothing else of
// the program is handed down to it: the read end and every other descriptor or
// handle stay behind.
//
// The child is never waited for while it runs: the end of the pipe is the sign
// that it is done. Once the pipe has ended, close() releases it without
// blocking, and the child is still reaped when it ends later, so no zombie is
// left behind even by a child that closed its output and runs on.
class PipedChild {
public:
    enum class StartFailure {
        None,
        // (not named after the Win32 calls, which windows.h turns into macros)
        Pipe,     // no pipe; nothing was started
        Process,  // the pipe was made but the program could not be started
    };

    struct ReadResult {
        enum class Kind {
            Data,    // `count` bytes (possibly 0 on Windows) were read
            Ended,   // the read failed: end of output, whatever the cause
            Silent,  // nothing arrived within the time given; no read was made
        };
        Kind kind;
        std::size_t count = 0;
    };

    // Starts the command line. Windows hands it to process creation as it
    // stands; POSIX takes it apart with splitCommandLine. A failure leaves
    // nothing open and is described by startFailure() and errorNumber().
    explicit PipedChild(const std::string& commandLine);
    // Ends a child that is still writing into the pipe (see terminate()), then
    // releases everything.
    ~PipedChild();
    PipedChild(const PipedChild&) = delete;
    PipedChild& operator=(const PipedChild&) = delete;

    bool started() const noexcept { return startFailure_ == StartFailure::None; }
    StartFailure startFailure() const noexcept { return startFailure_; }
    // The platform's number for the failed start step: errno on POSIX (2 for a
    // missing program), GetLastError() on Windows.
    std::int64_t errorNumber() const noexcept { return errorNumber_; }
    // The child's process id, 0 when none was started.
    std::int64_t processId() const noexcept { return processId_; }

    // Blocking read of up to `size` bytes: returns Data or Ended, never Silent.
    ReadResult read(void* buffer, std::size_t size);
    // As read(), but gives up with Silent when the pipe has stayed empty (and
    // open) for `silence`.
    ReadResult read(void* buffer, std::size_t size, std::chrono::milliseconds silence);

    // Ends the child if it still runs, waits for it to go and releases the
    // pipe and every handle. Used when the capture is stopped or its output
    // fails; the pipe counts as ended afterwards.
    void terminate() noexcept;

    // Releases the pipe and the child's handles once the pipe has ended. The
    // child is reaped without waiting for it; one that still runs is reaped as
    // soon as it ends.
    void close() noexcept;

private:
    struct Native;
    std::unique_ptr<Native> native_;
    StartFailure startFailure_ = StartFailure::None;
    std::int64_t errorNumber_ = 0;
    std::int64_t processId_ = 0;
    bool ended_ = false;
};

}  // namespace zfe::platform
