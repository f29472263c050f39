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

std::string datFolder(const std::string& applicationPath, char separator) {
    return appFolder(applicationPath, separator) + "datfiles" + separator;
}

std::string toolFolder(const std::string& applicationPath, char separator) {
    return appFolder(applicationPath, separator) + "zdrl" + separator;
}

std::string datListFolder(const std::string& applicationPath, char separator) {
    return applicationPath + separator + "datfiles" + separator;
}

std::string toolOutputPath(const std::string& applicationPath, const std::string& fileName,
                           char separator) {
    return applicationPath + separator + "zdrl" + separator + fileName;
}

}  // namespace zfe::core
