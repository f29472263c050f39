#include "capture/create_dat.h"

#include <string_view>

#include "app/folders.h"

namespace zfe::capture {

namespace {

#ifdef _WIN32
constexpr std::string_view kRefusedCharacters{"\\/:*?\"<>|\0", 10};
constexpr const char* kRefusedCharactersShown = "\\ / : * ? \" < > |";
#else
constexpr std::string_view kRefusedCharacters{"/\0", 2};
constexpr const char* kRefusedCharactersShown = "/";
#endif

}  // namespace

FileFilter executableFilter() {
#ifdef _WIN32
    return {"Eseguibile (*.exe)", "*.exe"};
#else
    return {"Eseguibile (*)", "*"};
#endif
}

bool isUsableDatName(const std::string& name) {
    return name.find_first_of(kRefusedCharacters) == std::string::npos;
}

std::optional<Message> checkCreateInput(const std::string& exeLabel, const std::string& datName) {
    if (datName.empty() || exeLabel.empty()) return warningMessage(kMissingInputText);
    if (!isUsableDatName(datName)) {
        return warningMessage(std::string("Il nome descrittivo del file Dat non può contenere ") +
                              "\r\ni caratteri " + kRefusedCharactersShown + ".");
    }
    return std::nullopt;
}

std::string datOutputPath(const std::string& applicationPath, const std::string& datName) {
    return datFolder(applicationPath) + datName + ".dat";
}

std::string listInfoCommandLine(const std::string& exePath) {
    return exePath + " -listinfo";
}

}  // namespace zfe::capture
