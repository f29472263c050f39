#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zfe::core {

// The name after the last separator ("mame.exe" for "/emu/mame.exe").
std::string fileNameOf(const std::string& path);
// Everything before the last separator; the root keeps its separator ("/" for
// "/a.dat", "C:\" for "C:\a.dat"); empty for a bare name.
std::string folderOf(const std::string& path);

// Paths are UTF-8 text throughout the program; this keeps them so on Windows,
// where a narrow std::filesystem::path would read them in the ANSI code page.
std::filesystem::path toFsPath(const std::string& path);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::string& path);

// A confirmed file dialog leaves the process in the chosen file's folder: the
// import reads its source as a bare name relative to it. A bare name, without
// a folder, leaves the current directory as it is. Throws platform::OsError
// whose subject is the folder.
void enterFolderOf(const std::string& chosenFile);

}  // namespace zfe::core
