#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/user_interface.h"

namespace zfe::core {

// Names in the dat library are matched as Windows matches them, without
// regard to letter case: the library keeps one file of a name, whatever its
// case.
bool sameNameIgnoringCase(const std::string& a, const std::string& b);

// The library's file that a new file named `name` would replace, in the
// library's own spelling, or nothing when there is none. An exact match wins
// over one in another letter case.
std::optional<std::string> libraryFileNamed(const std::string& name,
                                            const std::vector<std::string>& libraryNames);

// "Il file NAME esiste già. Sostituirlo?": Yes and No, No by default, asked
// before a library file is replaced.
Message replaceQuestion(const std::string& name);

}  // namespace zfe::core
