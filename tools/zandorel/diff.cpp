#include "tools/zandorel/diff.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "tools/zandorel/parallel.h"

namespace zfe::zandorel {

namespace {

bool sameContent(const SetModel& oldSets, std::size_t oldSet, const SetModel& newSets,
                 std::size_t newSet) {
    const auto a = oldSets.content(oldSet);
    const auto b = newSets.content(newSet);
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!sameEntry(oldSets.dat(), oldSets.dat().entries[a[i]], newSets.dat(),
                       newSets.dat().entries[b[i]])) {
            return false;
        }
    }
    return true;
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
    // Same data, other name: each new entry takes the first old one of its data
    // still unpaired. The old entries sorted by data, with a cursor per run of
    // equal data, keep this linear however many entries a set has.
    std::vector<std::uint32_t> byData;
    for (std::uint32_t x = 0; x < oldOnly.size(); ++x) {
        if (!oldUsed[x]) byData.push_back(x);
    }
    const auto dataOrder = [&](std::uint32_t p, std::uint32_t q) {
        const int order = compareKindAndData(oldDat, oldDat.entries[oldOnly[p]], oldDat,
                                             oldDat.entries[oldOnly[q]]);
        return order != 0 ? order < 0 : p < q;
    };
    std::sort(byData.begin(), byData.end(), dataOrder);
    std::vector<std::uint32_t> cursor(byData.size());
    for (std::uint32_t k = 0; k < byData.size(); ++k) cursor[k] = k;
    for (std::size_t y = 0; y < newOnly.size(); ++y) {
        if (newUsed[y]) continue;
        const Entry& wanted = newDat.entries[newOnly[y]];
        const auto run = std::lower_bound(
            byData.begin(), byData.end(), wanted, [&](std::uint32_t p, const Entry& entry) {
                return compareKindAndData(oldDat, oldDat.entries[oldOnly[p]], newDat, entry) < 0;
            });
        if (run == byData.end()) continue;
        const auto start = static_cast<std::size_t>(run - byData.begin());
        std::uint32_t& at = cursor[start];
        while (at < byData.size() && oldUsed[byData[at]]) ++at;
        if (at == byData.size()) continue;
        const std::uint32_t x = byData[at];
        if (!sameKnownData(oldDat, oldDat.entries[oldOnly[x]], newDat, wanted)) continue;
        changes.push_back({EntryChange::Kind::Renamed, oldOnly[x], newOnly[y]});
        oldUsed[x] = true;
        newUsed[y] = true;
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

namespace {

// Pairing a set waits mostly for the text of its names, far apart in two large
// files: the text of a set some way ahead is asked for while this one is paired.
constexpr std::uint32_t kAhead = 4;

void prefetchSet(const SetModel& sets, std::size_t set) {
    const Dat& dat = sets.dat();
    prefetch(sets.name(set));
    for (const std::uint32_t item : sets.content(set)) prefetch(dat.view(dat.entries[item].name));
}

// What pairing new sets by name finds in one run of them.
struct NamePairing {
    std::vector<std::uint32_t> unpaired;  // new sets with no old set of their name
    std::vector<ChangedSet> changed;
    std::size_t unchanged = 0;
};

// Pairs the new sets [begin, end) with the old sets of their names. Marks each
// old set it pairs in `oldPaired`: a byte each, as two runs of new sets pair
// disjoint old sets at once (a set's name is unique in its dat).
void pairByName(const SetModel& oldSets, const SetModel& newSets, std::uint32_t begin,
                std::uint32_t end, std::vector<std::uint8_t>& oldPaired, NamePairing& out) {
    // A new dat mostly keeps the old one's order: the set after the last one
    // paired is tried first, which spares the name's hash and a look-up far off.
    std::size_t guess = oldSets.size();
    for (std::uint32_t n = begin; n < end; ++n) {
        if (n + kAhead < end) {
            prefetchSet(newSets, n + kAhead);
            if (guess + kAhead < oldSets.size()) prefetchSet(oldSets, guess + kAhead);
        }
        const std::string_view name = newSets.name(n);
        std::optional<std::size_t> o;
        if (guess < oldSets.size() && equalsFolded(oldSets.name(guess), name)) {
            o = guess;
        } else {
            o = oldSets.find(name);
        }
        if (!o) {
            out.unpaired.push_back(n);
            continue;
        }
        guess = *o + 1;
        oldPaired[*o] = 1;
        if (sameContent(oldSets, *o, newSets, n)) {
            ++out.unchanged;
        } else {
            out.changed.push_back(
                {static_cast<std::uint32_t>(*o), n, diffContent(oldSets, *o, newSets, n)});
        }
    }
}

}  // namespace

std::uint64_t contentHash(const SetModel& sets, std::size_t set) {
    KeyedHash hash;
    const Dat& dat = sets.dat();
    for (const std::uint32_t item : sets.content(set)) {
        const Entry& entry = dat.entries[item];
        hash.add(dat.view(entry.name));
        // Only the data that identifies the entry goes in, as compareEntries sees it.
        const std::uint64_t disk = entry.isDisk() ? 1 : 0;
        if (entry.hasCrc()) {
            hash.add(disk);
            hash.add(entry.size);
            hash.add(entry.crc);
        } else if (entry.hasSha1() || entry.hasMd5()) {
            hash.add((entry.hasSha1() ? 2 : 4) | disk);
            hash.add(dat.view(entry.hash));
        } else {
            hash.add(6 | disk);
            hash.add(entry.size);
        }
    }
    hash.add(sets.content(set).size());
    return hash.value();
}

namespace {

// preliminary < imperfect < good; -1 for a status outside them.
int statusRank(std::string_view status) {
    if (status == "preliminary") return 0;
    if (status == "imperfect") return 1;
    if (status == "good") return 2;
    return -1;
}

void findStatusChanges(const Dat& oldDat, const Dat& newDat, DiffResult& result) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> worse;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> neither;
    for (std::uint32_t game = 0; game < newDat.games.size(); ++game) {
        const Game& newGame = newDat.games[game];
        // A device gives none: no look-up for it.
        if (newGame.driverStatus.empty()) continue;
        const std::optional<std::uint32_t> old = oldDat.findGame(newDat.view(newGame.name));
        if (!old || oldDat.games[*old].driverStatus.empty()) continue;
        const std::string_view before = oldDat.view(oldDat.games[*old].driverStatus);
        const std::string_view after = newDat.view(newGame.driverStatus);
        if (before == after) continue;
        const int from = statusRank(before);
        const int to = statusRank(after);
        auto& group = from < 0 || to < 0 ? neither : to > from ? result.statusChanged : worse;
        group.emplace_back(*old, game);
    }
    result.statusBetter = result.statusChanged.size();
    result.statusWorse = worse.size();
    result.statusChanged.insert(result.statusChanged.end(), worse.begin(), worse.end());
    result.statusChanged.insert(result.statusChanged.end(), neither.begin(), neither.end());
}

}  // namespace

DiffResult diffSets(const SetModel& oldSets, const SetModel& newSets, std::size_t setsPerThread) {
    DiffResult result;
    std::vector<std::uint8_t> oldMatched(oldSets.size(), 0);
    // The new sets in two runs, the second on a thread of its own, when there
    // are enough of them to pay for the thread; the runs' results, joined in
    // order, are what one run would give.
    const auto newCount = static_cast<std::uint32_t>(newSets.size());
    NamePairing front;
    NamePairing back;
    if (newCount >= 2 * setsPerThread) {
        const std::uint32_t split = newCount / 2;
        runBoth([&] { pairByName(oldSets, newSets, 0, split, oldMatched, front); },
                [&] { pairByName(oldSets, newSets, split, newCount, oldMatched, back); });
    } else {
        pairByName(oldSets, newSets, 0, newCount, oldMatched, front);
    }
    result.unchanged = front.unchanged + back.unchanged;
    result.changed = std::move(front.changed);
    result.changed.insert(result.changed.end(), std::make_move_iterator(back.changed.begin()),
                          std::make_move_iterator(back.changed.end()));
    std::vector<std::uint32_t> addedCandidates = std::move(front.unpaired);
    addedCandidates.insert(addedCandidates.end(), back.unpaired.begin(), back.unpaired.end());

    // Removed sets grouped by content, in the old dat's order: an added set whose
    // content is a group's takes the group's next set, so that many sets of one
    // content pair in one pass. An empty set matches every other empty set: no
    // rename is read into it.
    std::vector<std::vector<std::uint32_t>> groups;
    std::vector<std::size_t> taken;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> groupsByHash;
    std::vector<std::uint32_t> removedCandidates;
    for (std::uint32_t o = 0; o < oldSets.size(); ++o) {
        if (oldMatched[o]) continue;
        removedCandidates.push_back(o);
        if (oldSets.content(o).empty()) continue;
        std::vector<std::uint32_t>& candidates = groupsByHash[contentHash(oldSets, o)];
        const auto group = std::find_if(candidates.begin(), candidates.end(), [&](std::uint32_t g) {
            return sameContent(oldSets, groups[g].front(), oldSets, o);
        });
        if (group != candidates.end()) {
            groups[*group].push_back(o);
        } else {
            candidates.push_back(static_cast<std::uint32_t>(groups.size()));
            groups.push_back({o});
            taken.push_back(0);
        }
    }
    std::vector<bool> oldRenamed(oldSets.size(), false);
    for (const std::uint32_t n : addedCandidates) {
        bool renamed = false;
        const auto found = newSets.content(n).empty() ? groupsByHash.end()
                                                      : groupsByHash.find(contentHash(newSets, n));
        if (found != groupsByHash.end()) {
            for (const std::uint32_t g : found->second) {
                if (taken[g] == groups[g].size() ||
                    !sameContent(oldSets, groups[g].front(), newSets, n)) {
                    continue;
                }
                const std::uint32_t o = groups[g][taken[g]++];
                oldRenamed[o] = true;
                result.renamed.emplace_back(o, n);
                renamed = true;
                break;
            }
        }
        if (!renamed) result.added.push_back(n);
    }
    for (const std::uint32_t o : removedCandidates) {
        if (!oldRenamed[o]) result.removed.push_back(o);
    }
    findStatusChanges(oldSets.dat(), newSets.dat(), result);
    return result;
}

}  // namespace zfe::zandorel
