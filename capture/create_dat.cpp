#include "capture/create_dat.h"

#include <string_view>
#include <vector>

#include "capture/dat_text.h"
#include "core/byte_count.h"
#include "core/failure_messages.h"
#include "core/folders.h"
#include "core/library_names.h"
#include "platform/file_name_rules.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace zfe::capture {

namespace {

// Of standard error, the message shows this many last lines, each cut to a
// width that a message box can show.
constexpr std::size_t kErrorLinesShown = 8;
constexpr std::size_t kErrorLineWidth = 160;

std::vector<std::string> lastLines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty() && lines.size() < kErrorLinesShown) {
        const std::size_t end = text.find_last_not_of("\r\n");
        if (end == std::string_view::npos) break;
        text = text.substr(0, end + 1);
        const std::size_t start = text.find_last_of("\r\n");
        const std::size_t from = start == std::string_view::npos ? 0 : start + 1;
        lines.insert(lines.begin(), core::shownLine(text.substr(from), kErrorLineWidth));
        text = text.substr(0, from);
    }
    return lines;
}

DatJudgement judged(const CaptureResult& result) {
    return judgeDat(result.outputStart, result.outputEnd, result.totalBytes);
}

bool endedEarly(const CaptureResult& result) {
    return result.outcome == CaptureOutcome::Refused && judged(result) == DatJudgement::EndedEarly;
}

std::string describeRun(const FailedRun& run) {
    std::string text = "\r\nRiga di comando: " + shownCommandLine(run.command) + "\r\n";
    const CaptureResult& result = run.result;
    if (!result.exitCode) {
        text += "Codice di uscita: nessuno, il programma è ancora in esecuzione";
    } else {
        text += "Codice di uscita: " + std::to_string(*result.exitCode);
    }
    if (result.totalBytes == 0) text += " (nessun dato ricevuto)";
    text += "\r\n";
    if (result.outcome == CaptureOutcome::Refused) {
        if (endedEarly(result)) {
            text += "L'uscita è terminata prima della fine del file Dat; l'ultima riga ricevuta è:\r\n    " +
                    lastPrintedLine(result.outputEnd, kErrorLineWidth) + "\r\n";
        } else {
            text += "Non è un file Dat; la prima riga ricevuta è:\r\n    " +
                    firstPrintedLine(result.outputStart, kErrorLineWidth) + "\r\n";
        }
    }
    const std::vector<std::string> lines = lastLines(result.errorOutput);
    if (lines.empty()) return text + "Nessun messaggio di errore.\r\n";
    text += "Ultime righe di errore:\r\n";
    for (const std::string& line : lines) text += "    " + line + "\r\n";
    return text;
}

Command emulatorCommand(const std::string& exePath, const char* option) {
    return {exePath, {option}};
}

}  // namespace

core::FileFilter executableFilter() {
    return {std::string("Eseguibile (") + platform::kExecutablePattern + ")",
            platform::kExecutablePattern};
}

std::optional<std::string> confirmedOutputPath(core::UserInterface& ui, const std::string& dataPath,
                                               const std::string& datName) {
    const std::string fileName = datName + ".dat";
    std::optional<std::string> replaced;
    try {
        replaced = core::libraryFileNamed(fileName, platform::listFiles(core::datFolder(dataPath)));
    } catch (const platform::OsError&) {
        // Nothing to replace; the capture says why it cannot write there.
    }
    if (!replaced) return datOutputPath(dataPath, datName);
    if (ui.showMessage(core::replaceQuestion(*replaced)) != core::MessageAnswer::Yes) return std::nullopt;
    return core::datFolder(dataPath) + *replaced;
}

