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

std::uint64_t sortKey(const Dat& dat, const Entry& entry) {
    const std::string_view name = dat.view(entry.name);
    std::uint64_t key = entry.isDisk() ? std::uint64_t{1} << 63 : 0;
    for (std::size_t i = 0; i < 7 && i < name.size(); ++i) {
        key |= std::uint64_t{static_cast<unsigned char>(foldCase(name[i]))} << (48 - 8 * i);
    }
    return key;
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

    items_.reserve(dat.entries.size());
    std::vector<SortItem> sorting;
    for (Set& set : sets_) {
        set.firstItem = static_cast<std::uint32_t>(items_.size());
        sorting.clear();
        for (std::uint32_t m = 0; m < set.memberCount; ++m) {
            const Game& game = dat.games[members_[set.firstMember + m]];
            for (std::uint32_t e = game.firstEntry; e < game.firstEntry + game.entryCount; ++e) {
                if (e + kAhead < dat.entries.size()) {
                    prefetch(dat.view(dat.entries[e + kAhead].name));
                }
                const Entry& entry = dat.entries[e];
                if (counts(entry)) {
                    sorting.push_back(
                        {sortKey(dat, entry), e, static_cast<std::uint32_t>(sorting.size())});
                }
            }
        }
        // Entries of one identity keep the first listed, the parent's before a
        // clone's.
        std::sort(sorting.begin(), sorting.end(), [&](const SortItem& a, const SortItem& b) {
            if (a.key != b.key) return a.key < b.key;
            const int order = compareEntries(dat, dat.entries[a.entry], dat, dat.entries[b.entry]);
            return order != 0 ? order < 0 : a.listed < b.listed;
        });
        for (std::size_t i = 0; i < sorting.size(); ++i) {
            if (i > 0 && sorting[i].key == sorting[i - 1].key &&
                sameEntry(dat, dat.entries[sorting[i].entry], dat,
                          dat.entries[sorting[i - 1].entry])) {
                continue;
            }
            items_.push_back(sorting[i].entry);
        }
        set.itemCount = static_cast<std::uint32_t>(items_.size()) - set.firstItem;
    }
}

bool SetModel::counts(const Entry& entry) const {
    if (entry.isNoDump()) return false;
    return type_ == SetType::NonMerged || !entry.isMerged();
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
