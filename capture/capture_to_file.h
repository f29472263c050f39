#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/user_interface.h"

namespace zfe::capture {

struct CaptureResult;

// What the capture asks of the window that shows it. Every member may be left
// empty.
struct CaptureCallbacks {
    // Lets pending events of the user interface run.
    std::function<void()> serveEvents;
    // Sets the received-bytes caption to `count`, the total with thousands
    // separators (empty: nothing counted yet), and repaints it at once.
    std::function<void(const std::string& count)> showReceivedBytes;
    // Asked after every event pass: true when the user has given up the
    // capture (the dialog was closed meanwhile).
    std::function<bool()> stopRequested;
    // Asked once the program has ended well, with what the capture knows of
    // its output (its size, start and end): false refuses the output, which
    // is then not stored (Refused). Left empty, any output is taken.
    std::function<bool(const CaptureResult& result)> acceptsOutput;
};

// A program to start and its arguments. The program is started as named,
// never taken apart at a blank.
struct Command {
    std::string program;
    std::vector<std::string> arguments;
};

// The command as messages show it: the program and its arguments, each after
// a blank, unquoted ("/home/u/My Emus/mame -listinfo").
std::string shownCommandLine(const Command& command);

enum class CaptureOutcome {
    Completed,     // the output ended; the file holds every byte of it
    RunFailed,     // the program ended with a code other than 0 or wrote nothing
                   // to standard output; nothing stored, nothing reported
    StartFailed,   // no pipe or no child; reported to the user, no file touched
    OutputFailed,  // the file could not be written; reported, the old file kept
    Refused,       // the output is not what acceptsOutput wants; nothing stored,
                   // nothing reported
    Stopped,       // given up by the user; the old file kept
};

struct CaptureResult {
    CaptureOutcome outcome = CaptureOutcome::Completed;
    std::int64_t totalBytes = 0;  // of standard output
    std::int64_t reads = 0;       // of standard output, the final one that finds its end included
    std::int64_t processId = 0;   // the child's, 0 when none was started
    // The child's exit code; none when it still ran a while after its output
    // had ended (it is then judged by its output alone).
    std::optional<int> exitCode;
    std::string errorOutput;  // the last part of what it wrote to standard error
    std::string outputStart;  // the first bytes of standard output, kOutputStartKept at most
    std::string outputEnd;    // its last bytes, kOutputEndKept at most
};

// How often the window is served: each time this many more bytes have come,
// with the count shown (the count is then a multiple of it); and whenever the
// pipe has been silent for this long. Each read takes what the pipe holds, up
// to the next multiple.
inline constexpr std::int64_t kBytesPerProgress = 256'000;
inline constexpr std::chrono::milliseconds kSilenceBeforeServing{100};
// How much of the start and of the end of the output is kept for
// acceptsOutput and the caller.
inline constexpr std::size_t kOutputStartKept = 64 * 1024;
inline constexpr std::size_t kOutputEndKept = 4 * kBytesPerProgress;
// How long a child that has closed its output is given to end, so that its
// exit code can be read.
inline constexpr std::chrono::milliseconds kExitGrace{2000};
// How long the output of a child that has ended may stay silent while
// something it started still holds it open; then whatever it started is
// ended and the output judged as it is.
inline constexpr std::chrono::milliseconds kSilenceAfterExit{2000};

// Runs `command` as a hidden child and copies every byte of its standard
// output, unchanged, into the file at `outputPath` until the output ends, or
// until it has been silent for kSilenceAfterExit after the child itself has
// ended (a process the child started holds it open: that process and the
// rest of the child's process tree are then ended); standard error is kept
// apart (CaptureResult::errorOutput). The file is
// written under a temporary name beside it and put in place only when the
// program has succeeded: an older file of that name is either replaced whole
// or left as it was, and no temporary file remains.
//
// The routine reports its failures itself through `ui`: "CreatePipe failed.
// Error: N" and "CreateProcess failed. Error: N" in a plain box, and an output
// file that cannot be written in a critical box with its path and the reason.
// A failed run (RunFailed) or refused output (Refused) is left to the
// caller. In every case the child has ended or has been released so that it
// is reaped when it ends, and no handle is left open; a stopped capture ends
// the child's whole process tree.
CaptureResult captureToFile(core::UserInterface& ui, const Command& command,
                            const std::string& outputPath, const CaptureCallbacks& callbacks = {});

}  // namespace zfe::capture
