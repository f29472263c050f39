#include "tools/zandorel/dat_writer.h"

#include <string_view>

namespace zfe::zandorel {

namespace {

// The text after the last game, without the blank lines that separated it from
// the games: the writer puts its own separator after every game.
std::string_view trailer(const Dat& dat) {
    std::string_view rest = std::string_view(dat.text).substr(dat.games.back().blockEnd);
    if (dat.format != DatFormat::Listinfo) return rest;
    const std::size_t content = rest.find_first_not_of(" \t\r\n");
    if (content == std::string_view::npos) return {};
    const std::size_t lineStart = rest.find_last_of('\n', content);
    return rest.substr(lineStart == std::string_view::npos ? 0 : lineStart + 1);
}

}  // namespace

std::size_t writeDiffDat(const SetModel& oldSets, const SetModel& newSets, const DiffResult& diff,
                         bool compact, std::string& out) {
    const Dat& dat = newSets.dat();
    const std::string_view text = dat.text;
    if (dat.games.empty()) {
        out.append(text);
        return 0;
    }

    std::vector<bool> chosen(dat.games.size(), false);
    // Under split a clone's set is built with its parent's, so an added clone
    // brings its parents along and the diff dat stays complete.
    const auto choose = [&](std::uint32_t set, bool withParents) {
        for (const std::uint32_t game : newSets.members(set)) {
            chosen[game] = true;
            if (withParents && newSets.type() == SetType::Split) {
                for (const std::uint32_t parent : newSets.ancestors(game)) chosen[parent] = true;
            }
        }
    };
    for (const std::uint32_t set : diff.added) choose(set, true);
    for (const ChangedSet& changed : diff.changed) choose(changed.newSet, false);
    if (!compact) {
        for (const auto& renamed : diff.renamed) choose(renamed.second, true);
    }

    out.append(text.substr(0, dat.games.front().blockBegin));
    std::size_t written = 0;
    std::vector<bool> keep;
    for (std::uint32_t g = 0; g < dat.games.size(); ++g) {
        if (!chosen[g]) continue;
        const Game& game = dat.games[g];
        const std::size_t before = out.size();
        if (!compact) {
            out.append(text.substr(game.blockBegin, game.blockEnd - game.blockBegin));
        } else {
            const std::optional<std::size_t> oldSet =
                oldSets.find(newSets.name(newSets.setOfGame(g)));
            keep.assign(game.entryCount, false);
            bool any = false;
            for (std::uint32_t i = 0; i < game.entryCount; ++i) {
                const Entry& entry = dat.entries[game.firstEntry + i];
                keep[i] =
                    newSets.counts(entry) && (!oldSet || !oldSets.contains(*oldSet, dat, entry));
                any = any || keep[i];
            }
            if (!any) continue;
            std::size_t from = game.blockBegin;
            for (std::uint32_t i = 0; i < game.entryCount; ++i) {
                if (keep[i]) continue;
                const Entry& entry = dat.entries[game.firstEntry + i];
                if (entry.cutBegin < from || entry.cutEnd > game.blockEnd) continue;
                out.append(text.substr(from, entry.cutBegin - from));
                from = entry.cutEnd;
            }
            out.append(text.substr(from, game.blockEnd - from));
        }
        ++written;
        if (out.size() > before && out.back() != '\n') out.append(dat.lineEnd);
        if (dat.format == DatFormat::Listinfo) out.append(dat.lineEnd);
    }
    out.append(trailer(dat));
    return written;
}

}  // namespace zfe::zandorel
