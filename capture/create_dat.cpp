#include "capture/create_dat.h"

#include <string_view>

#include "core/folders.h"
#include "platform/file_names.h"

namespace zfe::capture {

core::FileFilter executableFilter() {
    return {std::string("Eseguibile (") + platform::kExecutablePattern + ")",
            platform::kExecutablePattern};
}

bool isUsableDatName(const std::string& name) {
    return name.find_first_of(platform::kRefusedNameCharacters) == std::string::npos;
}

std::optional<core::Message> checkCreateInput(const std::string& exeLabel, const std::string& datName) {
    if (datName.empty() || exeLabel.empty()) return core::warningMessage(kMissingInputText);
    if (!isUsableDatName(datName)) {
        return core::warningMessage(std::string("Il nome descrittivo del file Dat non può contenere ") +
                              "\r\ni caratteri " + platform::kRefusedNameCharactersShown + ".");
    }
    return std::nullopt;
}

std::string datOutputPath(const std::string& applicationPath, const std::string& datName) {
    return core::datFolder(applicationPath) + datName + ".dat";
}

std::string listInfoCommandLine(const std::string& exePath) {
    return exePath + " -listinfo";
}

}  // namespace zfe::capture
