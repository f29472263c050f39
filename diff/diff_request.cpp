#include "diff/diff_request.h"

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <ios>
#include <optional>
#include <utility>
#include <vector>

#include "core/failure_messages.h"
#include "core/folders.h"
#include "core/library_names.h"
#include "core/paths.h"
#include "core/shown_text.h"
#include "core/work_folder.h"
#include "diff/command_runner.h"
#include "diff/diff_report.h"
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
constexpr const char* kSameDatWarning =
    "Il Dat Vecchio e quello Nuovo sono lo stesso file: selezionare due Dat diversi per il confronto.";
constexpr const char* kToolOutputNameWarning =
    " ha lo stesso nome di un file del programma di confronto, che lo sostituirebbe.\r\n"
    "Rinominarlo (per esempio importandolo con un altro nome) prima del confronto.";
constexpr const char* kDestinationIsInputWarning =
    " è uno dei due Dat da confrontare. Scegliere un'altra destinazione.";
constexpr const char* kAnotherDiffRunningWarning =
    "Un altro confronto è in corso nella cartella di lavoro ";
constexpr const char* kAnotherDiffRunningAdvice =
    " (da un'altra finestra di ZandorelFE). Riprovare quando sarà terminato.";

constexpr std::array<const char*, core::kSetTypeCount> kSetTypeOptions = {"-S", "-M", "-N", "-F"};

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

// What the tool's report says at its end, for a message about a run that
// brought no diff dat: its last lines, or why there are none.
std::string logTail(const std::string& logPath) {
    if (!FileExists(logPath)) {
        return "\r\nNon ha lasciato nemmeno il file " + core::inQuotes(logPath) + ".";
    }
    const auto lines = lastLogLines(logPath);
    if (!lines) return "\r\nImpossibile leggere il file " + core::inQuotes(logPath) + ".";
    if (lines->empty()) return "\r\nIl file " + core::inQuotes(logPath) + " è vuoto.";
    std::string text = "\r\n\r\nUltime righe del file " + core::inQuotes(logPath) + ":";
    for (const auto& line : *lines) text += "\r\n" + line;
    return text;
}

core::Message noDiffDat(const std::string& diffDatPath, const std::string& logPath) {
    return core::criticalMessage("Il programma di confronto non ha creato il DiffDat " +
                                 core::inQuotes(diffDatPath) + "." + logTail(logPath));
}

// 0 and 1 say that the tool did its work (no differences, differences); any
// other code is trouble, whatever files it left.
core::Message toolFailed(int exitCode, const std::string& logPath) {
    return core::criticalMessage("Il programma di confronto è terminato con il codice di uscita " +
                                 std::to_string(exitCode) +
                                 ", che segnala un errore: il DiffDat non viene consegnato." +
                                 logTail(logPath));
}

// A name that begins with "-" would be read as an option, so it is given as
// a relative path.
std::string toolArgumentFor(const std::string& name) {
    return !name.empty() && name.front() == '-' ? std::string(".") + platform::kPathSeparator + name
                                                : name;
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

// Deletes a stale file of the work folder when it is there (what a killed run
// left has gone before: core/work_folder.h); false, after saying so, when it
// is there and cannot go.
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

// Removes files that the program put in the work folder; false, after saying
// so, when one cannot go.
bool removeOwnFiles(const std::string& dataPath, const std::vector<std::string>& names,
                    platform::FileSystemService& files, core::UserInterface& ui,
                    std::vector<std::string>& stillThere) {
    for (const std::string& name : names) {
        try {
            core::removeOwnFile(dataPath, name, files);
        } catch (const platform::OsError& error) {
            ui.showMessage(core::deleteFailedMessage(core::workFolder(dataPath) + name, error));
            stillThere.push_back(name);
        }
    }
    return stillThere.empty();
}

}  // namespace

std::vector<std::string> toolOptions(const core::SetTypeSelection& setTypeSelected, int compact) {
    std::vector<std::string> options;
    for (std::size_t index = 0; index < setTypeSelected.size(); ++index) {
        if (setTypeSelected[index]) {
            options.emplace_back(kSetTypeOptions[index]);
            break;
        }
    }
    if (compact != 0) {
        options.emplace_back("-t");
    }
    return options;
}

