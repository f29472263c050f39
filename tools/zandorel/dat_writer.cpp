#include "tools/zandorel/dat_writer.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tools/zandorel/dat_header.h"

namespace zfe::zandorel {

namespace {

// The text after the last game, without the blank lines that separated it from
// the games: the writer puts its own separator after every game.
std::string_view trailer(const Dat& dat, std::string& scratch) {
    std::string_view rest = dat.storage.range(dat.gamesEnd, dat.storage.size(), scratch);
    if (dat.format != DatFormat::Listinfo) return rest;
    const std::size_t content = rest.find_first_not_of(" \t\r\n");
    if (content == std::string_view::npos) return {};
    const std::size_t lineStart = rest.find_last_of('\n', content);
    return rest.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
}

// Whether the old set of a new set's name holds an entry of the new dat, read
// off the diff: a set neither added, renamed nor changed has its old set's
// content, a changed one all but the entries its changes name. Only an entry
// listed twice in its set, left out of the content, is searched for. Under full
// non-merged an entry of a device is in the sets of many games, held by the
// old sets of some: every entry of a changed set is searched for.
class OldHolding {
public:
    OldHolding() = default;
    OldHolding(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff)
        : oldSets_(&oldSets), newDat_(&newSets.dat()), oldSet_(newSets.size(), kUnchanged) {
        const bool entriesInOneSet = newSets.type() != SetType::FullNonMerged;
        if (entriesInOneSet) entries_.assign(newSets.dat().entries.size(), kOther);
        for (const std::uint32_t set : diff.added) oldSet_[set] = kNone;
        for (const auto& renamed : diff.renamed) oldSet_[renamed.second] = kNone;
        for (const ChangedSet& changed : diff.changed) {
            oldSet_[changed.newSet] = changed.oldSet;
            if (!entriesInOneSet) continue;
            for (const std::uint32_t item : newSets.content(changed.newSet)) entries_[item] = kHeld;
            for (const EntryChange& change : changed.entries) {
                if (change.newEntry != EntryChange::kNone) entries_[change.newEntry] = kNotHeld;
            }
        }
    }

    bool holds(std::size_t newSet, std::uint32_t entry) const {
        const std::uint32_t oldSet = oldSet_[newSet];
        if (oldSet == kNone) return false;
        if (oldSet == kUnchanged) return true;
        if (!entries_.empty() && entries_[entry] != kOther) return entries_[entry] == kHeld;
        return oldSets_->contains(oldSet, *newDat_, newDat_->entries[entry]);
    }

private:
    static constexpr std::uint32_t kNone = UINT32_MAX;
    static constexpr std::uint32_t kUnchanged = UINT32_MAX - 1;
    enum : std::uint8_t { kOther, kHeld, kNotHeld };

