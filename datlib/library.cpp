#include "datlib/library.h"

#include <optional>

#include "core/failure_messages.h"
#include "core/folders.h"
#include "core/library_names.h"
#include "core/paths.h"
#include "platform/os_error.h"
#include "platform/file_names.h"

namespace zfe::datlib {

namespace {

// True when the chosen file already is the library's file (picked inside the
// library folder, or reached through a link): copying it onto itself would
// gain nothing.
bool isSameFile(const std::string& source, const std::string& destination) {
    return platform::isSameFileOrFolder(source, destination);
}

}  // namespace

bool importDat(core::UserInterface& ui, core::CommonDialogMemory& dialog, const std::string& applicationPath,
               platform::FileSystemService& files) {
    core::FileDialogRequest request;
    request.initialFileName = dialog.fileName;
    const std::optional<std::string> chosen = ui.showOpenDialog(request);
    if (!chosen || chosen->empty()) {
        return false;
    }
    dialog.fileName = *chosen;
    dialog.fileTitle = core::fileNameOf(*chosen);

    // The copy below reads the bare name relative to the chosen file's folder.
    try {
        core::enterFolderOf(*chosen);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage("Impossibile importare il file " + core::inQuotes(*chosen) +
                                          ": la cartella " + core::inQuotes(error.subject()) +
                                          " non è accessibile.",
                                      error));
        return false;
    }

    const std::string library = core::datFolder(applicationPath);
    const std::string& source = dialog.fileTitle;
    // A pipe would hold the copy until something writes to it, a device never
    // ends; only what exists and is not a file is refused here, a missing file
    // is left to the copy's own message.
    if ((platform::fileExists(source) || platform::directoryExists(source)) &&
        !platform::isRegularFile(source)) {
        ui.showMessage(core::criticalMessage("Impossibile importare " + core::inQuotes(*chosen) +
                                             ": non è un file, ma una cartella, una pipe o un dispositivo."));
        return true;
    }
    // The library keeps one file of a name, whatever its letter case: an
    // import of X.DAT over x.dat writes the new content under the library's
    // own spelling, x.dat, as a copy onto an existing file does on Windows.
    std::optional<std::string> replaced;
    try {
        replaced = core::libraryFileNamed(source, platform::listFiles(library));
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage("Impossibile importare il file " + core::inQuotes(*chosen) +
                                          ": la cartella della libreria " + core::inQuotes(library) +
                                          " non è leggibile.",
                                      error));
        return true;
    }

    const std::string destination = library + replaced.value_or(source);
    if (isSameFile(source, destination)) {
        return true;
    }
    if (replaced && ui.showMessage(core::replaceQuestion(*replaced)) != core::MessageAnswer::Yes) {
        return false;
    }
    try {
        files.copyFile(source, destination, true);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::failureMessage("Impossibile importare il file " + core::inQuotes(*chosen) +
                                          " in " + core::inQuotes(destination) + ".",
                                      error));
        return true;
    }
    return true;
}

bool deleteDat(core::UserInterface& ui, const std::string& oldListFolder, const std::string& selectedName,
               platform::FileSystemService& files) {
    if (selectedName.empty()) {
        return false;
    }
    std::string folder = oldListFolder;
    if (folder.empty() || !platform::isPathSeparator(folder.back())) {
        folder += platform::kPathSeparator;
    }

    core::Message question;
    question.text = std::string("Eliminare il file ") + '"' + selectedName + '"' + " ?";
    question.icon = core::MessageIcon::Question;
    question.buttons = core::MessageButtons::YesNo;
    question.defaultButton = core::MessageAnswer::Yes;
    if (ui.showMessage(question) == core::MessageAnswer::No) {
        return false;
    }

    const std::string path = folder + selectedName;
    try {
        // Not forced: a dat the user made read-only is protected from this.
        files.deleteFile(path, false);
    } catch (const platform::OsError& error) {
        ui.showMessage(core::deleteFailedMessage(path, error));
    }
    return true;
}

}  // namespace zfe::datlib