platform::ProgramStart diffToolStart(const std::string& applicationPath, const std::string& dataPath,
                                     std::vector<std::string> options, const std::string& oldName,
                                     const std::string& newName) {
    options.push_back(toolArgumentFor(oldName));
    options.push_back(toolArgumentFor(newName));
    return {core::toolFolder(applicationPath) + kDiffToolFileName, std::move(options),
            core::workFolder(dataPath)};
}

std::optional<DeliveredFile> deliveredFileAt(const std::string& path) {
    std::error_code error;
    const std::filesystem::path file = core::toFsPath(path);
    DeliveredFile delivered{path, std::filesystem::file_size(file, error), {}};
    if (error) return std::nullopt;
    delivered.modified = std::filesystem::last_write_time(file, error);
    if (error) return std::nullopt;
    return delivered;
}

std::string proposedDiffDatName(const DiffControls& controls) {
    if (controls.oldIndex < 0 || controls.newIndex < 0) return {};
    // A dat's name without its extension, short enough that the two and the
    // set type make a name that every file system takes.
    constexpr std::size_t kStemLength = 100;
    const auto stemAndExtension = [](const std::string& name) {
        const std::size_t dot = name.rfind('.');
        const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
        return std::pair{core::shownLine(name.substr(0, cut), kStemLength), name.substr(cut)};
    };
    const auto [oldStem, oldExtension] = stemAndExtension(controls.oldName);
    const auto [newStem, newExtension] = stemAndExtension(controls.newName);
    std::string name = oldStem + " - " + newStem;
    for (std::size_t index = 0; index < controls.setTypeSelected.size(); ++index) {
        if (controls.setTypeSelected[index]) {
            name += std::string(" (") + kSetTypeNames[index] + ")";
            break;
        }
    }
    // The diff dat is in the new dat's format.
    return name + (newExtension.empty() ? ".dat" : newExtension);
}

