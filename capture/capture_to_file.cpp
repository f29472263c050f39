#include "capture/capture_to_file.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "core/failure_messages.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/piped_child.h"

namespace zfe::capture {

namespace {

using platform::PipedChild;

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

CaptureResult captureToFile(core::UserInterface& ui, const std::string& commandLine,
                            const std::string& outputPath, const CaptureCallbacks& callbacks) {
    CaptureResult result;
    PipedChild child(commandLine);
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

    std::array<char, kReadSize> buffer;
    for (;;) {
        const PipedChild::ReadResult read =
            child.read(buffer.data(), buffer.size(), kSilenceBeforeServing);
        if (read.kind == PipedChild::ReadResult::Kind::Silent) {
            if (serveAndAskToStop()) return stop();
            continue;
        }
        const bool succeeded = read.kind == PipedChild::ReadResult::Kind::Data;
        if (read.count > 0) {
            try {
                output->write(buffer.data(), read.count);
            } catch (const platform::OsError& error) {
                output.reset();  // removes the temporary file
                return outputFailed(error);
            }
        }
        result.totalBytes += static_cast<std::int64_t>(read.count);
        ++result.reads;
        if (result.reads % kReadsPerProgress == 0) {
            const bool stopRequested = serveAndAskToStop();
            if (callbacks.showReceivedBytes) {
                callbacks.showReceivedBytes(std::to_string(result.totalBytes));
            }
            if (stopRequested) return stop();
        }
        if (!succeeded) break;
    }

    child.close();
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
