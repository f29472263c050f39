#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "core/user_interface.h"

namespace zfe::capture {

// What the capture asks of the window that shows it. Every member may be left
// empty.
struct CaptureCallbacks {
    // Lets pending events of the user interface run.
    std::function<void()> serveEvents;
    // Sets the received-bytes caption to `digits` and repaints it at once.
    std::function<void(const std::string& digits)> showReceivedBytes;
    // Asked after every event pass: true when the user has given up the
    // capture (the dialog was closed meanwhile).
    std::function<bool()> stopRequested;
};

enum class CaptureOutcome {
    Completed,     // the output ended; the file holds every byte of it
    StartFailed,   // no pipe or no child; reported to the user, no file touched
    OutputFailed,  // the file could not be written; reported, the old file kept
    Stopped,       // given up by the user; the old file kept
};

struct CaptureResult {
    CaptureOutcome outcome = CaptureOutcome::Completed;
    std::int64_t totalBytes = 0;
    std::int64_t reads = 0;      // the final, failing read included
    std::int64_t processId = 0;  // the child's, 0 when none was started
};

// How often the window is served: every this many reads, with the count shown;
// and whenever the pipe has been silent for this long.
inline constexpr std::int64_t kReadsPerProgress = 1000;
inline constexpr std::chrono::milliseconds kSilenceBeforeServing{100};
inline constexpr std::size_t kReadSize = 256;

// Runs `commandLine` as a hidden child with its standard output and standard
// error in one pipe and copies every byte of the pipe, unchanged, into the file
// at `outputPath` until the pipe ends. The file is written under a temporary
// name beside it and put in place only when the output has ended, so an older
// file of that name is either replaced whole or left as it was.
//
// The routine reports its failures itself through `ui`: "CreatePipe failed.
// Error: N" and "CreateProcess failed. Error: N" in a plain box, and an output
// file that cannot be written in a critical box with its path and the reason.
// In every case the child has ended or has been released so that it is reaped
// when it ends, and no handle is left open.
CaptureResult captureToFile(core::UserInterface& ui, const std::string& commandLine,
                            const std::string& outputPath, const CaptureCallbacks& callbacks = {});

}  // namespace zfe::capture
