#include "diff/diff_request.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <ios>
#include <utility>

#include "core/failure_messages.h"
#include "core/folders.h"
#include "core/paths.h"
#include "diff/command_runner.h"
#include "platform/os_error.h"

namespace zfe::diff {

namespace {

constexpr const char* kSelectionWarning =
    "E' necessario selezionare un Dat Vecchio ed uno Nuovo per il confronto.";
constexpr const char* kDestinationWarning =
    "E' necessario specificare un percorso di destinazione.";

constexpr std::array<const char*, 3> kSetTypeOptions = {"-S", "-M", "-N"};

// Only so much of a runaway log is read to find its last lines, and only so
// much of one line is shown, so that the message box stays a message box.
constexpr std::streamoff kLogTailBytes = 64 * 1024;
constexpr std::size_t kLogLineMaxLength = 200;

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

// Cuts a line at a character boundary of its UTF-8 text.
std::string shortened(std::string line) {
    if (line.size() <= kLogLineMaxLength) {
        return line;
    }
    std::size_t cut = kLogLineMaxLength;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    line.resize(cut);
    return line + "...";
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
        lines.push_back(shortened(std::move(line)));
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

// A name with a blank would reach the tool as two arguments.
std::string commandLineName(const std::string& name) {
    return name.find_first_of(" \t") == std::string::npos ? name : core::inQuotes(name);
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

    const std::string& oldName = controls.oldName;
    const std::string& newName = controls.newName;
    const std::string tool = core::workFolder(dataPath);
    const std::string options = optionText(controls.setTypeSelected, controls.compact);

    // Stale files of an earlier run. A staged dat that someone made read-only
    // is left alone (and reported); the tool's own output always goes.
    const std::pair<std::string, bool> staleFiles[] = {
        {tool + oldName, false},
        {tool + newName, false},
        {tool + kDiffDatFileName, true},
        {tool + kDiffLogFileName, true},
    };
    for (const auto& [path, force] : staleFiles) {
        if (!FileExists(path)) {
            continue;
        }
        try {
            files.deleteFile(path, force);
        } catch (const platform::OsError& error) {
            ui.showMessage(core::deleteFailedMessage(path, error));
            return DiffOutcome::Failed;
        }
    }

    const std::string library = core::datFolder(dataPath);
    for (const std::string* name : {&oldName, &newName}) {
        const std::string source = library + *name;
        const std::string staged = tool + *name;
        try {
            files.copyFile(source, staged, true);
        } catch (const platform::OsError& error) {
            ui.showMessage(copyFailed(source, staged, error));
            return DiffOutcome::Failed;
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

    const std::string commandLine = diffCommandLine(applicationPath, options, oldName, newName);
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
    try {
        files.deleteFile(diffDat, true);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::deleteFailedMessage(diffDat, error));
        return DiffOutcome::Failed;
    }
    // A tool that wrote no report has still delivered its diff dat.
    if (FileExists(diffLog)) {
        try {
            files.deleteFile(diffLog, true);
        } catch (const platform::OsError& error) {
            ui.showMessage(core::deleteFailedMessage(diffLog, error));
            return DiffOutcome::Failed;
        }
    }
    return DiffOutcome::Delivered;
}

}  // namespace zfe::diff