void browseDestination(core::UserInterface& ui, core::CommonDialogMemory& dialog,
                       const std::string& proposedName, std::string& destinationCaption) {
    core::FileDialogRequest request;
    // Its own last folder with a new name: offering the last file itself would
    // make Enter replace it.
    const std::string lastFolder = core::folderOf(dialog.fileName);
    request.initialFileName = lastFolder.empty() ? proposedName : core::appFolder(lastFolder) + proposedName;
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

// The warning that stops a request before any work, or nothing when it may go
// ahead. Every check here is cheap and touches nothing the user owns.
std::optional<core::Message> checkRequest(const DiffControls& controls,
                                          const std::string& applicationPath,
                                          const std::string& dataPath,
                                          platform::FileSystemService& files) {
    if (controls.oldIndex < 0 || controls.newIndex < 0) {
        return core::warningMessage(kSelectionWarning);
    }
    if (controls.destination.empty()) {
        return core::warningMessage(kDestinationWarning);
    }
    const std::string library = core::datFolder(dataPath);
    const std::string oldDat = library + controls.oldName;
    const std::string newDat = library + controls.newName;
    if (controls.oldName == controls.newName || platform::isSameFileOrFolder(oldDat, newDat)) {
        return core::warningMessage(kSameDatWarning);
    }
    for (const std::string* name : {&controls.oldName, &controls.newName}) {
        for (const char* output : {kDiffDatFileName, kDiffLogFileName}) {
            if (core::sameNameIgnoringCase(*name, output)) {
                return core::warningMessage("Il Dat " + core::inQuotes(*name) +
                                            kToolOutputNameWarning);
            }
        }
    }
    // The tool's own folder and its work folder (the same one unless the
    // data lives apart from the program).
    for (const std::string& folder : {core::toolFolder(applicationPath), core::workFolder(dataPath)}) {
        if (isInsideFolder(controls.destination, folder)) {
            return core::warningMessage(kToolFolderDestinationWarning + core::inQuotes(folder) + ".");
        }
    }
    const std::string& destination = controls.destination;
    if (platform::isSameFileOrFolder(destination, oldDat) ||
        platform::isSameFileOrFolder(destination, newDat)) {
        return core::warningMessage("La destinazione " + core::inQuotes(destination) +
                                    kDestinationIsInputWarning);
    }
    if (platform::directoryExists(destination)) {
        return core::warningMessage("La destinazione " + core::inQuotes(destination) +
                                    " è una cartella. Scegliere un file.");
    }
    if (platform::fileExists(destination) && !platform::isRegularFile(destination)) {
        return core::warningMessage("La destinazione " + core::inQuotes(destination) +
                                    " non è un file, ma una pipe o un dispositivo. Scegliere un file.");
    }
    if (platform::fileExists(destination) && platform::isReadOnly(destination)) {
        return core::warningMessage("Il file di destinazione " + core::inQuotes(destination) +
                                    " è di sola lettura. Scegliere un'altra destinazione.");
    }
    std::string folder = core::folderOf(destination);
    if (folder.empty()) folder = ".";
    if (!files.canWriteIn(folder)) {
        return core::warningMessage("Impossibile scrivere nella cartella di destinazione " +
                                    core::inQuotes(folder) + ". Scegliere un'altra destinazione.");
    }
    return std::nullopt;
}

// Staging, the run and the delivery. Every name put in the work folder so far
// that must go is added to `toRemove`, so that the caller removes it however
// this ends.
DiffRequestResult stageRunAndDeliver(const DiffControls& controls, const std::string& applicationPath,
                                     const std::string& dataPath, platform::FileSystemService& files,
                                     core::UserInterface& ui, const CommandRunner& runAndWait,
                                     std::vector<std::string>& toRemove) {
    DiffRequestResult result;
    result.outcome = DiffOutcome::Failed;
    const std::string& oldName = controls.oldName;
    const std::string& newName = controls.newName;
    const std::string tool = core::workFolder(dataPath);
    const std::string library = core::datFolder(dataPath);
    for (const std::string* name : {&oldName, &newName}) {
        const std::string source = library + *name;
        const std::string stagedPath = tool + *name;
        try {
            files.stageFile(source, stagedPath);
        } catch (const platform::OsError& error) {
            ui.showMessage(copyFailed(source, stagedPath, error));
            return result;
        }
        toRemove.push_back(*name);
    }

    // The tool is given bare names, so it starts in its work folder; the
    // program's own current directory stays where the user's last file
    // dialog left it.
    const platform::ProgramStart start =
        diffToolStart(applicationPath, dataPath, toolOptions(controls.setTypeSelected, controls.compact),
                      oldName, newName);
    int exitCode = 0;
    try {
        exitCode = runAndWait(start);
    } catch (const platform::OsError& error) {
        // (A work folder gone since the dats were staged in it fails here too.)
        ui.showMessage(toolStartFailed(platform::commandLineOf(start), error));
        return result;
    }

    // The work folder was cleared before the run, so a diff dat there is this
    // run's own. After a failure the report stays where the tool left it, for
    // the user to look at.
    const std::string diffDat = core::toolOutputPath(dataPath, kDiffDatFileName);
    const std::string diffLog = core::toolOutputPath(dataPath, kDiffLogFileName);
    toRemove.push_back(kDiffDatFileName);
    if (exitCode != 0 && exitCode != 1) {
        ui.showMessage(toolFailed(exitCode, diffLog));
        return result;
    }
    if (!FileExists(diffDat)) {
        // A report of the tool's own form that says that it wrote none: a
        // diff with nothing in it, which a dat's format cannot hold.
        std::optional<std::string> report = core::readWholeFile(diffLog);
        const std::optional<DiffReport> read = report ? readDiffReport(*report) : std::nullopt;
        if (!read || read->diffDatWritten) {
            ui.showMessage(noDiffDat(diffDat, diffLog));
            return result;
        }
        toRemove.push_back(kDiffLogFileName);
        result.outcome = DiffOutcome::NothingToDeliver;
        result.destination = controls.destination;
        result.report = std::move(*report);
        return result;
    }
    toRemove.push_back(kDiffLogFileName);
    try {
        files.copyFile(diffDat, controls.destination, true);
    } catch (const platform::OsError& error) {
        ui.showMessage(copyFailed(diffDat, controls.destination, error));
        return result;
    }
    result.outcome = DiffOutcome::Delivered;
    result.destination = controls.destination;
    result.delivered = deliveredFileAt(controls.destination);
    // A tool that wrote no report has still delivered its diff dat.
    result.report = core::readWholeFile(diffLog).value_or(std::string());
    return result;
}

}  // namespace

DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                platform::FileSystemService& files, core::UserInterface& ui,
                                const CommandRunner& runAndWait) {
    return createDiffDat(controls, applicationPath, applicationPath, files, ui, runAndWait);
}

DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                const std::string& dataPath, platform::FileSystemService& files,
                                core::UserInterface& ui, const CommandRunner& runAndWait) {
    if (const auto warning = checkRequest(controls, applicationPath, dataPath, files)) {
        ui.showMessage(*warning);
        return {};
    }
    const std::string& destination = controls.destination;
    if (platform::fileExists(destination)) {
        const std::optional<DeliveredFile> there = deliveredFileAt(destination);
        const bool deliveredHereLast = there && there == controls.lastDelivery;
        // The path as the user may read it, whatever characters it holds.
        const core::Message question = core::replaceQuestion(core::shownText(destination));
        if (!deliveredHereLast && ui.showMessage(question) != core::MessageAnswer::Yes) return {};
    }

    const DiffRequestResult failed{DiffOutcome::Failed, {}, {}, {}};
    const std::string tool = core::workFolder(dataPath);
    std::optional<core::WorkFolderHold> hold;
    try {
        hold = core::WorkFolderHold::take(dataPath);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage("Impossibile usare la cartella di lavoro " + core::inQuotes(tool) +
                                                ": il file " + core::inQuotes(error.subject()) +
                                                " non si può creare.",
                                            error));
        return failed;
    }
    if (!hold) {
        ui.showMessage(core::warningMessage(kAnotherDiffRunningWarning + core::inQuotes(tool) +
                                            kAnotherDiffRunningAdvice));
        return {};
    }
    hold->removeLeftovers(files);

    // Stale files of an earlier run. A file of a staged dat's name that the
    // program did not put there and someone made read-only is left alone (and
    // reported); the tool's own outputs always go, so that whatever the work
    // folder holds after the run is this run's.
    std::vector<std::string> stillThere;
    if (!deleteIfPresent(tool + controls.oldName, false, files, ui) ||
        !deleteIfPresent(tool + controls.newName, false, files, ui) ||
        !removeOwnFiles(dataPath, {kDiffDatFileName, kDiffLogFileName}, files, ui, stillThere)) {
        return failed;
    }
    try {
        hold->recordRun({controls.oldName, controls.newName, kDiffDatFileName, kDiffLogFileName});
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage(
            "Impossibile scrivere il file " + core::inQuotes(tool + core::kRunRecordName) + ".", error));
        return failed;
    }

    std::vector<std::string> toRemove;
    const DiffRequestResult result =
        stageRunAndDeliver(controls, applicationPath, dataPath, files, ui, runAndWait, toRemove);
    // The staged dats and the tool's outputs are the request's own, read-only
    // ones too, and would otherwise pile up in the work folder. One that cannot
    // go is reported, and kept in the record for the next clearing; a diff dat
    // already delivered stays delivered.
    removeOwnFiles(dataPath, toRemove, files, ui, stillThere);
    try {
        hold->endRun(stillThere, files);
    } catch (const platform::OsError&) {
        // The record is read again at the next clearing, which finds its
        // names gone.
    }
    return result;
}

bool saveWhole(core::UserInterface& ui, const std::string& path, const std::string& text,
               const std::string& what) {
    try {
        platform::FileReplacement file(path);
        file.write(text.data(), text.size());
        file.commit();
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage(
            "Impossibile salvare " + what + " in " + core::inQuotes(path) + ".", error));
        return false;
    }
    return true;
}

bool saveReport(core::UserInterface& ui, const std::string& path, const std::string& report) {
    return saveWhole(ui, path, report, "il rapporto");
}

namespace {

std::string withExtension(const std::string& diffDatPath, const char* extension) {
    const std::string name = core::fileNameOf(diffDatPath);
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0
                                ? diffDatPath.size()
                                : diffDatPath.size() - (name.size() - dot);
    return diffDatPath.substr(0, cut) + extension;
}

}  // namespace

std::string reportPathFor(const std::string& diffDatPath) { return withExtension(diffDatPath, ".log"); }

std::string csvPathFor(const std::string& diffDatPath) { return withExtension(diffDatPath, ".csv"); }

}  // namespace zfe::diff
