#pragma once

// The names of the temporary files that the program makes beside a file it
// writes: a replacement's new content before it is renamed into place, and the
// probe that tells whether a folder can be written. Each name carries the id of
// the process that made it, so that a later start can tell the files of a
// program that was ended part-way from those of one that still runs.
// Header only and free of OS headers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zfe::platform {

inline constexpr std::string_view kReplacementPrefix = ".zfe-replace";
inline constexpr std::string_view kProbePrefix = ".zfe-probe";

// "<prefix>-<process id>-<counter>-<ticks in hex>": unique enough among
// processes (the id), threads and calls (the counter) and runs (the clock);
// creating it exclusively settles the rest.
inline std::string temporaryFileName(std::string_view prefix, std::int64_t processId,
                                     unsigned counter, unsigned long long ticks) {
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string hex;
    do {
        hex.insert(hex.begin(), kHexDigits[ticks % 16]);
        ticks /= 16;
    } while (ticks != 0);
    return std::string(prefix) + "-" + std::to_string(processId) + "-" + std::to_string(counter) +
           "-" + hex;
}

// The id of the process that made the temporary file of this name, or nothing
// for any other name.
inline std::optional<std::int64_t> temporaryFileOwner(std::string_view name) {
    for (const std::string_view prefix : {kReplacementPrefix, kProbePrefix}) {
        if (!name.starts_with(prefix) || name.size() <= prefix.size() || name[prefix.size()] != '-') {
            continue;
        }
        std::int64_t owner = 0;
        std::size_t at = prefix.size() + 1;
        const std::size_t digitsStart = at;
        for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
            if (at - digitsStart >= 18) return std::nullopt;  // no process has such an id
            owner = owner * 10 + (name[at] - '0');
        }
        if (at == digitsStart || at == name.size() || name[at] != '-') return std::nullopt;
        return owner;
    }
    return std::nullopt;
}

}  // namespace zfe::platform
