#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zfe::datgen {

// Synthetic dats in the listinfo text format, deterministic from a seed: the
// same options give the same bytes on every platform and standard library.
struct Options {
    int games = 300;  // games in the first version (parents and clones)
    std::uint32_t seed = 1;
    bool nextVersion = false;  // write the next version of the same dat instead
    bool crlf = false;         // CRLF line ends instead of LF
};

// What the next version changed against the first, by game name. "changed"
// lists the games present in both whose own rom list changed (roms added,
// removed or re-dumped). Every list is sorted by name (byte order); renamed
// pairs by their old name.
struct Changes {
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::pair<std::string, std::string>> renamed;  // old name, new name
    std::vector<std::string> changed;
};

struct Generated {
    std::string text;  // the dat, listinfo format
    Changes changes;   // empty for a first version
};

// Throws std::invalid_argument when options.games is negative.
Generated generate(const Options& options);

// The change list as text, one item a line: "added NAME", "removed NAME",
// "renamed OLD NEW", "changed NAME".
std::string changesText(const Changes& changes);

}  // namespace zfe::datgen
