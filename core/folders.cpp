#include "core/folders.h"

namespace zfe::core {

std::string appFolder(const std::string& applicationPath, char separator) {
    // Only the last character is compared, exactly: the root keeps its single
    // separator.
    if (!applicationPath.empty() && applicationPath.back() == separator) {
        return applicationPath;
    }
    return applicationPath + separator;
}

std::string datFolder(const std::string& dataPath, char separator) {
    return appFolder(dataPath, separator) + "datfiles" + separator;
}

std::string toolFolder(const std::string& programPath, char separator) {
    return appFolder(programPath, separator) + "zdrl" + separator;
}

std::string workFolder(const std::string& dataPath, char separator) {
    // Named apart from toolFolder because the two part when the program's
    // folder cannot be written.
    return toolFolder(dataPath, separator);
}

std::string datListFolder(const std::string& dataPath, char separator) {
    return dataPath + separator + "datfiles" + separator;
}

std::string toolOutputPath(const std::string& dataPath, const std::string& fileName,
                           char separator) {
    return dataPath + separator + "zdrl" + separator + fileName;
}

}  // namespace zfe::core
