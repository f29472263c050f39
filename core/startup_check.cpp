#include "core/startup_check.h"

#include <vector>

#include "core/folders.h"

namespace zfe::core {

std::optional<Message> missingFoldersWarning(
    const std::string& applicationPath,
    const std::function<bool(const std::string&)>& folderExists) {
    const std::string library = datFolder(applicationPath);
    const std::string tool = toolFolder(applicationPath);
    const bool libraryMissing = !folderExists(library);
    const bool toolMissing = !folderExists(tool);
    if (!libraryMissing && !toolMissing) {
        return std::nullopt;
    }

    std::string text = libraryMissing && toolMissing ? "Mancano due cartelle accanto al programma:"
                                                     : "Manca una cartella accanto al programma:";
    if (libraryMissing) {
        text += "\r\n" + library + "  (libreria dei dat)";
    }
    if (toolMissing) {
        text += "\r\n" + tool + "  (programma di confronto)";
    }
    text += libraryMissing && toolMissing ? "\r\n\r\nLe cartelle non vengono create."
                                          : "\r\n\r\nLa cartella non viene creata.";
    if (libraryMissing) {
        text += " Le liste dei dat restano vuote.";
    }
    if (toolMissing) {
        text += " Senza il programma di confronto non si può creare un DiffDat.";
    }
    return warningMessage(std::move(text));
}

}  // namespace zfe::core
