#pragma once

// How the platform spells file names: what the front end needs to know of it,
// in one place, so that no code above this layer asks which platform it runs on.

#include <string_view>

namespace zfe::platform {

#ifdef _WIN32
inline constexpr const char* kExecutableSuffix = ".exe";
// The pattern and caption of an Open dialog that offers programs.
inline constexpr const char* kExecutablePattern = "*.exe";
// Characters a file name cannot hold (the NUL included), and how a message shows them.
inline constexpr std::string_view kRefusedNameCharacters{"\\/:*?\"<>|\0", 10};
inline constexpr const char* kRefusedNameCharactersShown = "\\ / : * ? \" < > |";
#else
inline constexpr const char* kExecutableSuffix = "";
inline constexpr const char* kExecutablePattern = "*";
inline constexpr std::string_view kRefusedNameCharacters{"/\0", 2};
inline constexpr const char* kRefusedNameCharactersShown = "/";
#endif

// Windows takes "/" as well as its own "\" between the parts of a path.
constexpr bool isPathSeparator(char c) noexcept {
#ifdef _WIN32
    return c == '\\' || c == '/';
#else
    return c == '/';
#endif
}

}  // namespace zfe::platform
