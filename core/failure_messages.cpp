#include "core/failure_messages.h"

namespace zfe::core {

std::string inQuotes(const std::string& text) {
    return "\"" + text + "\"";
}

Message failureMessage(const std::string& whatFailed, const std::string& reason) {
    return criticalMessage(whatFailed + "\r\nMotivo: " + reason);
}

Message failureMessage(const std::string& whatFailed, const platform::OsError& error) {
    return failureMessage(whatFailed, error.reason());
}

std::string shownLine(std::string_view line, std::size_t width) {
    if (line.size() <= width) return std::string(line);
    std::size_t cut = width;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    return std::string(line.substr(0, cut)) + "...";
}

Message deleteFailedMessage(const std::string& path, const platform::OsError& error) {
    return failureMessage("Impossibile eliminare il file " + inQuotes(path) + ".", error);
}

Message folderChangeFailedMessage(const std::string& folder, const platform::OsError& error) {
    return failureMessage("Impossibile impostare la cartella corrente " + inQuotes(folder) + ".",
                          error);
}

}  // namespace zfe::core