    const SetModel* oldSets_ = nullptr;
    const Dat* newDat_ = nullptr;
    std::vector<std::uint32_t> oldSet_;
    std::vector<std::uint8_t> entries_;
};

// Lines that a game's block takes in, and the place in the block where they go.
struct Insertion {
    std::size_t at;
    std::string text;
};
using Insertions = std::vector<Insertion>;

// Under full non-merged, in the compact form: the lines of the entries that the
// game's set takes from its devices and OLD's set of its name lacks, each the
// device's own line, in the order that the game names its devices. Roms go
// after the game's last rom (else before its first disk, else before its first
// device_ref), disks after its last disk (else before its first device_ref):
// where a -listxml machine lists them. `marks`, one for each entry of the dat,
// and `blocks`, the blocks of the devices read so far, are kept from game to
// game: a device is named by many games, and each of its lines read again from
// the file for each of them took most of the writer's time.
Insertions deviceLines(const SetModel& sets, std::uint32_t g, const OldHolding& holding,
                       std::vector<std::uint32_t>& marks,
                       std::unordered_map<std::uint32_t, std::string>& blocks) {
    const std::span<const std::uint32_t> devices = sets.devicesOf(g);
    if (devices.empty()) return {};
    std::string scratch;
    const Dat& dat = sets.dat();
    const Game& game = dat.games[g];
    const std::size_t set = sets.setOfGame(g);
    if (marks.empty()) marks.assign(dat.entries.size(), SetModel::kNoGame);
    for (const std::uint32_t item : sets.content(set)) {
        if (item < game.firstEntry || item >= game.firstEntry + game.entryCount) marks[item] = g;
    }
    std::string roms;
    std::string disks;
    for (const std::uint32_t device : devices) {
        const Game& from = dat.games[device];
        const std::string* block = nullptr;
        for (std::uint32_t e = from.firstEntry; e < from.firstEntry + from.entryCount; ++e) {
            if (marks[e] != g || holding.holds(set, e)) continue;
            if (block == nullptr) {
                auto [at, added] = blocks.try_emplace(device);
                if (added) at->second = dat.storage.range(from.blockBegin, from.blockEnd, scratch);
                block = &at->second;
            }
            const Entry& entry = dat.entries[e];
            std::string& lines = entry.isDisk() ? disks : roms;
            if (entry.cutBegin >= from.blockBegin && entry.cutEnd <= from.blockEnd) {
                lines.append(*block, entry.cutBegin - from.blockBegin,
                             entry.cutEnd - entry.cutBegin);
            } else {
                lines += dat.storage.range(entry.cutBegin, entry.cutEnd, scratch);
            }
            if (lines.back() != '\n' && lines.back() != '\r') lines += dat.lineEnd;
        }
    }
    constexpr std::size_t kNowhere = std::string::npos;
    std::size_t lastRom = kNowhere;
    std::size_t firstDisk = kNowhere;
    std::size_t lastDisk = kNowhere;
    for (std::uint32_t e = game.firstEntry; e < game.firstEntry + game.entryCount; ++e) {
        const Entry& entry = dat.entries[e];
        if (!entry.isDisk()) {
            lastRom = entry.cutEnd;
        } else {
            if (firstDisk == kNowhere) firstDisk = entry.cutBegin;
            lastDisk = entry.cutEnd;
        }
    }
    const std::size_t devicesAt = game.deviceRefsAt;
    Insertions insertions;
    if (!roms.empty()) {
        insertions.push_back(
            {lastRom != kNowhere ? lastRom : std::min(firstDisk, devicesAt), std::move(roms)});
    }
    if (!disks.empty()) {
        insertions.push_back({lastDisk != kNowhere ? lastDisk : devicesAt, std::move(disks)});
    }
    std::stable_sort(insertions.begin(), insertions.end(),
                     [](const Insertion& a, const Insertion& b) { return a.at < b.at; });
    return insertions;
}

}  // namespace

std::size_t writeDiffDat(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                         bool compact, std::string& out) {
    return writeDiffDat(oldSets, newSets, diff, compact,
                        [&](std::string_view text) { out.append(text); });
}

std::size_t writeDiffDat(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                         bool compact, const std::function<void(std::string_view)>& emit) {
    const Dat& dat = newSets.dat();
    std::string scratch;
    if (dat.games.empty()) {
        emit(dat.storage.range(0, dat.storage.size(), scratch));
        return 0;
    }

    std::vector<bool> chosen(dat.games.size(), false);
    // Under split a set is built with the sets it rests on, so an added game
    // brings its parents and its BIOS set along; under full non-merged a game
    // brings its devices and theirs. So the diff dat stays complete. Every chain
    // is walked once, however many games hang from it.
    std::vector<bool> walked(dat.games.size(), false);
    std::vector<std::uint32_t> pending;
    const auto chooseDevices = [&](std::uint32_t game) {
        pending.assign(1, game);
        while (!pending.empty()) {
            const std::uint32_t at = pending.back();
            pending.pop_back();
            if (walked[at]) continue;
            walked[at] = true;
            for (const std::uint32_t device : newSets.devicesOf(at)) {
                chosen[device] = true;
                pending.push_back(device);
            }
        }
    };
    const auto choose = [&](std::uint32_t set, bool withBase) {
        for (const std::uint32_t game : newSets.members(set)) {
            chosen[game] = true;
            if (newSets.type() == SetType::FullNonMerged) chooseDevices(game);
            if (!withBase || newSets.type() != SetType::Split) continue;
            for (std::uint32_t at = game; !walked[at];) {
                walked[at] = true;
                at = newSets.baseOf(at);
                if (at == SetModel::kNoGame) break;
                chosen[at] = true;
            }
        }
    };
    for (const std::uint32_t set : diff.added) choose(set, true);
    for (const ChangedSet& changed : diff.changed) choose(changed.newSet, false);
    // The compact form leaves renamed sets to the report, also those that an
    // added set brings along as its parent or BIOS set.
    for (const auto& renamed : diff.renamed) {
        if (!compact) {
            choose(renamed.second, true);
            continue;
        }
        for (const std::uint32_t game : newSets.members(renamed.second)) chosen[game] = false;
    }

    // What the block being written ends with, for the separator after it.
    char lastByte = '\n';
    const auto put = [&](std::string_view piece) {
        if (piece.empty()) return;
        lastByte = piece.back();
        emit(piece);
    };
    const Game& first = dat.games.front();
    const std::string firstBlock(
        dat.storage.range(first.blockBegin, std::min(first.blockEnd, first.blockBegin + 256), scratch));
    const DiffDatHeader header =
        diffDatHeader(dat.storage.range(0, first.blockBegin, scratch), firstBlock, oldSets.dat(), dat,
                      newSets.type(), compact);
    const bool headerHasText =
        header.header.find_first_not_of(" \t\r\n") != std::string_view::npos;
    put(header.header);
    const OldHolding holding = compact ? OldHolding(oldSets, newSets, diff) : OldHolding();
    std::size_t written = 0;
    std::vector<bool> keep;
    std::vector<std::uint32_t> marks;
    std::unordered_map<std::uint32_t, std::string> deviceBlocks;
    for (std::uint32_t g = 0; g < dat.games.size(); ++g) {
        if (!chosen[g]) continue;
        const Game& game = dat.games[g];
        lastByte = '\n';
        // The block as NEW has it; offsets in it count from its start.
        const std::string_view block = dat.storage.range(game.blockBegin, game.blockEnd, scratch);
        const auto text = [&](std::size_t from, std::size_t to) {
            return block.substr(from - game.blockBegin, to - from);
        };
        if (!compact) {
            if (written == 0) put(header.beforeFirstGame);
            put(block);
        } else {
            const std::size_t set = newSets.setOfGame(g);
            keep.assign(game.entryCount, false);
            bool any = false;
            for (std::uint32_t i = 0; i < game.entryCount; ++i) {
                const std::uint32_t e = game.firstEntry + i;
                keep[i] = newSets.counts(dat.entries[e]) && !holding.holds(set, e);
                any = any || keep[i];
            }
            const Insertions fromDevices = deviceLines(newSets, g, holding, marks, deviceBlocks);
            if (!any && fromDevices.empty()) continue;
            if (written == 0) put(header.beforeFirstGame);
            // The text [from, to) of the block, the devices' lines put in where they go.
            std::size_t from = game.blockBegin;
            std::size_t next = 0;
            const auto putUpTo = [&](std::size_t to) {
                for (; next < fromDevices.size() && fromDevices[next].at <= to; ++next) {
                    const std::size_t at = std::max(from, fromDevices[next].at);
                    put(text(from, at));
                    put(fromDevices[next].text);
                    from = at;
                }
                put(text(from, to));
                from = to;
            };
            for (std::uint32_t i = 0; i < game.entryCount; ++i) {
                if (keep[i]) continue;
                const Entry& entry = dat.entries[game.firstEntry + i];
                if (entry.cutBegin < from || entry.cutEnd > game.blockEnd) continue;
                putUpTo(entry.cutBegin);
                from = entry.cutEnd;
            }
            putUpTo(game.blockEnd);
        }
        ++written;
        if (lastByte != '\n' && lastByte != '\r') put(dat.lineEnd);
        if (dat.format == DatFormat::Listinfo) put(dat.lineEnd);
    }
    // The text after the games follows a game or a header. Where nothing but
    // blanks would come before it, it would start the file, where a '<' reads
    // as XML and a byte order mark as the file's own: a diff dat of no games
    // is then the header alone.
    if (written > 0 || headerHasText) put(trailer(dat, scratch));
    return written;
}

}  // namespace zfe::zandorel