std::optional<core::Message> checkCreateInput(const std::string& exeLabel, const std::string& datName,
                                              const std::string& dataPath) {
    if (datName.empty() || exeLabel.empty()) return core::warningMessage(kMissingInputText);
    const std::string folder = core::datFolder(dataPath);
    switch (platform::fileNameProblem(folder, datName + ".dat")) {
        case platform::FileNameProblem::None:
            return std::nullopt;
        case platform::FileNameProblem::RefusedCharacter:
            return core::warningMessage(std::string("Il nome descrittivo del file Dat non può contenere ") +
                                        "\r\ni caratteri " + platform::kRefusedNameCharactersShown + ".");
        case platform::FileNameProblem::ReservedName:
            return core::warningMessage(
                "Il nome descrittivo del file Dat è un nome riservato del sistema.\r\n"
                "Scegliere un altro nome.");
        case platform::FileNameProblem::TooLong:
            break;
    }
    const std::size_t room = platform::longestFileName(folder);
    const std::size_t longest = room > 4 ? room - 4 : 0;  // ".dat" is added
    return core::warningMessage("Il nome descrittivo del file Dat è troppo lungo.\r\n"
                                "Nella cartella della libreria sono ammessi al massimo " +
                                std::to_string(longest) + " caratteri.");
}

std::string datOutputPath(const std::string& dataPath, const std::string& datName) {
    return core::datFolder(dataPath) + datName + ".dat";
}

core::Message datStoredMessage(const std::string& outputPath, std::int64_t size) {
    return core::informationMessage("Il file Dat " + core::inQuotes(outputPath) + " è stato creato: " +
                                    core::byteCountText(size) + ".");
}

core::Message noDatMessage(const std::string& outputPath, const FailedRun& first,
                           const FailedRun& second) {
    // The first line is the program's own text: a path holding "<" never
    // makes the box take the whole text for markup.
    const char* headline = endedEarly(first.result) || endedEarly(second.result)
                               ? "L'emulatore non ha prodotto un file Dat completo: la sua uscita è "
                                 "terminata prima della fine.\r\n"
                               : "L'emulatore non ha prodotto un file Dat.\r\n";
    return core::criticalMessage(headline + std::string("Il file ") + core::inQuotes(outputPath) +
                                 " non è stato creato né modificato.\r\n" + describeRun(first) +
                                 describeRun(second));
}

CreateDatOutcome createDat(core::UserInterface& ui, const std::string& exePath,
                           const std::string& outputPath, const CaptureCallbacks& callbacks) {
    CaptureCallbacks datOnly = callbacks;
    // A cut dat (an emulator that ended while a process it started was still
    // writing its output) is never stored.
    datOnly.acceptsOutput = [](const CaptureResult& result) { return judged(result) == DatJudgement::Whole; };
    std::vector<FailedRun> failed;
    for (const char* option : {"-listinfo", "-listxml"}) {
        const Command command = emulatorCommand(exePath, option);
        if (!failed.empty() && callbacks.showReceivedBytes) callbacks.showReceivedBytes("");
        const CaptureResult result = captureToFile(ui, command, outputPath, datOnly);
        switch (result.outcome) {
            case CaptureOutcome::Completed:
                // The count moves every kBytesPerProgress bytes: the last
                // ones would leave it short of the size that the message gives.
                if (callbacks.showReceivedBytes) {
                    callbacks.showReceivedBytes(core::withThousandsSeparators(result.totalBytes));
                }
                ui.showMessage(datStoredMessage(outputPath, result.totalBytes));
                return CreateDatOutcome::Stored;
            case CaptureOutcome::StartFailed:
                return CreateDatOutcome::StartFailed;
            case CaptureOutcome::OutputFailed:
                return CreateDatOutcome::OutputFailed;
            case CaptureOutcome::Stopped:
                return CreateDatOutcome::Stopped;
            case CaptureOutcome::RunFailed:
            case CaptureOutcome::Refused:
                failed.push_back({command, result});
                break;
        }
    }
    ui.showMessage(noDatMessage(outputPath, failed[0], failed[1]));
    return CreateDatOutcome::Failed;
}

}  // namespace zfe::capture
