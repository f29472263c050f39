#include "tools/zandorel/set_model.h"

#include <algorithm>
#include <string>

#include "tools/zandorel/field_text.h"

namespace zfe::zandorel {

namespace {

// Which data identifies the entry: 1 crc (with size), 2 sha1, 3 md5, 0 size only.
int dataKind(const Entry& entry) {
    if (entry.hasCrc()) return 1;
    if (entry.hasSha1()) return 2;
    if (entry.hasMd5()) return 3;
    return 0;
}

int compareNumbers(std::uint64_t a, std::uint64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int compareData(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    const int kind = dataKind(x);
    if (const int byKind = kind - dataKind(y); byKind != 0) return byKind;
    switch (kind) {
        case 1:
            if (const int bySize = compareNumbers(x.size, y.size); bySize != 0) return bySize;
            return compareNumbers(x.crc, y.crc);
        case 2:
        case 3:
            return compareFolded(a.view(x.hash), b.view(y.hash));
        default:
            return compareNumbers(x.size, y.size);
    }
}

// An entry as it is sorted into its set: `key` holds whether it is a disk and
// the first seven bytes of its name, folded, so that most pairs are ordered
// without a look at the text; equal keys leave the order to compareEntries.
struct SortItem {
    std::uint64_t key;
    std::uint32_t entry;
    std::uint32_t listed;
};

// How many entries ahead the text of a name is asked for.
constexpr std::size_t kAhead = 8;

// Where the entries of a set's devices count as listed: after any set's own.
constexpr std::uint32_t kDeviceListed = UINT32_MAX / 2;

std::uint64_t sortKey(const Dat& dat, const Entry& entry) {
    const std::string_view name = dat.view(entry.name);
    std::uint64_t key = entry.isDisk() ? std::uint64_t{1} << 63 : 0;
    for (std::size_t i = 0; i < 7 && i < name.size(); ++i) {
        key |= std::uint64_t{static_cast<unsigned char>(foldCase(name[i]))} << (48 - 8 * i);
    }
    return key;
}

// The entries sorted into a set, the first `own` listed the game's own, into
// `items`. In a run of entries of one name a device's count only where the game
// lists none of that name itself; of entries alike the first listed counts.
void takeNamesOnce(const Dat& dat, const std::vector<SortItem>& sorted, std::size_t own,
                   std::vector<std::uint32_t>& items) {
    const auto entry = [&](std::size_t i) -> const Entry& { return dat.entries[sorted[i].entry]; };
    for (std::size_t run = 0; run < sorted.size();) {
        std::size_t end = run + 1;
        bool owned = sorted[run].listed < own;
        while (end < sorted.size() && sorted[end].key == sorted[run].key &&
               sameName(dat, entry(end), dat, entry(run))) {
            owned = owned || sorted[end].listed < own;
            ++end;
        }
        const std::size_t runStart = items.size();
        for (std::size_t i = run; i < end; ++i) {
            if (owned && sorted[i].listed >= own) continue;
            if (items.size() > runStart && sameEntry(dat, dat.entries[items.back()], dat, entry(i))) {
                continue;
            }
            items.push_back(sorted[i].entry);
        }
        run = end;
    }
}

}  // namespace

std::string_view setTypeName(SetType type) {
    switch (type) {
        case SetType::Split:
            return "split";
        case SetType::Merged:
            return "merged";
        case SetType::NonMerged:
            return "non-merged";
        case SetType::FullNonMerged:
            return "full non-merged";
    }
    return "split";
}

int compareEntries(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    if (x.isDisk() != y.isDisk()) return x.isDisk() ? 1 : -1;
    if (const int byName = compareFolded(a.view(x.name), b.view(y.name)); byName != 0) {
        return byName;
    }
    return compareData(a, x, b, y);
}

bool sameName(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    return x.isDisk() == y.isDisk() && equalsFolded(a.view(x.name), b.view(y.name));
}

bool sameEntry(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    return x.isDisk() == y.isDisk() && x.name.length == y.name.length &&
           compareData(a, x, b, y) == 0 && equalsFolded(a.view(x.name), b.view(y.name));
}

int compareKindAndData(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    if (x.isDisk() != y.isDisk()) return x.isDisk() ? 1 : -1;
    return compareData(a, x, b, y);
}

bool sameKnownData(const Dat& a, const Entry& x, const Dat& b, const Entry& y) {
    return x.isDisk() == y.isDisk() && dataKind(x) != 0 && compareData(a, x, b, y) == 0;
}

SetModel::SetModel(const Dat& dat, SetType type) : dat_(&dat), type_(type) {
    const auto gameCount = static_cast<std::uint32_t>(dat.games.size());
    std::vector<std::uint32_t> parents(gameCount, kNoGame);
    base_.assign(gameCount, kNoGame);
    // The clones of a parent, and the games on a BIOS, mostly follow each
    // other: the last name looked up is compared before any is hashed.
    std::string_view lastName;
    std::uint32_t lastFound = kNoGame;
    const auto lookUp = [&](Span name) {
        const std::string_view wanted = dat.view(name);
        if (lastFound == kNoGame || !equalsFolded(wanted, lastName)) {
            lastName = wanted;
            lastFound = findGame(wanted).value_or(kNoGame);
        }
        return lastFound;
    };
    for (std::uint32_t g = 0; g < gameCount; ++g) {
        const Game& game = dat.games[g];
        if (!game.cloneOf.empty()) {
            parents[g] = lookUp(game.cloneOf);
            base_[g] = parents[g];
        } else if (!game.romOf.empty()) {
            const std::uint32_t bios = lookUp(game.romOf);
            if (bios != g) base_[g] = bios;
        }
    }
    // Which set each game belongs to: its own, or under merged its top parent's.
    std::vector<std::uint32_t> owner = topParents(parents);
    if (type != SetType::Merged) {
        for (std::uint32_t g = 0; g < gameCount; ++g) owner[g] = g;
    }
    setOfGame_.assign(gameCount, 0);
    std::vector<std::uint32_t> setOfOwner(gameCount, UINT32_MAX);
    // Grown in place, a vector of tens of thousands of sets is copied and its
    // new pages faulted in again at every step.
    std::size_t setCount = 0;
    for (std::uint32_t g = 0; g < gameCount; ++g) setCount += owner[g] == g ? 1 : 0;
    sets_.reserve(setCount);
    for (std::uint32_t g = 0; g < gameCount; ++g) {
        if (owner[g] != g) continue;
        setOfOwner[g] = static_cast<std::uint32_t>(sets_.size());
        sets_.push_back({g, 0, 0, 0, 0});
    }
    for (std::uint32_t g = 0; g < gameCount; ++g) {
        setOfGame_[g] = setOfOwner[owner[g]];
        ++sets_[setOfGame_[g]].memberCount;
    }
    std::uint32_t next = 0;
    for (Set& set : sets_) {
        set.firstMember = next;
        next += set.memberCount;
        set.memberCount = 0;
    }
    members_.resize(gameCount);
    for (std::uint32_t g = 0; g < gameCount; ++g) {
        Set& set = sets_[setOfGame_[g]];
        members_[set.firstMember + set.memberCount++] = g;
    }
    // The parent first, then its clones in the dat's order.
    for (Set& set : sets_) {
        auto begin = members_.begin() + set.firstMember;
        auto end = begin + set.memberCount;
        std::stable_partition(begin, end, [&](std::uint32_t g) { return g == set.nameGame; });
    }

    const std::uint64_t fullEntries = type == SetType::FullNonMerged ? findDevices() : 0;
    items_.reserve(std::max<std::uint64_t>(dat.entries.size(), fullEntries));
    std::vector<SortItem> sorting;
    const auto take = [&](const Game& game, std::vector<SortItem>& into, std::uint32_t listed) {
        for (std::uint32_t e = game.firstEntry; e < game.firstEntry + game.entryCount; ++e) {
            if (e + kAhead < dat.entries.size()) {
                prefetch(dat.view(dat.entries[e + kAhead].name));
            }
            const Entry& entry = dat.entries[e];
            if (counts(entry)) into.push_back({sortKey(dat, entry), e, listed++});
        }
    };
    // Entries of one identity keep the first listed, the parent's before a
    // clone's.
    const auto byEntry = [&](const SortItem& a, const SortItem& b) {
        if (a.key != b.key) return a.key < b.key;
        return compareEntries(dat, dat.entries[a.entry], dat, dat.entries[b.entry]) < 0;
    };
    const auto byIdentity = [&](const SortItem& a, const SortItem& b) {
        if (a.key != b.key) return a.key < b.key;
        const int order = compareEntries(dat, dat.entries[a.entry], dat, dat.entries[b.entry]);
        return order != 0 ? order < 0 : a.listed < b.listed;
    };
    // Under full non-merged each device's entries are sorted once for all the
    // games that name it, and merged into each of their sets after the game's
    // own: taken anew for every game, their names would be fetched from all
    // over memory again and again. They count as listed after any game's own.
    std::vector<SortItem> deviceItems;
    std::vector<std::uint32_t> deviceItemsAt;
    std::vector<std::uint32_t> deviceItemsEnd;
    if (type == SetType::FullNonMerged) {
        deviceItemsAt.assign(gameCount, kNoGame);
        deviceItemsEnd.assign(gameCount, 0);
    }
    for (const std::uint32_t device : devices_) {
        if (deviceItemsAt[device] != kNoGame) continue;
        const auto at = static_cast<std::uint32_t>(deviceItems.size());
        take(dat.games[device], deviceItems, kDeviceListed);
        std::sort(deviceItems.begin() + at, deviceItems.end(), byIdentity);
        deviceItemsAt[device] = at;
        deviceItemsEnd[device] = static_cast<std::uint32_t>(deviceItems.size());
    }
    std::vector<SortItem> merged;
    for (Set& set : sets_) {
        set.firstItem = static_cast<std::uint32_t>(items_.size());
        sorting.clear();
        for (std::uint32_t m = 0; m < set.memberCount; ++m) {
            take(dat.games[members_[set.firstMember + m]], sorting,
                 static_cast<std::uint32_t>(sorting.size()));
        }
        std::sort(sorting.begin(), sorting.end(), byIdentity);
        const std::size_t own = sorting.size();
        // Of alike entries the merge keeps the earlier source's first.
        for (const std::uint32_t device : devicesOf(set.nameGame)) {
            if (deviceItemsAt[device] == deviceItemsEnd[device]) continue;  // most have no rom
            merged.clear();
            std::merge(sorting.begin(), sorting.end(), deviceItems.begin() + deviceItemsAt[device],
                       deviceItems.begin() + deviceItemsEnd[device], std::back_inserter(merged),
                       byEntry);
            sorting.swap(merged);
        }
        if (sorting.size() == own) {
            for (std::size_t i = 0; i < sorting.size(); ++i) {
                if (i > 0 && sorting[i].key == sorting[i - 1].key &&
                    sameEntry(dat, dat.entries[sorting[i].entry], dat,
                              dat.entries[sorting[i - 1].entry])) {
                    continue;
                }
                items_.push_back(sorting[i].entry);
            }
        } else {
            takeNamesOnce(dat, sorting, own, items_);
        }
        set.itemCount = static_cast<std::uint32_t>(items_.size()) - set.firstItem;
    }
}

// Each game's devices once, in its order: a name that MAME gives twice (two
// chips of a kind) is one device.
std::uint64_t SetModel::findDevices() {
    const Dat& dat = *dat_;
    std::vector<std::uint32_t> gameOfName(dat.deviceNames.size(), kNoGame);
    for (std::size_t name = 0; name < dat.deviceNames.size(); ++name) {
        const std::string_view text = dat.view(dat.deviceNames[name]);
        gameOfName[name] = findGame(text).value_or(kNoGame);
        if (gameOfName[name] == kNoGame) missingDevices_.push_back(text);
    }
    const auto gameCount = static_cast<std::uint32_t>(dat.games.size());
    std::vector<std::uint32_t> lastNamedBy(gameCount, kNoGame);
    firstDevice_.assign(gameCount + 1, 0);
    // A set holds its devices' entries again for every game that names them: a
    // dat that names a device of many roms from many games would ask for sets
    // far larger than itself. Real dats stay well within a few times theirs.
    const std::uint64_t limit =
        std::max<std::uint64_t>(kMostFullEntries, kFullEntriesPerEntry * dat.entries.size());
    std::uint64_t total = 0;
    for (std::uint32_t g = 0; g < gameCount; ++g) {
        firstDevice_[g] = static_cast<std::uint32_t>(devices_.size());
        const Game& game = dat.games[g];
        total += game.entryCount;
        for (std::uint32_t r = game.firstDeviceRef; r < game.firstDeviceRef + game.deviceRefCount;
             ++r) {
            const std::uint32_t device = gameOfName[dat.deviceRefs[r]];
            if (device == kNoGame || device == g || lastNamedBy[device] == g) continue;
            lastNamedBy[device] = g;
            devices_.push_back(device);
            total += dat.games[device].entryCount;
        }
        if (total > limit) {
            throw DatError(dat.path, positionsOf(dat.storage, {game.blockBegin}).front(),
                           "its games name devices with so many roms that their full non-merged "
                           "sets would hold more than " +
                               std::to_string(limit) +
                               " roms and disks in all, far more than the dat lists, up to this "
                               "game");
        }
    }
    firstDevice_[gameCount] = static_cast<std::uint32_t>(devices_.size());
    return total;
}

std::span<const std::uint32_t> SetModel::devicesOf(std::uint32_t game) const {
    if (firstDevice_.empty()) return {};
    return {devices_.data() + firstDevice_[game], firstDevice_[game + 1] - firstDevice_[game]};
}

bool SetModel::counts(const Entry& entry) const {
    if (entry.isNoDump()) return false;
    return type_ == SetType::NonMerged || type_ == SetType::FullNonMerged || !entry.isMerged();
}

std::string_view SetModel::name(std::size_t set) const {
    return dat_->view(dat_->games[sets_[set].nameGame].name);
}

std::span<const std::uint32_t> SetModel::content(std::size_t set) const {
    return {items_.data() + sets_[set].firstItem, sets_[set].itemCount};
}

std::span<const std::uint32_t> SetModel::members(std::size_t set) const {
    return {members_.data() + sets_[set].firstMember, sets_[set].memberCount};
}

std::optional<std::uint32_t> SetModel::findGame(std::string_view name) const {
    return dat_->findGame(name);
}

std::optional<std::size_t> SetModel::find(std::string_view name) const {
    const std::optional<std::uint32_t> game = findGame(name);
    if (!game) return std::nullopt;
    const std::size_t set = setOfGame_[*game];
    if (sets_[set].nameGame != *game) return std::nullopt;  // a clone: no set of its own
    return set;
}

bool SetModel::contains(std::size_t set, const Dat& dat, const Entry& entry) const {
    const std::span<const std::uint32_t> items = content(set);
    const auto found = std::lower_bound(
        items.begin(), items.end(), entry, [&](std::uint32_t item, const Entry& wanted) {
            return compareEntries(*dat_, dat_->entries[item], dat, wanted) < 0;
        });
    return found != items.end() && compareEntries(*dat_, dat_->entries[*found], dat, entry) == 0;
}

// A clone of a clone belongs to the top of its chain, however long; a clone
// whose parent is missing is a parent itself. Each chain is walked once.
std::vector<std::uint32_t> SetModel::topParents(const std::vector<std::uint32_t>& parents) const {
    constexpr std::uint32_t kUnknown = UINT32_MAX;
    constexpr std::uint32_t kOnPath = UINT32_MAX - 1;
    std::vector<std::uint32_t> top(parents.size(), kUnknown);
    std::vector<std::uint32_t> path;
    for (std::uint32_t g = 0; g < parents.size(); ++g) {
        std::uint32_t at = g;
        while (top[at] == kUnknown && parents[at] != kNoGame) {
            top[at] = kOnPath;
            path.push_back(at);
            at = parents[at];
        }
        if (top[at] == kOnPath) {
            std::string names;
            const auto loopStart = std::find(path.begin(), path.end(), at);
            for (auto it = loopStart; it != path.end(); ++it) {
                names +=
                    (names.empty() ? "" : " -> ") + fieldText(dat_->view(dat_->games[*it].name));
            }
            names += " -> " + fieldText(dat_->view(dat_->games[at].name));
            throw DatError(dat_->path,
                           positionsOf(dat_->storage, {dat_->games[at].blockBegin}).front(),
                           "the clones form a loop: " + names);
        }
        const std::uint32_t root = top[at] == kUnknown ? at : top[at];
        top[at] = root;
        for (const std::uint32_t member : path) top[member] = root;
        path.clear();
    }
    return top;
}

}  // namespace zfe::zandorel
