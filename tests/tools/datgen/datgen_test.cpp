#include "tools/datgen/datgen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iterator>
#include <map>
#include <set>

#include "listinfo_reader.h"

namespace zfe::datgen {
namespace {

using reader::Block;
using reader::Fields;

using NameSet = std::set<std::string>;

std::map<std::string, const Block*> byName(const std::vector<Block>& blocks) {
    std::map<std::string, const Block*> index;
    for (const Block& block : blocks) index.emplace(block.name(), &block);
    return index;
}

NameSet gameNames(const std::vector<Block>& blocks) {
    NameSet names;
    for (const Block& block : blocks)
        if (block.type == "game") names.insert(block.name());
    return names;
}

NameSet minus(const NameSet& a, const NameSet& b) {
    NameSet result;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(),
                        std::inserter(result, result.end()));
    return result;
}

bool isHex(const std::string& text, std::size_t digits) {
    return text.size() == digits && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c));
           });
}

// Parentheses outside quotes balance, quotes close on their line, LF only.
void expectBalanced(const std::string& text) {
    int depth = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        ASSERT_NE(c, '\r') << "at byte " << i;
        if (quoted) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                quoted = false;
            else
                ASSERT_NE(c, '\n') << "line end inside quotes at byte " << i;
        } else if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            ASSERT_GT(depth, 0) << "unopened ) at byte " << i;
            --depth;
        }
    }
    EXPECT_FALSE(quoted);
    EXPECT_EQ(depth, 0);
}

// What a dat must hold for the diff tool's set types to make sense of it.
void expectConsistent(const std::vector<Block>& blocks) {
    std::map<std::string, const Block*> index;
    for (const Block& block : blocks) {
        EXPECT_TRUE(block.type == "game" || block.type == "resource") << block.type;
        EXPECT_TRUE(index.emplace(block.name(), &block).second) << "duplicate " << block.name();
    }
    for (const Block& block : blocks) {
        SCOPED_TRACE(block.name());
        std::string cloneof = block.field("cloneof");
        std::string romof = block.field("romof");
        if (!cloneof.empty()) {
            ASSERT_TRUE(index.count(cloneof)) << "missing parent " << cloneof;
            EXPECT_EQ(index[cloneof]->type, "game");
            EXPECT_EQ(index[cloneof]->field("cloneof"), "") << "clone of a clone";
            EXPECT_EQ(romof, cloneof);
            EXPECT_TRUE(std::any_of(block.roms.begin(), block.roms.end(), [](const Fields& rom) {
                return !rom.count("merge");
            })) << "a clone without a rom of its own has an empty split set";
        }
        const Block* romSource = nullptr;
        if (!romof.empty()) {
            ASSERT_TRUE(index.count(romof)) << "missing romof " << romof;
            romSource = index[romof];
        }
        NameSet romNames;
        for (const Fields& rom : block.roms) {
            const std::string name = rom.count("name") ? rom.at("name") : "";
            EXPECT_FALSE(name.empty());
            EXPECT_TRUE(romNames.insert(name).second) << "rom " << name << " twice";
            EXPECT_TRUE(rom.count("size"));
            bool nodump = rom.count("flags") && rom.at("flags") == "nodump";
            if (nodump) {
                EXPECT_FALSE(rom.count("crc") || rom.count("sha1")) << name;
            } else {
                EXPECT_TRUE(rom.count("crc") && isHex(rom.at("crc"), 8)) << name;
                EXPECT_TRUE(rom.count("sha1") && isHex(rom.at("sha1"), 40)) << name;
            }
            if (!rom.count("merge")) continue;
            ASSERT_NE(romSource, nullptr) << "merge without romof: " << name;
            const auto& sourceRoms = romSource->roms;
            auto shared = std::find_if(sourceRoms.begin(), sourceRoms.end(), [&](const Fields& r) {
                return r.at("name") == rom.at("merge");
            });
            ASSERT_NE(shared, sourceRoms.end()) << name << " merges a rom " << romof << " lacks";
            for (const char* key : {"size", "crc", "sha1"})
                EXPECT_EQ(rom.count(key) ? rom.at(key) : "",
                          shared->count(key) ? shared->at(key) : "")
                    << name << " shares " << key;
        }
        for (const Fields& disk : block.disks) {
            if (!disk.count("merge")) continue;
            ASSERT_NE(romSource, nullptr);
            EXPECT_TRUE(
                std::any_of(romSource->disks.begin(), romSource->disks.end(),
                            [&](const Fields& d) { return d.at("name") == disk.at("merge"); }));
        }
    }
}

