#pragma once

#include <string>

#include "platform/file_system.h"

namespace zfe::core {

// The application folder and the folders in it. Each is formed afresh from a
// path every time it is needed; none is cached. `separator` is the platform's
// own unless a test asks for another.
//
// Two paths are in play, and they are the same folder unless this user cannot
// write the program's own folder (see data_folder.h):
// - the program path, the folder of the running executable: the diff tool
//   runs from its zdrl/;
// - the data path, which holds the dat library datfiles/ and the tool's work
//   folder zdrl/, where the dats are staged and the tool writes its files.

// A path with a separator appended when its last character is not one (so the
// root "/" or "C:\" stays as it is).
std::string appFolder(const std::string& applicationPath,
                      char separator = platform::kPathSeparator);
// The dat library: appFolder(dataPath) + "datfiles" + separator.
std::string datFolder(const std::string& dataPath, char separator = platform::kPathSeparator);
// The folder of the diff tool itself: appFolder(programPath) + "zdrl" + separator.
std::string toolFolder(const std::string& programPath,
                       char separator = platform::kPathSeparator);
// The tool's work folder: appFolder(dataPath) + "zdrl" + separator.
std::string workFolder(const std::string& dataPath, char separator = platform::kPathSeparator);

// The two places that append a literal starting with a separator to the data
// path directly (so at the root they hold a doubled separator, which names the
// same folder):
// the folder of both dat lists, dataPath + "/datfiles/";
std::string datListFolder(const std::string& dataPath,
                          char separator = platform::kPathSeparator);
// a file of the work folder after a run, dataPath + "/zdrl/" + name.
std::string toolOutputPath(const std::string& dataPath, const std::string& fileName,
                           char separator = platform::kPathSeparator);

}  // namespace zfe::core
