#pragma once

#include <string>

#include "platform/file_system.h"

namespace zfe::core {

// The application folder and the two folders beside the program. Each is formed
// afresh from the application path every time it is needed; none is cached.
// `separator` is the platform's own unless a test asks for another.

// The application path with a separator appended when its last character is not
// one (so the root "/" or "C:\" stays as it is).
std::string appFolder(const std::string& applicationPath,
                      char separator = platform::kPathSeparator);
// The dat library: appFolder + "datfiles" + separator.
std::string datFolder(const std::string& applicationPath,
                      char separator = platform::kPathSeparator);
// The diff tool's folder and work folder: appFolder + "zdrl" + separator.
std::string toolFolder(const std::string& applicationPath,
                       char separator = platform::kPathSeparator);

// The two places that append a literal starting with a separator to the
// application path directly (so at the root they hold a doubled separator,
// which names the same folder):
// the folder of both dat lists, applicationPath + "/datfiles/";
std::string datListFolder(const std::string& applicationPath,
                          char separator = platform::kPathSeparator);
// a file of the tool's folder after a run, applicationPath + "/zdrl/" + name.
std::string toolOutputPath(const std::string& applicationPath, const std::string& fileName,
                           char separator = platform::kPathSeparator);

}  // namespace zfe::core
