#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zfe::platform {

// The last bytes that a child wrote to standard error: enough for the last
// lines of a failure, never the whole of a chatty program's output.
class ErrorTail {
public:
    static constexpr std::size_t kKept = 64 * 1024;

    void append(const char* data, std::size_t size) {
        text_.append(data, size);
        // Trimmed in large steps, so that a long stream costs one copy per kKept.
        if (text_.size() > 2 * kKept) text_.erase(0, text_.size() - kKept);
    }
    std::string text() const {
        return text_.size() > kKept ? text_.substr(text_.size() - kKept) : text_;
    }

private:
    std::string text_;
};

// A child process whose standard output goes into one anonymous pipe and whose
// standard error goes into another, both read only by this object; its
// standard input is empty (/dev/null, or no handle on Windows) and its window
// hidden. Nothing else of the program is handed down to it: the read ends and
// every other descriptor or handle stay behind.
//
// The child runs in a process group (POSIX) or a job object (Windows) of its
// own, so that stopping it ends every process it started too. On Linux the
// program is also the subreaper of the child's descendants while this object
// lives, so that one started in a session or group of its own is ended as
// well once its parent has gone; a process the child started elsewhere on
// another POSIX system is not.
//
// Standard output is what read() returns; standard error is collected apart,
// while read() or waitForExit() waits, and its last part kept (errorTail()).
// On Windows both pipes are named pipes of this object's own, read with
// overlapped reads, so that a read waits for either with a time limit.
class PipedChild {
public:
    enum class StartFailure {
        None,
        // (not named after the Win32 calls, which windows.h turns into macros)
        Pipe,     // no pipe; nothing was started
        Process,  // the pipes were made but the program could not be started
    };

    struct ReadResult {
        enum class Kind {
            Data,    // `count` bytes, at least 1, were read
            Ended,   // the read failed: end of output, whatever the cause
            Silent,  // nothing arrived within the time given
        };
        Kind kind;
        std::size_t count = 0;
    };

    // Starts `program` with `arguments` in the current directory, found and
    // handed its arguments as ProgramStart says (platform/process.h). A
    // failure leaves nothing open and is described by startFailure() and
    // errorNumber().
    PipedChild(const std::string& program, const std::vector<std::string>& arguments);
    // Ends a child that has not been seen to its end (see terminate()), then
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

    // Reads what standard output holds, up to `size` bytes (size > 0),
    // waiting at most `silence` for the first (a negative value waits without
    // end). Ended once standard output has ended.
    ReadResult read(void* buffer, std::size_t size, std::chrono::milliseconds silence);

    // Once standard output has ended: waits up to `limit` for the child to
    // end, collecting what it still writes to standard error. The exit code
    // (POSIX: 128 + the signal for a child ended by a signal), or nothing while
    // the child still runs.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);

    std::string errorTail() const { return errorTail_.text(); }

    // True once the child itself has ended, though processes it started may
    // still hold its standard output open. Its exit code stays to be read by
    // waitForExit(), and its id stays its own until then.
    bool hasExited();

    // Once the child itself has ended: ends whatever it started that still
    // runs in its process group or job, and gives up standard output, so that
    // the next read reports the end. The child's exit code can still be read.
    void endLeftovers() noexcept;

    // Ends the child and every process it started that is still in its group
    // or job, waits for the child to go and releases the pipes and every
    // handle. Used when the capture is stopped or its output fails.
    void terminate() noexcept;

    // Releases the pipes and the child's handles once the output has ended,
    // leaving alone whatever still runs. A child that has not been reaped yet
    // is reaped without waiting for it: at once, or as soon as it ends.
    void close() noexcept;

private:
    struct Native;
    std::unique_ptr<Native> native_;
    StartFailure startFailure_ = StartFailure::None;
    std::int64_t errorNumber_ = 0;
    std::int64_t processId_ = 0;
    bool ended_ = false;
    ErrorTail errorTail_;
};

}  // namespace zfe::platform
