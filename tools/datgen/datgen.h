#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zfe::datgen {

enum class Format {
    listinfo,  // the text blocks MAME printed for -listinfo
    listxml,   // what today's MAME prints for -listxml
};

// The machines in MAME 0.251's -listxml, the default size of that format.
// Every other count of a -listxml dat scales with the number of machines.
inline constexpr int kListxmlMachines = 45'294;

// Synthetic emulator dats, deterministic from a seed: the same options give the
// same bytes on every platform and standard library.
struct Options {
    int games = 300;  // games in the first version (parents and clones); for
                      // -listxml, machines (devices and BIOS sets too)
    std::uint32_t seed = 1;
    bool nextVersion = false;  // write the next version of the same dat instead
    bool crlf = false;         // CRLF line ends instead of LF
    Format format = Format::listinfo;
};

// A clone that the next version moved to another parent.
struct Reparented {
    std::string name;
    std::string from;  // the parent it had
    std::string to;    // the parent it has now
    auto operator<=>(const Reparented&) const = default;
};

// A game whose driver status the next version changed.
struct StatusChange {
    std::string name;
    std::string from;
    std::string to;
    auto operator<=>(const StatusChange&) const = default;
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
    // Only -listxml dats move clones: cloneof and romof name the new parent, and
    // the roms the clone shared with the old one are its own now (or shared
    // with the new parent, where it has the same rom). Not also in "changed".
    std::vector<Reparented> reparented;
    // Games present in both under the same name whose driver status or
    // description changed, whatever their roms did; more statuses get better
    // than worse, as in a real release.
    std::vector<StatusChange> statusChanged;
    std::vector<std::string> redescribed;
};

struct Generated {
    std::string text;  // the dat
    Changes changes;   // empty for a first version
};

// Throws std::invalid_argument when options.games is negative.
Generated generate(const Options& options);

// The change list as text, one item a line: "added NAME", "removed NAME",
// "renamed OLD NEW", "changed NAME", "reparented NAME OLDPARENT NEWPARENT",
// "status NAME OLDSTATUS NEWSTATUS", "redescribed NAME".
std::string changesText(const Changes& changes);

}  // namespace zfe::datgen
