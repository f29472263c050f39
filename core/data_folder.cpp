#include "core/data_folder.h"

#include <vector>

#include "core/failure_messages.h"
#include "core/folders.h"
#include "platform/os_error.h"

namespace zfe::core {

namespace {

// The installation's sample dats, into a library that has just been made. A
// failure ends the copying: the samples copied so far stay, and the message
// names the one that failed.
std::optional<Message> copySampleDats(const std::string& programPath, const std::string& library,
                                      platform::FileSystemService& files) {
    const std::string samples = datFolder(programPath);
    if (!platform::directoryExists(samples)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    try {
        names = platform::listFiles(samples);
    } catch (const platform::OsError& error) {
        return failureMessage(
            "Impossibile leggere la cartella dei dat di esempio " + inQuotes(samples) + ".", error);
    }
    for (const std::string& name : names) {
        try {
            files.copyFile(samples + name, library + name, false);
        } catch (const platform::OsError& error) {
            return failureMessage("Impossibile copiare il dat di esempio " +
                                      inQuotes(samples + name) + " in " +
                                      inQuotes(library + name) + ".",
                                  error);
        }
    }
    return std::nullopt;
}

}  // namespace

std::string perUserDataPath(const std::string& userDataFolder, char separator) {
    return appFolder(userDataFolder, separator) + "ZandorelFE";
}

bool programFolderTakesData(const std::string& programPath, platform::FileSystemService& files) {
    for (const std::string& folder : {datFolder(programPath), workFolder(programPath)}) {
        const std::string& probed = platform::directoryExists(folder) ? folder : programPath;
        if (!files.canWriteIn(probed)) {
            return false;
        }
    }
    return true;
}

DataFolderChoice chooseDataPath(const std::string& programPath, const std::string& userDataFolder,
                                platform::FileSystemService& files) {
    if (programFolderTakesData(programPath, files)) {
        return {programPath, std::nullopt};
    }
    if (userDataFolder.empty()) {
        return {programPath,
                warningMessage("La cartella del programma " + inQuotes(programPath) +
                               " non è scrivibile e non si conosce una cartella per i dati "
                               "dell'utente: la libreria dei dat e la cartella di lavoro "
                               "restano quelle del programma.")};
    }

    const std::string dataPath = perUserDataPath(userDataFolder);
    const std::string library = datFolder(dataPath);
    const bool firstStart = !platform::directoryExists(library);
    try {
        platform::createFolders(library);
        platform::createFolders(workFolder(dataPath));
    } catch (const platform::OsError& error) {
        return {dataPath,
                failureMessage("Impossibile creare la cartella " + inQuotes(error.subject()) + ".",
                               error)};
    }
    return {dataPath, firstStart ? copySampleDats(programPath, library, files) : std::nullopt};
}

}  // namespace zfe::core
