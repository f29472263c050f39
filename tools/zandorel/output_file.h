#pragma once

#include <string>
#include <string_view>

namespace zfe::zandorel {

// Writes the file under a temporary name beside it and renames it into place,
// so that the path holds either its old content or all of the new, never part.
// Throws std::runtime_error naming the path and the reason.
void writeFileReplacing(const std::string& path, std::string_view content);

// Removes the file if it is there; a missing file is no failure.
void removeFileIfPresent(const std::string& path) noexcept;

}  // namespace zfe::zandorel
