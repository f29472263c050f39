#include "diff/diff_request.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <ios>
#include <utility>
#include <vector>

#include "core/failure_messages.h"
#include "core/folders.h"
#include "core/paths.h"
#include "diff/command_runner.h"
#include "platform/os_error.h"
#include "platform/process.h"

namespace zfe::diff {

namespace {

constexpr const char* kSelectionWarning =
    "E' necessario selezionare un Dat Vecchio ed uno Nuovo per il confronto.";
constexpr const char* kDestinationWarning =
    "E' necessario specificare un percorso di destinazione.";
constexpr const char* kToolFolderDestinationWarning =
    "La destinazione non può trovarsi nella cartella del programma di confronto ";

constexpr std::array<const char*, 3> kSetTypeOptions = {"-S", "-M", "-N"};

// Only so much of a runaway log is read to find its last lines, and only so
// much of one line is shown, so that the message box stays a message box.
constexpr std::streamoff kLogTailBytes = 64 * 1024;
constexpr std::size_t kLogLineMaxLength = 200;
// How much of the report the success box offers as its details.
constexpr std::streamoff kReportBytesShown = 1024 * 1024;
constexpr const char* kSummaryPrefix = "Summary:";

core::Message copyFailed(const std::string& source, const std::string& destination,
                   const platform::OsError& error) {
    return core::failureMessage(
        "Impossibile copiare il file " + core::inQuotes(source) + " in " + core::inQuotes(destination) + ".",
        error);
}

core::Message toolStartFailed(const std::string& commandLine, const platform::OsError& error) {
    return core::failureMessage(
        "Impossibile avviare il programma di confronto.\r\nRiga di comando: " + commandLine, error);
}

// The last lines of the tool's report, or nothing when it cannot be read.
std::optional<std::deque<std::string>> lastLogLines(const std::string& logPath) {
    std::ifstream log(core::toFsPath(logPath), std::ios::binary);
    if (!log) {
        return std::nullopt;
    }
    log.seekg(0, std::ios::end);
    const std::streamoff size = log.tellg();
    if (size < 0) {
        return std::nullopt;
    }
    const std::streamoff start = std::max<std::streamoff>(0, size - kLogTailBytes);
    log.seekg(start);
    std::string tail(static_cast<std::size_t>(size - start), '\0');
    log.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    tail.resize(static_cast<std::size_t>(log.gcount()));

    std::deque<std::string> lines;
    std::size_t lineStart = 0;
    if (start > 0) {
        // The first line of a tail read mid-file is a fragment.
        const auto firstEnd = tail.find('\n');
        lineStart = firstEnd == std::string::npos ? tail.size() : firstEnd + 1;
    }
    while (lineStart < tail.size()) {
        auto lineEnd = tail.find('\n', lineStart);
        if (lineEnd == std::string::npos) {
            lineEnd = tail.size();
        }
        std::string line = tail.substr(lineStart, lineEnd - lineStart);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(core::shownLine(line, kLogLineMaxLength));
        if (lines.size() > kLogLinesShown) {
            lines.pop_front();
        }
        lineStart = lineEnd + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    return lines;
}

core::Message noDiffDat(const std::string& diffDatPath, const std::string& logPath) {
    std::string text =
        "Il programma di confronto non ha creato il DiffDat " + core::inQuotes(diffDatPath) + ".";
    if (!FileExists(logPath)) {
        text += "\r\nNon ha lasciato nemmeno il file " + core::inQuotes(logPath) + ".";
        return core::criticalMessage(std::move(text));
    }
    const auto lines = lastLogLines(logPath);
    if (!lines) {
        text += "\r\nImpossibile leggere il file " + core::inQuotes(logPath) + ".";
    } else if (lines->empty()) {
        text += "\r\nIl file " + core::inQuotes(logPath) + " è vuoto.";
    } else {
        text += "\r\n\r\nUltime righe del file " + core::inQuotes(logPath) + ":";
        for (const auto& line : *lines) {
            text += "\r\n" + line;
        }
    }
    return core::criticalMessage(std::move(text));
}

// The name as one argument of the tool, whatever it holds; a name that begins
// with "-" would be read as an option, so it is given as a relative path.
std::string commandLineName(const std::string& name) {
    const std::string argument =
        !name.empty() && name.front() == '-' ? std::string(".") + platform::kPathSeparator + name : name;
    return platform::quoteArgument(argument);
}

// The tool replaces and deletes its own files in its folder, and the request
// clears that folder: a destination there would be lost, or would replace
// the tool. Links and other spellings of the folder count as the folder.
bool isInsideFolder(const std::string& path, const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolute = fs::absolute(core::toFsPath(path), error);
    if (error) {
        return false;
    }
    for (fs::path candidate = absolute.parent_path(); !candidate.empty();
         candidate = candidate.parent_path()) {
        const std::u8string text = candidate.u8string();
        if (platform::isSameFileOrFolder(std::string(text.begin(), text.end()), folder)) {
            return true;
        }
        if (candidate == candidate.parent_path()) {
            break;
        }
    }
    return false;
}

// The report's beginning, up to kReportBytesShown cut at a line's end, for
// the success box's details; empty when there is none.
std::string reportBeginning(const std::string& logPath) {
    std::ifstream log(core::toFsPath(logPath), std::ios::binary);
    std::string text(static_cast<std::size_t>(kReportBytesShown) + 1, '\0');
    log.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(log.gcount()));
    if (text.size() > static_cast<std::size_t>(kReportBytesShown)) {
        const auto lastLineEnd = text.rfind('\n', static_cast<std::size_t>(kReportBytesShown) - 1);
        text.resize(lastLineEnd == std::string::npos ? static_cast<std::size_t>(kReportBytesShown)
                                                     : lastLineEnd + 1);
        text += "...\n";
    }
    return text;
}

core::Message delivered(const std::string& destination, const std::string& logPath) {
    std::string text = "Il DiffDat è stato creato in " + core::inQuotes(destination) + ".";
    std::string details;
    if (FileExists(logPath)) {
        details = reportBeginning(logPath);
        // The tool writes its summary as the report's last line.
        if (const auto lines = lastLogLines(logPath)) {
            for (auto line = lines->rbegin(); line != lines->rend(); ++line) {
                if (line->rfind(kSummaryPrefix, 0) == 0) {
                    text += "\r\n\r\n" + *line;
                    break;
                }
            }
        }
    }
    return core::informationMessage(std::move(text), std::move(details));
}

// Deletes a file of the tool's folder when it is there; false, after saying
// so, when it is there and cannot go.
bool deleteIfPresent(const std::string& path, bool force, platform::FileSystemService& files,
                     core::UserInterface& ui) {
    if (!FileExists(path)) {
        return true;
    }
    try {
        files.deleteFile(path, force);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::deleteFailedMessage(path, error));
        return false;
    }
    return true;
}

}  // namespace

