#pragma once

// Whether the file system takes a name for a new file, asked before anything
// is started for it. Header only and free of OS headers: the rules are the
// platform's documented limits, not a probe of the disk.

#include <algorithm>
#include <array>
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/file_names.h"

namespace zfe::platform {

enum class FileNameProblem {
    None,
    RefusedCharacter,  // one of kRefusedNameCharacters, or a control character on Windows
    ReservedName,      // Windows' device names: CON, NUL, COM1, ...
    TooLong,           // the name, or the whole path, passes the platform's limit
};

#ifdef _WIN32
// Names count UTF-16 units, and a path without the long-path prefix stays
// below MAX_PATH (260, the closing NUL included).
inline constexpr std::size_t kMaxFileNameLength = 255;
inline constexpr std::size_t kMaxPathLength = 259;
#else
// NAME_MAX and PATH_MAX of Linux, in bytes.
inline constexpr std::size_t kMaxFileNameLength = 255;
inline constexpr std::size_t kMaxPathLength = 4095;
#endif
// The temporary file that a replacement writes beside the new file first
// (".zfe-replace-<pid>-<n>-<ticks>") must fit in the folder as well.
inline constexpr std::size_t kTemporaryNameLength = 48;

// The length of UTF-8 text in the platform's units for names.
inline std::size_t fileNameLength(std::string_view text) {
#ifdef _WIN32
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) ++units;  // one unit per character...
        if (byte >= 0xF0) ++units;           // ...two beyond the basic plane
    }
    return units;
#else
    return text.size();
#endif
}

// The longest name that `folder` (with its final separator) takes.
inline std::size_t longestFileName(std::string_view folder) {
    const std::size_t used = fileNameLength(folder);
    const std::size_t pathRoom = used >= kMaxPathLength ? 0 : kMaxPathLength - used;
    return std::min(kMaxFileNameLength, pathRoom);
}

inline FileNameProblem fileNameProblem(std::string_view folder, std::string_view name) {
    if (name.find_first_of(kRefusedNameCharacters) != std::string_view::npos) {
        return FileNameProblem::RefusedCharacter;
    }
#ifdef _WIN32
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 32; })) {
        return FileNameProblem::RefusedCharacter;
    }
    // A device name is reserved with any extension and trailing blanks.
    std::string stem(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static constexpr std::array<std::string_view, 4> kDevices{"CON", "PRN", "AUX", "NUL"};
    const bool numbered = stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
                          stem[3] >= '1' && stem[3] <= '9';
    if (numbered || std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end()) {
        return FileNameProblem::ReservedName;
    }
#endif
    const std::size_t limit = longestFileName(folder);
    if (fileNameLength(name) > limit || kTemporaryNameLength > limit) {
        return FileNameProblem::TooLong;
    }
    return FileNameProblem::None;
}

}  // namespace zfe::platform
