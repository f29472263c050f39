#pragma once

// The sets that a dat describes under one set type, and the identity of their
// entries.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "tools/zandorel/dat.h"

namespace zfe::zandorel {

enum class SetType { Split, Merged, NonMerged, FullNonMerged };

// "split", "merged", "non-merged", "full non-merged"
std::string_view setTypeName(SetType type);

// An entry is identified by its kind (rom or disk), its name without regard to
// case, and its data: size and crc, else sha1, else md5. Orders entries by that
// identity, so that a set's content can be sorted and two contents compared.
int compareEntries(const Dat& a, const Entry& x, const Dat& b, const Entry& y);
bool sameName(const Dat& a, const Entry& x, const Dat& b, const Entry& y);
// compareEntries(...) == 0, looking at the text last.
bool sameEntry(const Dat& a, const Entry& x, const Dat& b, const Entry& y);
// Equal data that is worth matching on: a crc, sha1 or md5 on both sides.
bool sameKnownData(const Dat& a, const Entry& x, const Dat& b, const Entry& y);
// Orders entries by kind and data alone, names aside.
int compareKindAndData(const Dat& a, const Entry& x, const Dat& b, const Entry& y);

// Asks for the memory of a text soon to be read: the names of a large dat lie
// far apart, and a walk over them waits on memory more than it computes.
inline void prefetch(std::string_view text) {
#if defined(__GNUC__) || defined(__clang__)
    if (!text.empty()) __builtin_prefetch(text.data());
#else
    (void)text;
#endif
}

// Full non-merged sets may hold this many entries in all, or so many times the
// entries of their dat where that is more.
inline constexpr std::uint64_t kMostFullEntries = std::uint64_t{1} << 22;
inline constexpr std::uint64_t kFullEntriesPerEntry = 64;

class SetModel {
public:
    // Throws DatError when the dat's clones form a loop, or when its full
    // non-merged sets would hold more than kMostFullEntries entries and
    // kFullEntriesPerEntry times the dat's.
    SetModel(const Dat& dat, SetType type);

    const Dat& dat() const { return *dat_; }
    SetType type() const { return type_; }
    std::size_t size() const { return sets_.size(); }

    // The set's name: its game's, or under merged its parent's.
    std::string_view name(std::size_t set) const;
    // The game that gives the set its name, and what the set is.
    std::uint32_t nameGame(std::size_t set) const { return sets_[set].nameGame; }
    // Entry indices into dat().entries, sorted by compareEntries, no two equal.
    std::span<const std::uint32_t> content(std::size_t set) const;
    // The games whose blocks make the set, as indices into dat().games in the
    // dat's order; under merged the parent comes first.
    std::span<const std::uint32_t> members(std::size_t set) const;
    std::optional<std::size_t> find(std::string_view name) const;
    std::size_t setOfGame(std::uint32_t game) const { return setOfGame_[game]; }

    // Whether the set holds an entry of that identity (from any dat).
    bool contains(std::size_t set, const Dat& dat, const Entry& entry) const;
    // Whether an entry of the game counts for its set under this set type.
    bool counts(const Entry& entry) const;

    // The game that the game's set is built on: its parent, or for a game that
    // is nobody's clone the BIOS set it runs on; kNoGame when there is none in
    // the dat.
    std::uint32_t baseOf(std::uint32_t game) const { return base_[game]; }
    static constexpr std::uint32_t kNoGame = UINT32_MAX;
    std::optional<std::uint32_t> findGame(std::string_view name) const;

    // Under full non-merged, the games that the game names as its devices, each
    // once, in the order that it names them, itself and names of no game of the
    // dat left out; none under the other set types.
    std::span<const std::uint32_t> devicesOf(std::uint32_t game) const;
    // The names that the dat gives as devices and no game of it has, in the
    // order first given.
    const std::vector<std::string_view>& missingDevices() const { return missingDevices_; }

private:
    struct Set {
        std::uint32_t nameGame;
        std::uint32_t firstItem;
        std::uint32_t itemCount;
        std::uint32_t firstMember;
        std::uint32_t memberCount;
    };

    std::vector<std::uint32_t> topParents(const std::vector<std::uint32_t>& parents) const;
    // Fills the games' devices; returns how many entries their full sets hold.
    std::uint64_t findDevices();

    const Dat* dat_;
    SetType type_;
    std::vector<Set> sets_;
    std::vector<std::uint32_t> items_;
    std::vector<std::uint32_t> members_;
    std::vector<std::uint32_t> setOfGame_;
    std::vector<std::uint32_t> base_;
    std::vector<std::uint32_t> devices_;      // of every game, one after the other
    std::vector<std::uint32_t> firstDevice_;  // of each game in devices_, and the end
    std::vector<std::string_view> missingDevices_;
};

}  // namespace zfe::zandorel