std::string optionText(const std::array<bool, 3>& setTypeSelected, int compact) {
    std::string options;
    for (std::size_t index = 0; index < setTypeSelected.size(); ++index) {
        if (setTypeSelected[index]) {
            options = kSetTypeOptions[index];
            break;
        }
    }
    if (compact != 0) {
        options += " -t";
    }
    return options;
}

std::string diffCommandLine(const std::string& applicationPath, const std::string& optionText,
                            const std::string& oldName, const std::string& newName) {
    const std::string toolPath = core::toolFolder(applicationPath) + kDiffToolFileName;
    return core::inQuotes(toolPath) + " " + optionText + " " + commandLineName(oldName) + " " +
           commandLineName(newName);
}

void browseDestination(core::UserInterface& ui, core::CommonDialogMemory& dialog,
                       std::string& destinationCaption) {
    core::FileDialogRequest request;
    request.initialFileName = dialog.fileName;
    const std::optional<std::string> chosen = ui.showSaveDialog(request);
    if (!chosen || chosen->empty()) {
        return;
    }
    dialog.fileName = *chosen;
    dialog.fileTitle = core::fileNameOf(*chosen);
    destinationCaption = *chosen;

    try {
        core::enterFolderOf(*chosen);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::folderChangeFailedMessage(error.subject(), error));
    }
}