// Merged sets put a family's roms together by name: one name, one content.
void expectOneContentPerNameInEachFamily(const std::vector<Block>& blocks) {
    std::map<std::string, std::map<std::string, std::string>> families;  // parent -> rom -> data
    for (const Block& block : blocks) {
        if (block.type != "game") continue;
        std::string parent = block.field("cloneof").empty() ? block.name() : block.field("cloneof");
        for (const Fields& rom : block.roms) {
            std::string data = rom.at("size") + " " + (rom.count("crc") ? rom.at("crc") : "-") +
                               " " + (rom.count("sha1") ? rom.at("sha1") : "-");
            auto [known, fresh] = families[parent].emplace(rom.at("name"), data);
            EXPECT_TRUE(fresh || known->second == data)
                << "family " << parent << " has two roms named " << rom.at("name");
        }
    }
}

std::vector<Block> readChecked(const std::string& text) {
    std::vector<Block> blocks;
    EXPECT_NO_THROW(blocks = reader::readListinfo(text));
    expectBalanced(text);
    expectConsistent(blocks);
    expectOneContentPerNameInEachFamily(blocks);
    return blocks;
}

// FNV-1a, to pin the exact bytes without storing them.
std::uint64_t fingerprint(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

TEST(DatgenDeterminism, SameOptionsGiveTheSameBytes) {
    for (bool next : {false, true}) {
        Generated first = generate({500, 42, next});
        Generated second = generate({500, 42, next});
        EXPECT_EQ(first.text, second.text);
        EXPECT_EQ(changesText(first.changes), changesText(second.changes));
    }
}

TEST(DatgenDeterminism, OtherSeedOrOtherSizeGivesOtherBytes) {
    std::string base = generate({500, 42}).text;
    EXPECT_NE(base, generate({500, 43}).text);
    EXPECT_NE(base, generate({501, 42}).text);
    EXPECT_NE(base, generate({500, 42, true}).text);
}

// Only the own generator decides the bytes, never the standard library, so the
// Windows build (tested under Wine) must print exactly what Linux prints. A
// deliberate change of the output changes these values.
TEST(DatgenDeterminism, BytesAreTheSameOnEveryPlatform) {
    EXPECT_EQ(fingerprint(generate({200, 9}).text), 0x7e627dfd8ed64ce2ULL);
    EXPECT_EQ(fingerprint(generate({200, 9, true}).text), 0xe93202090e7c6db3ULL);
}

TEST(DatgenFirstVersion, HasTheRequestedGamesAndEveryFeatureOfARealDat) {
    std::string text = generate({3000, 3}).text;
    std::vector<Block> blocks = readChecked(text);
    EXPECT_EQ(gameNames(blocks).size(), 3000u);

    int resources = 0, clones = 0, biosGames = 0, biosSetRoms = 0, renamedMerges = 0, nodumps = 0,
        baddumps = 0, disks = 0, quotedQuotes = 0, ampersands = 0, nonAscii = 0;
    NameSet statuses;
    for (const Block& block : blocks) {
        if (block.type == "resource") ++resources;
        if (!block.field("cloneof").empty()) ++clones;
        if (block.field("cloneof").empty() && !block.field("romof").empty()) ++biosGames;
        if (block.field("description").find('"') != std::string::npos) ++quotedQuotes;
        const std::string looks = block.field("description") + block.field("manufacturer");
        if (looks.find('&') != std::string::npos) ++ampersands;
        if (std::any_of(looks.begin(), looks.end(), [](char c) { return c & 0x80; })) ++nonAscii;
        const std::size_t status = block.text.find("driver ( status ");
        if (status != std::string::npos)
            statuses.insert(
                block.text.substr(status + 16, block.text.find(' ', status + 16) - status - 16));
        disks += static_cast<int>(block.disks.size());
        for (const Fields& rom : block.roms) {
            if (block.type == "game" && rom.count("bios")) ++biosSetRoms;
            if (rom.count("merge") && rom.at("merge") != rom.at("name")) ++renamedMerges;
            if (rom.count("flags") && rom.at("flags") == "nodump") ++nodumps;
            if (rom.count("flags") && rom.at("flags") == "baddump") ++baddumps;
        }
    }
    EXPECT_GE(resources, 2);
    EXPECT_GT(clones, 300);
    EXPECT_GT(biosGames, 10);
    EXPECT_GT(biosSetRoms, 10);
    EXPECT_GT(renamedMerges, 10);
    EXPECT_GT(nodumps, 10);
    EXPECT_GT(baddumps, 10);
    EXPECT_GT(disks, 10);
    EXPECT_GT(quotedQuotes, 10);
    EXPECT_GT(ampersands, 10);
    EXPECT_GT(nonAscii, 10);
    EXPECT_EQ(statuses, (NameSet{"good", "imperfect", "preliminary"}));
    EXPECT_EQ(text.find("clrmamepro"), std::string::npos) << "emulators print no header";
}

TEST(DatgenFirstVersion, TinyDatsAreWellFormed) {
    EXPECT_EQ(generate({0, 1}).text, "");
    for (int games : {1, 2, 5, 17}) {
        SCOPED_TRACE(games);
        EXPECT_EQ(gameNames(readChecked(generate({games, 11}).text)).size(),
                  static_cast<std::size_t>(games));
    }
}

TEST(DatgenFirstVersion, NegativeGameCountIsRefused) {
    EXPECT_THROW(generate({-1, 1}), std::invalid_argument);
}

TEST(DatgenOutput, CrlfOnlyOnRequest) {
    std::string lf = generate({50, 4, true}).text;
    std::string crlf = generate({50, 4, true, true}).text;
    std::string expected;
    for (char c : lf) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(crlf, expected);
}

// `text` with its line that starts with `start` as `other` has it.
std::string withLineOf(std::string text, const std::string& other, const std::string& start) {
    const std::size_t at = text.find(start);
    const std::size_t otherAt = other.find(start);
    if (at == std::string::npos || otherAt == std::string::npos) return text;
    text.replace(at, text.find('\n', at) - at,
                 other.substr(otherAt, other.find('\n', otherAt) - otherAt));
    return text;
}

// The next version against its old one: the change list must be exactly the
// difference between the two dats as an independent reader sees it.
void expectChangesDescribeTheDats(int games, std::uint32_t seed) {
    SCOPED_TRACE(::testing::Message() << games << " games, seed " << seed);
    std::vector<Block> oldDat = readChecked(generate({games, seed}).text);
    Generated next = generate({games, seed, true});
    std::vector<Block> newDat = readChecked(next.text);
    const Changes& changes = next.changes;

    for (const auto* list : {&changes.added, &changes.removed, &changes.changed})
        EXPECT_TRUE(std::is_sorted(list->begin(), list->end()));
    EXPECT_TRUE(std::is_sorted(changes.renamed.begin(), changes.renamed.end()));

    auto oldIndex = byName(oldDat);
    auto newIndex = byName(newDat);
    NameSet oldNames = gameNames(oldDat), newNames = gameNames(newDat);
    NameSet renamedFrom, renamedTo;
    for (const auto& [from, to] : changes.renamed) {
        renamedFrom.insert(from);
        renamedTo.insert(to);
        ASSERT_TRUE(oldNames.count(from) && !newNames.count(from)) << from;
        ASSERT_TRUE(newNames.count(to) && !oldNames.count(to)) << to;
        const Block& before = *oldIndex[from];
        const Block& after = *newIndex[to];
        EXPECT_EQ(before.roms, after.roms) << from << " -> " << to;
        std::string expected = before.text;
        expected.replace(expected.find("\tname " + from + "\n"), from.size() + 7,
                         "\tname " + to + "\n");
        EXPECT_EQ(after.text, expected) << "a rename changes nothing but the name";
    }
    NameSet added = minus(minus(newNames, oldNames), renamedTo);
    NameSet removed = minus(minus(oldNames, newNames), renamedFrom);
    EXPECT_EQ(NameSet(changes.added.begin(), changes.added.end()), added);
    EXPECT_EQ(changes.added.size(), added.size());
    EXPECT_EQ(NameSet(changes.removed.begin(), changes.removed.end()), removed);
    EXPECT_EQ(changes.removed.size(), removed.size());

    // The announced status and description changes, made to the old blocks:
    // then a block differs in its roms alone, or not at all.
    std::map<std::string, std::string> oldTexts;
    for (const StatusChange& change : changes.statusChanged) {
        ASSERT_TRUE(oldIndex.count(change.name) && newIndex.count(change.name)) << change.name;
        EXPECT_NE(change.from, change.to);
        const std::string status = "\tdriver ( status ";
        EXPECT_NE(oldIndex[change.name]->text.find(status + change.from + " "), std::string::npos);
        EXPECT_NE(newIndex[change.name]->text.find(status + change.to + " "), std::string::npos);
        oldTexts[change.name] =
            withLineOf(oldIndex[change.name]->text, newIndex[change.name]->text, status);
    }
    for (const std::string& name : changes.redescribed) {
        ASSERT_TRUE(oldIndex.count(name) && newIndex.count(name)) << name;
        EXPECT_NE(oldIndex[name]->field("description"), newIndex[name]->field("description"));
        oldTexts[name] = withLineOf(oldIndex[name]->text, newIndex[name]->text, "\tdescription ");
    }
    NameSet changed;
    for (const std::string& name : oldNames) {
        if (!newNames.count(name)) continue;
        const Block& before = *oldIndex[name];
        const Block& after = *newIndex[name];
        if (before.roms != after.roms)
            changed.insert(name);
        else
            EXPECT_EQ(oldTexts.count(name) ? oldTexts[name] : before.text, after.text)
                << name << " changed outside its roms";
    }
    EXPECT_EQ(NameSet(changes.changed.begin(), changes.changed.end()), changed);
    EXPECT_EQ(changes.changed.size(), changed.size());
}

TEST(DatgenNextVersion, ChangeListIsExactlyTheDifference) {
    for (std::uint32_t seed : {1u, 2u, 77u}) expectChangesDescribeTheDats(300, seed);
    expectChangesDescribeTheDats(4000, 5);
    expectChangesDescribeTheDats(3, 8);
}

TEST(DatgenNextVersion, DiffersInEveryWay) {
    std::vector<Block> oldDat = readChecked(generate({300, 1}).text);
    Generated next = generate({300, 1, true});
    std::vector<Block> newDat = readChecked(next.text);
    auto oldIndex = byName(oldDat);
    auto newIndex = byName(newDat);

    EXPECT_FALSE(next.changes.removed.empty());
    EXPECT_FALSE(next.changes.renamed.empty());
    EXPECT_FALSE(next.changes.redescribed.empty());
    std::set<std::pair<std::string, std::string>> statusMoves;
    for (const StatusChange& change : next.changes.statusChanged)
        statusMoves.emplace(change.from, change.to);
    EXPECT_TRUE(statusMoves.count({"good", "imperfect"}) ||
                statusMoves.count({"good", "preliminary"}) ||
                statusMoves.count({"imperfect", "preliminary"}))
        << "a status gets worse";

    bool newParent = false, newCloneOfOldParent = false;
    for (const std::string& name : next.changes.added) {
        std::string parent = newIndex[name]->field("cloneof");
        if (parent.empty())
            newParent = true;
        else if (oldIndex.count(parent))
            newCloneOfOldParent = true;
    }
    EXPECT_TRUE(newParent);
    EXPECT_TRUE(newCloneOfOldParent);

    bool romAdded = false, romRemoved = false, romRedumped = false;
    for (const std::string& name : next.changes.changed) {
        std::map<std::string, Fields> before, after;
        for (const Fields& rom : oldIndex[name]->roms) before[rom.at("name")] = rom;
        for (const Fields& rom : newIndex[name]->roms) after[rom.at("name")] = rom;
        for (const auto& [romName, rom] : after) {
            if (!before.count(romName))
                romAdded = true;
            else if (before[romName].count("crc") && rom.count("crc") &&
                     before[romName].at("crc") != rom.at("crc") &&
                     before[romName].at("sha1") != rom.at("sha1") &&
                     before[romName].at("size") == rom.at("size"))
                romRedumped = true;
        }
        for (const auto& entry : before)
            if (!after.count(entry.first)) romRemoved = true;
    }
    EXPECT_TRUE(romAdded);
    EXPECT_TRUE(romRemoved);
    EXPECT_TRUE(romRedumped);
}

TEST(DatgenNextVersion, ChangesTextHasOneLineEach) {
    Changes changes;
    changes.added = {"newgame"};
    changes.removed = {"oldgame"};
    changes.renamed = {{"pacmanjp", "puckman"}};
    changes.changed = {"galaga", "xevious"};
    changes.reparented = {{"mspacmnf", "mspacman", "pacman"}};
    EXPECT_EQ(changesText(changes),
              "added newgame\nremoved oldgame\nrenamed pacmanjp puckman\nchanged galaga\n"
              "changed xevious\nreparented mspacmnf mspacman pacman\n");
    EXPECT_EQ(changesText(generate({300, 1}).changes), "");
}

}  // namespace
}  // namespace zfe::datgen
