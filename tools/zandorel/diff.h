#pragma once

// What changed between the sets of an old and a new dat.

#include <cstdint>
#include <utility>
#include <vector>

#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {

struct EntryChange {
    enum class Kind { Added, Removed, Changed, Renamed };
    Kind kind;
    // Indices into the old and the new dat's entries; kNone where the entry is
    // on one side only.
    std::uint32_t oldEntry;
    std::uint32_t newEntry;
    static constexpr std::uint32_t kNone = UINT32_MAX;
};

struct ChangedSet {
    std::uint32_t oldSet;
    std::uint32_t newSet;
    std::vector<EntryChange> entries;
};

struct DiffResult {
    std::vector<std::uint32_t> added;    // new sets, in the new dat's order
    std::vector<std::uint32_t> removed;  // old sets, in the old dat's order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> renamed;  // old set, new set
    std::vector<ChangedSet> changed;                               // in the new dat's order
    std::size_t unchanged = 0;
    // The games in both dats, under the same name, whose driver status
    // differs (both give one): those that got better first, then those that
    // got worse, then those neither (a status other than preliminary,
    // imperfect and good), each in the new dat's order. They change neither
    // the exit code nor the diff dat.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> statusChanged;  // old game, new game
    std::size_t statusBetter = 0;
    std::size_t statusWorse = 0;

    // Whether the sets are the same; status changes aside.
    bool empty() const {
        return added.empty() && removed.empty() && renamed.empty() && changed.empty();
    }
};

// Both models must have the same set type. From twice `setsPerThread` new sets
// on, the work is shared with a second thread; the result is the same.
inline constexpr std::size_t kSetsPerThread = 2048;
DiffResult diffSets(const SetModel& oldSets, const SetModel& newSets,
                    std::size_t setsPerThread = kSetsPerThread);

// A hash that equal contents share, whichever dat they come from, keyed anew in
// every run: no dat can be made whose sets all hash alike.
std::uint64_t contentHash(const SetModel& sets, std::size_t set);

// How two contents differ, entry by entry; empty when they are equal.
std::vector<EntryChange> diffContent(const SetModel& oldSets, std::size_t oldSet,
                                     const SetModel& newSets, std::size_t newSet);

}  // namespace zfe::zandorel