namespace {

// Staging, the run and the delivery. Every path staged so far is added to
// `staged`, so that the caller removes the copies however this ends.
DiffOutcome stageRunAndDeliver(const DiffControls& controls, const std::string& applicationPath,
                               const std::string& dataPath, platform::FileSystemService& files,
                               core::UserInterface& ui, const CommandRunner& runAndWait,
                               std::vector<std::string>& staged) {
    const std::string& oldName = controls.oldName;
    const std::string& newName = controls.newName;
    const std::string tool = core::workFolder(dataPath);
    const std::string library = core::datFolder(dataPath);
    for (const std::string* name : {&oldName, &newName}) {
        const std::string source = library + *name;
        const std::string stagedPath = tool + *name;
        try {
            files.copyFile(source, stagedPath, true);
        } catch (const platform::OsError& error) {
            ui.showMessage(copyFailed(source, stagedPath, error));
            return DiffOutcome::Failed;
        }
        if (std::find(staged.begin(), staged.end(), stagedPath) == staged.end()) {
            staged.push_back(stagedPath);
        }
    }

    // The tool is given bare names, so it must start in its work folder. The
    // directory is deliberately not restored afterwards.
    const std::string workFolder = core::appFolder(dataPath) + "zdrl";
    try {
        platform::changeCurrentDirectory(workFolder);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::folderChangeFailedMessage(workFolder, error));
        return DiffOutcome::Failed;
    }

    const std::string commandLine = diffCommandLine(
        applicationPath, optionText(controls.setTypeSelected, controls.compact), oldName, newName);
    try {
        runAndWait(commandLine);
    } catch (const platform::OsError& error) {
        ui.showMessage(toolStartFailed(commandLine, error));
        return DiffOutcome::Failed;
    }

    const std::string diffDat = core::toolOutputPath(dataPath, kDiffDatFileName);
    const std::string diffLog = core::toolOutputPath(dataPath, kDiffLogFileName);
    if (!FileExists(diffDat)) {
        // Both files stay where the tool left them, for the user to look at.
        ui.showMessage(noDiffDat(diffDat, diffLog));
        return DiffOutcome::Failed;
    }
    try {
        files.copyFile(diffDat, controls.destination, true);
    } catch (const platform::OsError& error) {
        ui.showMessage(copyFailed(diffDat, controls.destination, error));
        return DiffOutcome::Failed;
    }
    ui.showMessage(delivered(controls.destination, diffLog));
    // A tool that wrote no report has still delivered its diff dat.
    const bool cleared = deleteIfPresent(diffDat, true, files, ui) && deleteIfPresent(diffLog, true, files, ui);
    return cleared ? DiffOutcome::Delivered : DiffOutcome::Failed;
}

}  // namespace

DiffOutcome createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                          platform::FileSystemService& files, core::UserInterface& ui,
                          const CommandRunner& runAndWait) {
    return createDiffDat(controls, applicationPath, applicationPath, files, ui, runAndWait);
}

DiffOutcome createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                          const std::string& dataPath, platform::FileSystemService& files,
                          core::UserInterface& ui, const CommandRunner& runAndWait) {
    if (controls.oldIndex < 0 || controls.newIndex < 0) {
        ui.showMessage(core::warningMessage(kSelectionWarning));
        return DiffOutcome::Warned;
    }
    if (controls.destination.empty()) {
        ui.showMessage(core::warningMessage(kDestinationWarning));
        return DiffOutcome::Warned;
    }
    // The tool's own folder and its work folder (the same one unless the
    // data lives apart from the program).
    const std::string tool = core::workFolder(dataPath);
    for (const std::string& folder : {core::toolFolder(applicationPath), tool}) {
        if (isInsideFolder(controls.destination, folder)) {
            ui.showMessage(
                core::warningMessage(kToolFolderDestinationWarning + core::inQuotes(folder) + "."));
            return DiffOutcome::Warned;
        }
    }

    // Stale files of an earlier run. A staged dat that someone made read-only
    // is left alone (and reported); the tool's own output always goes.
    const std::pair<std::string, bool> staleFiles[] = {
        {tool + controls.oldName, false},
        {tool + controls.newName, false},
        {tool + kDiffDatFileName, true},
        {tool + kDiffLogFileName, true},
    };
    for (const auto& [path, force] : staleFiles) {
        if (!deleteIfPresent(path, force, files, ui)) {
            return DiffOutcome::Failed;
        }
    }

    std::vector<std::string> staged;
    const DiffOutcome outcome = stageRunAndDeliver(controls, applicationPath, dataPath, files, ui, runAndWait, staged);
    // The staged copies are the request's own, read-only ones too, and would
    // otherwise pile up in the tool's folder. One that cannot go is reported;
    // a diff dat already delivered stays delivered.
    for (const std::string& path : staged) {
        deleteIfPresent(path, true, files, ui);
    }
    return outcome;
}

}  // namespace zfe::diff
