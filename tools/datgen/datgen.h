#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zfe::datgen {

// Synthetic dats in the listinfo text format, deterministic from a seed.
struct Options {
    int games = 300;          // games in the first version (parents and clones)
    std::uint32_t seed = 1;
    bool nextVersion = false; // write the next version of the same dat instead
};

// What the next version changed against the first, by game name. "changed"
// lists the games present in both whose own rom list changed (roms added,
// removed or re-dumped).
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

Generated generate(const Options& options);

}  // namespace zfe::datgen
