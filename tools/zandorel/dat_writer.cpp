#include "tools/zandorel/dat_writer.h"

#include <string_view>
#include <vector>

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
// listed twice in its set, left out of the content, is searched for.
class OldHolding {
public:
    OldHolding() = default;
    OldHolding(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff)
        : oldSets_(&oldSets),
          newDat_(&newSets.dat()),
          oldSet_(newSets.size(), kUnchanged),
          entries_(newSets.dat().entries.size(), kOther) {
        for (const std::uint32_t set : diff.added) oldSet_[set] = kNone;
        for (const auto& renamed : diff.renamed) oldSet_[renamed.second] = kNone;
        for (const ChangedSet& changed : diff.changed) {
            oldSet_[changed.newSet] = changed.oldSet;
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
        if (entries_[entry] != kOther) return entries_[entry] == kHeld;
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
    // brings its parents and its BIOS set along and the diff dat stays complete.
    // Every chain is walked once, however many games hang from it.
    std::vector<bool> walked(dat.games.size(), false);
    const auto choose = [&](std::uint32_t set, bool withBase) {
        for (const std::uint32_t game : newSets.members(set)) {
            chosen[game] = true;
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
    const std::string_view header = dat.storage.range(0, dat.games.front().blockBegin, scratch);
    const bool headerHasText = header.find_first_not_of(" \t\r\n") != std::string_view::npos;
    put(header);
    const OldHolding holding = compact ? OldHolding(oldSets, newSets, diff) : OldHolding();
    std::size_t written = 0;
    std::vector<bool> keep;
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
            if (!any) continue;
            std::size_t from = game.blockBegin;
            for (std::uint32_t i = 0; i < game.entryCount; ++i) {
                if (keep[i]) continue;
                const Entry& entry = dat.entries[game.firstEntry + i];
                if (entry.cutBegin < from || entry.cutEnd > game.blockEnd) continue;
                put(text(from, entry.cutBegin));
                from = entry.cutEnd;
            }
            put(text(from, game.blockEnd));
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
