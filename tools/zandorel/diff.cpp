#include "tools/zandorel/diff.h"

#include <algorithm>
#include <unordered_map>

namespace zfe::zandorel {

namespace {

bool sameContent(const SetModel& oldSets, std::size_t oldSet, const SetModel& newSets,
                 std::size_t newSet) {
    const auto a = oldSets.content(oldSet);
    const auto b = newSets.content(newSet);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (compareEntries(oldSets.dat(), oldSets.dat().entries[a[i]], newSets.dat(),
                           newSets.dat().entries[b[i]]) != 0) {
            return false;
        }
    }
    return true;
}

// A hash that equal contents share, whichever dat they come from.
std::size_t contentHash(const SetModel& sets, std::size_t set) {
    std::size_t hash = 0;
    const Dat& dat = sets.dat();
    for (const std::uint32_t item : sets.content(set)) {
        const Entry& entry = dat.entries[item];
        std::size_t h = hashFolded(dat.view(entry.name)) ^ (entry.isDisk() ? 0x5bd1e995U : 0U);
        // Only the data that identifies the entry goes in, as compareEntries sees it.
        if (entry.hasCrc()) {
            h ^= (entry.size * 0x9E3779B97F4A7C15ULL) ^ entry.crc;
        } else if (!entry.sha1.empty()) {
            h ^= hashFolded(dat.view(entry.sha1)) << 1;
        } else if (!entry.md5.empty()) {
            h ^= hashFolded(dat.view(entry.md5)) << 2;
        } else {
            h ^= entry.size * 0x9E3779B97F4A7C15ULL;
        }
        hash = hash * 1000003U ^ h;
    }
    return hash ^ sets.content(set).size();
}

}  // namespace

std::vector<EntryChange> diffContent(const SetModel& oldSets, std::size_t oldSet,
                                     const SetModel& newSets, std::size_t newSet) {
    const Dat& oldDat = oldSets.dat();
    const Dat& newDat = newSets.dat();
    const auto a = oldSets.content(oldSet);
    const auto b = newSets.content(newSet);
    std::vector<std::uint32_t> oldOnly;
    std::vector<std::uint32_t> newOnly;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size()) {
            oldOnly.push_back(a[i++]);
        } else if (i == a.size()) {
            newOnly.push_back(b[j++]);
        } else {
            const int order =
                compareEntries(oldDat, oldDat.entries[a[i]], newDat, newDat.entries[b[j]]);
            if (order < 0) {
                oldOnly.push_back(a[i++]);
            } else if (order > 0) {
                newOnly.push_back(b[j++]);
            } else {
                ++i;
                ++j;
            }
        }
    }

    std::vector<EntryChange> changes;
    std::vector<bool> oldUsed(oldOnly.size(), false);
    std::vector<bool> newUsed(newOnly.size(), false);
    // Same name, other data: both lists are sorted by name, so a walk pairs them.
    for (std::size_t x = 0, y = 0; x < oldOnly.size() && y < newOnly.size();) {
        const Entry& o = oldDat.entries[oldOnly[x]];
        const Entry& n = newDat.entries[newOnly[y]];
        if (sameName(oldDat, o, newDat, n)) {
            changes.push_back({EntryChange::Kind::Changed, oldOnly[x], newOnly[y]});
            oldUsed[x++] = true;
            newUsed[y++] = true;
        } else if (compareEntries(oldDat, o, newDat, n) < 0) {
            ++x;
        } else {
            ++y;
        }
    }
    // Same data, other name.
    for (std::size_t y = 0; y < newOnly.size(); ++y) {
        if (newUsed[y]) continue;
        for (std::size_t x = 0; x < oldOnly.size(); ++x) {
            if (oldUsed[x]) continue;
            if (sameKnownData(oldDat, oldDat.entries[oldOnly[x]], newDat,
                              newDat.entries[newOnly[y]])) {
                changes.push_back({EntryChange::Kind::Renamed, oldOnly[x], newOnly[y]});
                oldUsed[x] = true;
                newUsed[y] = true;
                break;
            }
        }
    }
    for (std::size_t y = 0; y < newOnly.size(); ++y) {
        if (!newUsed[y])
            changes.push_back({EntryChange::Kind::Added, EntryChange::kNone, newOnly[y]});
    }
    for (std::size_t x = 0; x < oldOnly.size(); ++x) {
        if (!oldUsed[x]) {
            changes.push_back({EntryChange::Kind::Removed, oldOnly[x], EntryChange::kNone});
        }
    }
    return changes;
}

DiffResult diffSets(const SetModel& oldSets, const SetModel& newSets) {
    DiffResult result;
    std::vector<bool> oldMatched(oldSets.size(), false);
    std::vector<std::uint32_t> addedCandidates;
    for (std::uint32_t n = 0; n < newSets.size(); ++n) {
        const std::optional<std::size_t> o = oldSets.find(newSets.name(n));
        if (!o) {
            addedCandidates.push_back(n);
            continue;
        }
        oldMatched[*o] = true;
        if (sameContent(oldSets, *o, newSets, n)) {
            ++result.unchanged;
        } else {
            result.changed.push_back(
                {static_cast<std::uint32_t>(*o), n, diffContent(oldSets, *o, newSets, n)});
        }
    }

    // Removed sets by content, for finding the added sets that are renames.
    std::unordered_multimap<std::size_t, std::uint32_t> removedByContent;
    std::vector<std::uint32_t> removedCandidates;
    for (std::uint32_t o = 0; o < oldSets.size(); ++o) {
        if (oldMatched[o]) continue;
        removedCandidates.push_back(o);
        // An empty set matches every other empty set: no rename is read into it.
        if (!oldSets.content(o).empty()) removedByContent.emplace(contentHash(oldSets, o), o);
    }
    std::vector<bool> oldRenamed(oldSets.size(), false);
    for (const std::uint32_t n : addedCandidates) {
        bool renamed = false;
        if (!newSets.content(n).empty()) {
            const auto [first, last] = removedByContent.equal_range(contentHash(newSets, n));
            // The earliest removed set in the old dat's order pairs first.
            std::uint32_t best = UINT32_MAX;
            for (auto it = first; it != last; ++it) {
                const std::uint32_t o = it->second;
                if (!oldRenamed[o] && o < best && sameContent(oldSets, o, newSets, n)) best = o;
            }
            if (best != UINT32_MAX) {
                oldRenamed[best] = true;
                result.renamed.emplace_back(best, n);
                renamed = true;
            }
        }
        if (!renamed) result.added.push_back(n);
    }
    for (const std::uint32_t o : removedCandidates) {
        if (!oldRenamed[o]) result.removed.push_back(o);
    }
    return result;
}

}  // namespace zfe::zandorel
