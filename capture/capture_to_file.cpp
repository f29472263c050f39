#include "capture/capture_to_file.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/byte_count.h"
#include "core/failure_messages.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/piped_child.h"

namespace zfe::capture {

namespace {

using platform::PipedChild;

// The reads land side by side in one block, which goes to the file whole.
// Two blocks take turns, so that the last one written and the one being
// filled together always hold the output's last kOutputEndKept bytes.
constexpr std::size_t kWriteBlock = kOutputEndKept;

core::Message startFailureMessage(const PipedChild& child) {
    const char* call = child.startFailure() == PipedChild::StartFailure::Pipe
                           ? "CreatePipe failed. Error: "
                           : "CreateProcess failed. Error: ";
    core::Message message;  // plain: the application's title, no icon, OK
    message.text = call + std::to_string(child.errorNumber());
    return message;
}

core::Message outputFailureMessage(const std::string& outputPath, const platform::OsError& error) {
    return core::failureMessage("Impossibile scrivere il file " + core::inQuotes(outputPath) + ".", error);
}

}  // namespace

std::string shownCommandLine(const Command& command) {
    std::string line = command.program;
    for (const std::string& argument : command.arguments) line += " " + argument;
    return line;
}

CaptureResult captureToFile(core::UserInterface& ui, const Command& command,
                            const std::string& outputPath, const CaptureCallbacks& callbacks) {
    CaptureResult result;
    PipedChild child(command.program, command.arguments);
    if (!child.started()) {
        ui.showMessage(startFailureMessage(child));
        result.outcome = CaptureOutcome::StartFailed;
        return result;
    }
    result.processId = child.processId();

    // Every failure below ends the child first, so that the message box does
    // not wait while it goes on filling the pipe.
    auto outputFailed = [&](const platform::OsError& error) {
        child.terminate();
        ui.showMessage(outputFailureMessage(outputPath, error));
        result.outcome = CaptureOutcome::OutputFailed;
        return result;
    };

    std::optional<platform::FileReplacement> output;
    try {
        output.emplace(outputPath);
    } catch (const platform::OsError& error) {
        return outputFailed(error);
    }

    auto serveAndAskToStop = [&] {
        if (callbacks.serveEvents) callbacks.serveEvents();
        return callbacks.stopRequested && callbacks.stopRequested();
    };
    auto stop = [&] {
        child.terminate();
        output->discard();
        result.outcome = CaptureOutcome::Stopped;
        return result;
    };

    std::vector<char> block(kWriteBlock);
    std::vector<char> written(kWriteBlock);  // the block written last
    std::size_t blockUsed = 0;
    std::size_t writtenUsed = 0;
    auto flush = [&] {
        // The first block flushed is the start of the output.
        if (result.outputStart.empty()) {
            result.outputStart.assign(block.data(), std::min(blockUsed, kOutputStartKept));
        }
        output->write(block.data(), blockUsed);
        std::swap(block, written);
        writtenUsed = blockUsed;
        blockUsed = 0;
    };

    // A child that has ended while something it started still holds its
    // output: once nothing has come for kSilenceAfterExit since the end (or
    // since the last byte), what it started is ended and the output taken as
    // it stands. The clock is read only while the pipe is silent.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> silentSince;
    std::optional<Clock::time_point> exitSeen;
    auto endLeftoversOnceSilent = [&] {
        const Clock::time_point now = Clock::now();
        if (!silentSince) silentSince = now - kSilenceBeforeServing;
        if (!exitSeen && child.hasExited()) exitSeen = now;
        if (exitSeen && now - std::max(*silentSince, *exitSeen) >= kSilenceAfterExit) {
            child.endLeftovers();
        }
    };

    try {
        std::int64_t nextProgress = kBytesPerProgress;
        for (;;) {
            // Whatever the pipe holds, up to the end of the block or the next
            // count, whichever comes first.
            const std::size_t room = std::min(block.size() - blockUsed,
                                              static_cast<std::size_t>(nextProgress - result.totalBytes));
            const PipedChild::ReadResult read =
                child.read(block.data() + blockUsed, room, kSilenceBeforeServing);
            if (read.kind == PipedChild::ReadResult::Kind::Silent) {
                if (serveAndAskToStop()) return stop();
                endLeftoversOnceSilent();
                continue;
            }
            silentSince.reset();
            ++result.reads;
            if (read.kind == PipedChild::ReadResult::Kind::Ended) break;
            blockUsed += read.count;
            result.totalBytes += static_cast<std::int64_t>(read.count);
            if (blockUsed == block.size()) flush();
            if (result.totalBytes == nextProgress) {
                nextProgress += kBytesPerProgress;
                const bool stopRequested = serveAndAskToStop();
                if (callbacks.showReceivedBytes) {
                    callbacks.showReceivedBytes(core::withThousandsSeparators(result.totalBytes));
                }
                if (stopRequested) return stop();
            }
        }
        flush();
    } catch (const platform::OsError& error) {
        output.reset();  // removes the temporary file
        return outputFailed(error);
    }
    // The last block written, after as much of the whole one before it (when
    // there was one) as makes up kOutputEndKept.
    const std::size_t fromEarlier =
        result.totalBytes > static_cast<std::int64_t>(writtenUsed) ? kOutputEndKept - writtenUsed : 0;
    result.outputEnd.assign(block.data() + block.size() - fromEarlier, fromEarlier);
    result.outputEnd.append(written.data(), writtenUsed);

    // The exit code tells a failed run from a good one; a child that runs on
    // after closing its output is not waited for beyond the grace.
    const auto graceEnd = std::chrono::steady_clock::now() + kExitGrace;
    while (!(result.exitCode = child.waitForExit(kSilenceBeforeServing)) &&
           std::chrono::steady_clock::now() < graceEnd) {
        if (serveAndAskToStop()) return stop();
    }
    result.errorOutput = child.errorTail();
    child.close();

    if ((result.exitCode && *result.exitCode != 0) || result.totalBytes == 0) {
        output->discard();
        result.outcome = CaptureOutcome::RunFailed;
        return result;
    }
    if (callbacks.acceptsOutput && !callbacks.acceptsOutput(result)) {
        output->discard();
        result.outcome = CaptureOutcome::Refused;
        return result;
    }
    try {
        output->commit();
    } catch (const platform::OsError& error) {
        output.reset();
        ui.showMessage(outputFailureMessage(outputPath, error));
        result.outcome = CaptureOutcome::OutputFailed;
    }
    return result;
}

}  // namespace zfe::capture
