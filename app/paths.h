#pragma once

#include <string>

namespace zfe {

// Both separators count on Windows, only "/" elsewhere.
bool isPathSeparator(char c) noexcept;

// The name after the last separator ("mame.exe" for "/emu/mame.exe").
std::string fileNameOf(const std::string& path);
// Everything before the last separator; the root keeps its separator ("/" for
// "/a.dat", "C:\" for "C:\a.dat"); empty for a bare name.
std::string folderOf(const std::string& path);

}  // namespace zfe
