#include "tools/datgen/datgen.h"

#include <algorithm>
#include <set>
#include <stdexcept>

#include "tools/datgen/generator.h"

namespace zfe::datgen {
namespace {

using namespace detail;

int biosCountFor(int games) {
    return games == 0 ? 0 : std::min(4, 1 + games / 250);
}

std::vector<Game> firstVersion(Builder& builder, int games) {
    std::vector<Game> dat;
    dat.reserve(games + 8);
    int biosCount = biosCountFor(games);
    for (int i = 0; i < biosCount; ++i) dat.push_back(builder.makeBios(kBioses[i]));
    Random& random = builder.random();
    int made = 0;
    while (made < games) {
        std::size_t parentIndex = dat.size();
        if (biosCount > 0 && random.percent(6)) {
            dat.push_back(builder.makeParent(&dat[random.below(biosCount)]));
        } else {
            dat.push_back(builder.makeParent(nullptr));
        }
        ++made;
        int clones = builder.familyClones(games - made);
        std::set<std::string> familyRomNames;
        for (int i = 0; i < clones; ++i) {
            Game clone = builder.makeClone(dat[parentIndex], familyRomNames);
            dat.push_back(std::move(clone));
            ++made;
        }
    }
    return dat;
}

std::string withCrlf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

Generated generate(const Options& options) {
    if (options.games < 0) throw std::invalid_argument("the number of games must not be negative");
    Generated generated;
    if (options.format == Format::listxml) {
        generated = generateListxml(options);
    } else {
        Builder builder(options.seed);
        std::vector<Game> dat = firstVersion(builder, options.games);
        if (options.nextVersion) generated.changes = NextVersion(builder, dat).apply(options.games);
        writeListinfo(dat, generated.text);
    }
    if (options.crlf) generated.text = withCrlf(generated.text);
    return generated;
}

std::string changesText(const Changes& changes) {
    std::string text;
    for (const auto& name : changes.added) text += "added " + name + "\n";
    for (const auto& name : changes.removed) text += "removed " + name + "\n";
    for (const auto& [from, to] : changes.renamed) text += "renamed " + from + " " + to + "\n";
    for (const auto& name : changes.changed) text += "changed " + name + "\n";
    for (const auto& move : changes.reparented)
        text += "reparented " + move.name + " " + move.from + " " + move.to + "\n";
    for (const auto& change : changes.statusChanged)
        text += "status " + change.name + " " + change.from + " " + change.to + "\n";
    for (const auto& name : changes.redescribed) text += "redescribed " + name + "\n";
    return text;
}

}  // namespace zfe::datgen
