#include "tools/zandorel/diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/tools/zandorel/test_support.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/field_text.h"
#include "tools/zandorel/report.h"

namespace zfe::zandorel {
namespace {

using Names = std::vector<std::string>;

// Two dats read, their sets made and compared, as the tool does.
struct Compared {
    Compared(std::string_view oldText, std::string_view newText, SetType type)
        : oldDat(test::parse(oldText, "old.dat")),
          newDat(test::parse(newText, "new.dat")),
          oldSets(oldDat, type),
          newSets(newDat, type),
          diff(diffSets(oldSets, newSets)) {}

    Names added() const { return names(newSets, diff.added); }
    Names removed() const { return names(oldSets, diff.removed); }
    Names changed() const {
        Names out;
        for (const ChangedSet& set : diff.changed) out.emplace_back(newSets.name(set.newSet));
        return out;
    }
    Names renamed() const {
        Names out;
        for (const auto& [o, n] : diff.renamed) {
            out.push_back(std::string(oldSets.name(o)) + " -> " + std::string(newSets.name(n)));
        }
        return out;
    }
    // The entry details of a changed set, one line each, as the report words them.
    Names details(std::string_view setName) const {
        Names out;
        for (const ChangedSet& set : diff.changed) {
            if (newSets.name(set.newSet) != setName) continue;
            for (const EntryChange& change : set.entries) {
                const std::string oldName =
                    change.oldEntry == EntryChange::kNone
                        ? ""
                        : std::string(oldDat.view(oldDat.entries[change.oldEntry].name));
                const std::string newName =
                    change.newEntry == EntryChange::kNone
                        ? ""
                        : std::string(newDat.view(newDat.entries[change.newEntry].name));
                switch (change.kind) {
                    case EntryChange::Kind::Added:
                        out.push_back("added " + newName);
                        break;
                    case EntryChange::Kind::Removed:
                        out.push_back("removed " + oldName);
                        break;
                    case EntryChange::Kind::Changed:
                        out.push_back("changed " + newName);
                        break;
                    case EntryChange::Kind::Renamed:
                        out.push_back("renamed " + oldName + " -> " + newName);
                        break;
                }
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string diffDat(bool compact) const {
        std::string out;
        writeDiffDat(oldSets, newSets, diff, compact, out);
        return out;
    }
    // The diff dat from its first game on, the header that names it aside.
    std::string blocks(bool compact) const {
        const std::string text = diffDat(compact);
        const Dat written = test::parse(text, "zandorel.dat");
        return written.games.empty() ? "" : text.substr(written.games.front().blockBegin);
    }
    Names diffDatGames(bool compact) const {
        const Dat written = test::parse(diffDat(compact), "zandorel.dat");
        Names out;
        for (const Game& game : written.games) out.emplace_back(written.view(game.name));
        return out;
    }

    static Names names(const SetModel& sets, const std::vector<std::uint32_t>& indices) {
        Names out;
        for (const std::uint32_t i : indices) out.emplace_back(sets.name(i));
        return out;
    }

    Dat oldDat;
    Dat newDat;
    SetModel oldSets;
    SetModel newSets;
    DiffResult diff;
};

constexpr std::string_view kBase =
    "clrmamepro ( name base )\n"
    "\n"
    "game (\n"
    "\tname alpha\n"
    "\trom ( name a1.bin size 1024 crc 11111111 )\n"
    "\trom ( name a2.bin size 1024 crc 22222222 )\n"
    ")\n"
    "\n"
    "game (\n"
    "\tname beta\n"
    "\trom ( name b1.bin size 2048 crc 33333333 )\n"
    ")\n"
    "\n"
    "game (\n"
    "\tname gamma\n"
    "\trom ( name g1.bin size 4096 crc 44444444 )\n"
    ")\n";

std::string replaced(std::string_view text, std::string_view from, std::string_view to) {
    std::string out(text);
    const std::size_t at = out.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) out.replace(at, from.size(), to);
    return out;
}

const SetType kAllTypes[] = {SetType::Split, SetType::Merged, SetType::NonMerged};

TEST(Diff, ADatAgainstItselfIsAnEmptyDiffUnderEverySetType) {
    for (const SetType type : kAllTypes) {
        const Compared c(kBase, kBase, type);
        EXPECT_TRUE(c.diff.empty());
        EXPECT_EQ(c.diff.unchanged, 3U);
        EXPECT_TRUE(c.diffDatGames(false).empty());
        // The header still goes out, so the diff dat is a dat of its own.
        EXPECT_TRUE(c.diffDat(false).starts_with("clrmamepro ( name \"new.dat diff from old.dat (" +
                                                 std::string(setTypeName(type)) + ")\" "))
            << c.diffDat(false);
    }
    const Compared empty("", "", SetType::Merged);
    EXPECT_TRUE(empty.diff.empty());
    EXPECT_EQ(empty.diffDat(true), "");
}

TEST(Diff, AddedRemovedRenamedAndChangedGames) {
    std::string next = replaced(kBase, "name beta", "name beta2");  // renamed
    next = replaced(next, "crc 22222222", "crc 2222222a");          // alpha changed
    next = replaced(next, "game (\n\tname gamma\n\trom ( name g1.bin size 4096 crc 44444444 )\n)\n",
                    "game (\n\tname delta\n\trom ( name d1.bin size 8 crc 55555555 )\n)\n");
    for (const SetType type : kAllTypes) {
        const Compared c(kBase, next, type);
        EXPECT_EQ(c.added(), Names{"delta"});
        EXPECT_EQ(c.removed(), Names{"gamma"});
        EXPECT_EQ(c.renamed(), Names{"beta -> beta2"});
        EXPECT_EQ(c.changed(), Names{"alpha"});
        EXPECT_EQ(c.diff.unchanged, 0U);
        EXPECT_EQ(c.diffDatGames(false), (Names{"alpha", "beta2", "delta"}));
        // The compact form leaves renamed sets out.
        EXPECT_EQ(c.diffDatGames(true), (Names{"alpha", "delta"}));
    }
}

TEST(Diff, RomRedumpedIsAChangedEntry) {
    const Compared c(kBase, replaced(kBase, "crc 11111111", "crc 1111111f"), SetType::Split);
    EXPECT_EQ(c.changed(), Names{"alpha"});
    EXPECT_EQ(c.details("alpha"), Names{"changed a1.bin"});
}

TEST(Diff, RomRenamedIsARenamedEntry) {
    const Compared c(kBase, replaced(kBase, "name a2.bin", "name a2-new.bin"), SetType::Split);
    EXPECT_EQ(c.changed(), Names{"alpha"});
    EXPECT_EQ(c.details("alpha"), Names{"renamed a2.bin -> a2-new.bin"});
}

TEST(Diff, EntriesAddedAndRemovedInOneSet) {
    std::string next = replaced(kBase, "\trom ( name a2.bin size 1024 crc 22222222 )\n",
                                "\trom ( name a3.bin size 16 crc 66666666 )\n");
    const Compared c(kBase, next, SetType::NonMerged);
    EXPECT_EQ(c.details("alpha"), (Names{"added a3.bin", "removed a2.bin"}));
}

TEST(Diff, CrcCaseAndRomNameCaseDoNotMakeAChange) {
    std::string next = replaced(kBase, "crc 11111111", "crc 11111111");
    next =
        replaced(next, "name b1.bin size 2048 crc 33333333", "name B1.BIN size 2048 crc 33333333");
    const Compared upper(replaced(kBase, "crc 44444444", "crc 4444AAAA"),
                         replaced(next, "crc 44444444", "crc 4444aaaa"), SetType::Split);
    EXPECT_TRUE(upper.diff.empty());
}

// Roms listed in another order and case pair one to one, however long the
// part of their names they share and whatever bytes those hold.
TEST(Diff, EntryOrderAndCaseDoNotMakeAChangeWhateverTheNamesShare) {
    const std::vector<std::string> names = {"abcdefgh1", "abcdefg",  "ABCDEFGH0",   "abcdefgi",
                                            "abcdefgh",  "abcdefg~", "abcdefg\xe9", "abcdefgH2",
                                            "a",         "b.bin",    "\xe9t\xe9",   "abcdef"};
    std::string old = "game ( name g\n";
    std::string next = "game ( name g\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string flipped = names[i];
        for (char& c : flipped) {
            if (std::isalpha(static_cast<unsigned char>(c))) c = static_cast<char>(c ^ 0x20);
        }
        const std::string crc = std::to_string(i + 1);
        old += "\trom ( name \"" + names[i] + "\" size 1 crc " + crc + " )\n";
        next.insert(next.find('\n') + 1, "\trom ( name \"" + flipped + "\" size 1 crc " +
                                             (i == 3 ? "99" : crc) + " )\n");
    }
    old += "\tdisk ( name abcdefgh1 sha1 0123456789012345678901234567890123456789 )\n)\n";
    next += "\tdisk ( name ABCDEFGH1 sha1 0123456789012345678901234567890123456789 )\n)\n";
    for (const SetType type : kAllTypes) {
        const Compared c(old, next, type);
        EXPECT_TRUE(c.added().empty() && c.removed().empty() && c.renamed().empty());
        EXPECT_EQ(c.details("g"), Names{"changed ABCDEFGI"});
        for (const SetModel* sets : {&c.oldSets, &c.newSets}) {
            const auto content = sets->content(0);
            ASSERT_EQ(content.size(), names.size() + 1);
            for (std::size_t i = 1; i < content.size(); ++i) {
                const Dat& dat = sets->dat();
                EXPECT_LT(
                    compareEntries(dat, dat.entries[content[i - 1]], dat, dat.entries[content[i]]),
                    0)
                    << dat.view(dat.entries[content[i - 1]].name) << " before "
                    << dat.view(dat.entries[content[i]].name);
            }
        }
    }
}

// A parent with a clone; the clone shares one rom with it.
constexpr std::string_view kFamily =
    "game (\n"
    "\tname parent\n"
    "\trom ( name shared.bin size 100 crc aaaaaaaa )\n"
    "\trom ( name own.bin size 100 crc bbbbbbbb )\n"
    ")\n"
    "\n"
    "game (\n"
    "\tname clone1\n"
    "\tcloneof parent\n"
    "\tromof parent\n"
    "\trom ( name shared.bin merge shared.bin size 100 crc aaaaaaaa )\n"
    "\trom ( name c1.bin size 100 crc cccccccc )\n"
    ")\n";

constexpr std::string_view kSecondClone =
    "\n"
    "game (\n"
    "\tname clone2\n"
    "\tcloneof parent\n"
    "\tromof parent\n"
    "\trom ( name shared.bin merge shared.bin size 100 crc aaaaaaaa )\n"
    "\trom ( name c2.bin size 100 crc dddddddd )\n"
    ")\n";

TEST(Diff, CloneAddedUnderMergedChangesTheFamily) {
    const Compared c(kFamily, std::string(kFamily) + std::string(kSecondClone), SetType::Merged);
    EXPECT_TRUE(c.added().empty());
    EXPECT_EQ(c.changed(), Names{"parent"});
    EXPECT_EQ(c.details("parent"), Names{"added c2.bin"});
    // The whole family goes out; compact keeps only the new clone's rom.
    EXPECT_EQ(c.diffDatGames(false), (Names{"parent", "clone1", "clone2"}));
    EXPECT_EQ(c.diffDatGames(true), Names{"clone2"});
    const std::string compact = c.diffDat(true);
    EXPECT_NE(compact.find("c2.bin"), std::string::npos);
    EXPECT_EQ(compact.find("shared.bin"), std::string::npos);
}

TEST(Diff, CloneAddedUnderSplitIsTheOnlyNewSet) {
    const Compared c(kFamily, std::string(kFamily) + std::string(kSecondClone), SetType::Split);
    EXPECT_EQ(c.added(), Names{"clone2"});
    EXPECT_TRUE(c.changed().empty());
    EXPECT_EQ(c.diff.unchanged, 2U);
    // The parent comes along so that the clone can be built from the diff dat.
    EXPECT_EQ(c.diffDatGames(false), (Names{"parent", "clone2"}));
    EXPECT_EQ(c.diffDatGames(true), Names{"clone2"});
}

TEST(Diff, SharedRomChangedInTheParent) {
    std::string next(kFamily);
    while (next.find("crc aaaaaaaa") != std::string::npos) {
        next = replaced(next, "crc aaaaaaaa", "crc a0a0a0a0");
    }
    const Compared split(kFamily, next, SetType::Split);
    EXPECT_EQ(split.changed(), Names{"parent"});
    EXPECT_EQ(split.details("parent"), Names{"changed shared.bin"});

    const Compared nonMerged(kFamily, next, SetType::NonMerged);
    EXPECT_EQ(nonMerged.changed(), (Names{"parent", "clone1"}));
    EXPECT_EQ(nonMerged.details("clone1"), Names{"changed shared.bin"});

    const Compared merged(kFamily, next, SetType::Merged);
    EXPECT_EQ(merged.changed(), Names{"parent"});
}

TEST(Diff, NoDumpRomsAreNoPartOfASet) {
    const std::string next = replaced(kBase, "\trom ( name b1.bin size 2048 crc 33333333 )\n",
                                      "\trom ( name b1.bin size 2048 crc 33333333 )\n\trom ( name "
                                      "b2.bin size 16 flags nodump )\n");
    for (const SetType type : kAllTypes) {
        const Compared c(kBase, next, type);
        EXPECT_TRUE(c.diff.empty());
    }
    // A rom that loses its dump leaves the set.
    const Compared lost(kBase, replaced(kBase, "crc 33333333 )", "crc 33333333 flags nodump )"),
                        SetType::Split);
    EXPECT_EQ(lost.details("beta"), Names{"removed b1.bin"});
}

TEST(Diff, DuplicateGameNamesAreReportedAndTheFirstWins) {
    const std::string next =
        std::string(kBase) + "\ngame (\n\tname Alpha\n\trom ( name other.bin size 1 crc 1 )\n)\n";
    const Compared c(kBase, next, SetType::Split);
    EXPECT_TRUE(c.diff.empty());
    std::string report;
    writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"test", false, 0}, report);
    EXPECT_NE(
        report.find(
            "Duplicate: new.dat:19: game Alpha left out, the first of that name is at line 3"),
        std::string::npos)
        << report;
    // CRLF and lone CR line ends count as one line each, as in error positions.
    for (const char* lineEnd : {"\r\n", "\r"}) {
        std::string ended;
        for (const char ch : next) ended += ch == '\n' ? std::string(lineEnd) : std::string(1, ch);
        const Compared d(kBase, ended, SetType::Split);
        std::string other;
        writeReport(d.oldSets, d.newSets, d.diff, ReportContext{"test", false, 0}, other);
        EXPECT_NE(
            other.find("new.dat:19: game Alpha left out, the first of that name is at line 3"),
            std::string::npos)
            << other;
    }
}

TEST(Diff, CloneOfACloneJoinsTheTopParentsFamilyUnderMerged) {
    const std::string old =
        std::string(kFamily) +
        "\ngame (\n\tname grandchild\n\tcloneof clone1\n\trom ( name gc.bin size 1 crc 12 )\n)\n";
    const std::string next = replaced(old, "crc 12 )", "crc 13 )");
    const Compared merged(old, next, SetType::Merged);
    ASSERT_EQ(merged.newSets.size(), 1U);
    EXPECT_EQ(merged.changed(), Names{"parent"});
    EXPECT_EQ(merged.details("parent"), Names{"changed gc.bin"});
    const Compared split(old, next, SetType::Split);
    EXPECT_EQ(split.changed(), Names{"grandchild"});
}

TEST(Diff, CloneWhoseParentIsMissingIsASetOfItsOwn) {
    const std::string orphan =
        "game (\n\tname orphan\n\tcloneof nowhere\n\trom ( name o.bin crc 1 size 1 )\n)\n";
    const Compared c("", orphan, SetType::Merged);
    EXPECT_EQ(c.added(), Names{"orphan"});
    EXPECT_EQ(c.diffDatGames(false), Names{"orphan"});
}

TEST(Diff, CloneChainsOfAnyDepthAndLoopsOfClones) {
    // A chain far deeper than any real dat's: every game joins the top's family.
    std::string chain = "game ( name g0 rom ( name r0 size 1 crc 0 ) )\n";
    for (int i = 1; i <= 200; ++i) {
        chain += "game ( name g" + std::to_string(i) + " cloneof g" + std::to_string(i - 1) +
                 " rom ( name r" + std::to_string(i) + " size 1 crc " + std::to_string(i) +
                 " ) )\n";
    }
    const Compared deep("", chain, SetType::Merged);
    ASSERT_EQ(deep.newSets.size(), 1U);
    EXPECT_EQ(deep.newSets.content(0).size(), 201U);
    // Under split the last clone brings its whole chain into the diff dat.
    const std::string withoutLast = chain.substr(0, chain.rfind("game ( name g200"));
    EXPECT_EQ(Compared(withoutLast, chain, SetType::Split).diffDatGames(false).size(), 201U);

    const std::string loop = "game ( name a cloneof b )\n\ngame ( name b cloneof a )\n";
    const Dat looped = test::parse(loop);
    try {
        SetModel sets(looped, SetType::Split);
        ADD_FAILURE() << "a loop of clones was taken";
    } catch (const DatError& error) {
        EXPECT_EQ(error.reason(), "the clones form a loop: a -> b -> a");
        EXPECT_EQ(error.position().line, 1U);
    }
}

constexpr std::string_view kBios =
    "resource (\n"
    "\tname bios\n"
    "\trom ( name bios.rom size 10 crc 0000b105 )\n"
    ")\n"
    "\n"
    "game (\n"
    "\tname onbios\n"
    "\tromof bios\n"
    "\trom ( name bios.rom merge bios.rom size 10 crc 0000b105 )\n"
    "\trom ( name game.rom size 10 crc 00000001 )\n"
    ")\n";

TEST(Diff, BiosRomsBelongToTheBiosSetUnlessNonMerged) {
    const std::string next =
        replaced(replaced(kBios, "crc 0000b105", "crc 0000b106"), "crc 0000b105", "crc 0000b106");
    for (const SetType type : {SetType::Split, SetType::Merged}) {
        const Compared c(kBios, next, type);
        EXPECT_EQ(c.changed(), Names{"bios"});
    }
    const Compared nonMerged(kBios, next, SetType::NonMerged);
    EXPECT_EQ(nonMerged.changed(), (Names{"bios", "onbios"}));

    const Compared same(kBios, kBios, SetType::Split);
    ASSERT_EQ(same.newSets.size(), 2U);
    EXPECT_EQ(same.newSets.content(1).size(), 1U);  // onbios: game.rom only
}

// A game on a BIOS that the diff dat carries alone must find its BIOS there.
TEST(Diff, AnAddedGameOnABiosBringsTheBiosUnderSplit) {
    const std::string bios = std::string(kBios).substr(0, std::string(kBios).find("game ("));
    const Compared split(bios, kBios, SetType::Split);
    EXPECT_EQ(split.added(), Names{"onbios"});
    EXPECT_EQ(split.diffDatGames(false), (Names{"bios", "onbios"}));
    const Compared nonMerged(bios, kBios, SetType::NonMerged);
    EXPECT_EQ(nonMerged.diffDatGames(false), Names{"onbios"});
}

TEST(Diff, ADuplicateAfterTheLastGameStaysOutOfTheDiffDat) {
    const std::string dat =
        "game ( name a rom ( name x size 1 crc 1 ) )\n"
        "game ( name b rom ( name y size 1 crc 2 ) )\n"
        "game ( name a rom ( name z size 1 crc 3 ) )\n";
    const Compared c(dat, dat, SetType::Split);
    EXPECT_TRUE(c.diff.empty());
    EXPECT_EQ(c.diffDat(false), "");
    const Compared added("", dat, SetType::Split);
    EXPECT_EQ(added.diffDatGames(false), (Names{"a", "b"}));
}

// The text after the last game never starts a diff dat, where it could read as
// XML or with a byte order mark of its own; after a game it stays.
TEST(Diff, TheTextAfterTheGamesNeverStartsTheDiffDat) {
    for (const std::string_view after : {"<x ( y )\n", "\xEF\xBB\xBFgame ( z )\n"}) {
        const std::string dat =
            "game ( name a rom ( name r size 1 crc 1 ) )\n" + std::string(after);
        const Compared same(dat, dat, SetType::Split);
        EXPECT_EQ(same.diffDat(false), "");
        const Compared added("game ( name b )\n", dat, SetType::Split);
        EXPECT_EQ(added.diffDatGames(true), Names{"a"});
        EXPECT_TRUE(added.diffDat(true).ends_with(after));
    }
}

// Many removed sets of one content pair with the added ones in file order, in one
// pass; and so do many roms of one data within a set.
TEST(Diff, RenamesPairInFileOrderAmongEqualContents) {
    std::string old;
    std::string next;
    std::string bigOld = "game ( name big\n";
    std::string bigNew = "game ( name big\n";
    for (int i = 0; i < 3; ++i) {
        old += "game ( name old" + std::to_string(i) + " rom ( name r size 1 crc 1 ) )\n";
        next += "game ( name new" + std::to_string(i) + " rom ( name r size 1 crc 1 ) )\n";
        bigOld += "\trom ( name a" + std::to_string(i) + " size 1 crc 7 )\n";
        bigNew += "\trom ( name b" + std::to_string(i) + " size 1 crc 7 )\n";
    }
    const Compared sets(old, next + "game ( name new3 rom ( name r size 1 crc 1 ) )\n",
                        SetType::Split);
    EXPECT_EQ(sets.renamed(), (Names{"old0 -> new0", "old1 -> new1", "old2 -> new2"}));
    EXPECT_EQ(sets.added(), Names{"new3"});
    const Compared roms(bigOld + ")\n", bigNew + "\trom ( name c size 1 crc 8 ) )\n",
                        SetType::Split);
    EXPECT_EQ(roms.details("big"),
              (Names{"added c", "renamed a0 -> b0", "renamed a1 -> b1", "renamed a2 -> b2"}));
}

TEST(Diff, CompactAgainstFullOutput) {
    const std::string next = replaced(kBase, "crc 22222222", "crc 2222222a");
    const Compared c(kBase, next, SetType::Split);
    const std::string full = c.blocks(false);
    const std::string compact = c.blocks(true);
    // The full form is the game's block as it stands in the new dat.
    EXPECT_EQ(full,
              "game (\n\tname alpha\n\trom ( name a1.bin size 1024 crc 11111111 )\n"
              "\trom ( name a2.bin size 1024 crc 2222222a )\n)\n\n");
    // The compact form drops the line of the rom that the old set holds already.
    EXPECT_EQ(compact,
              "game (\n\tname alpha\n\trom ( name a2.bin size 1024 crc 2222222a )\n)\n\n");
}

// A rom listed twice counts once in its set; in the compact form each of its
// lines goes as the old set holds that rom or not.
TEST(Diff, CompactKeepsOrDropsEveryLineOfARomListedTwice) {
    const std::string old =
        "game ( name g\n\trom ( name a size 1 crc 1 )\n"
        "\trom ( name b size 1 crc 2 )\n)\n";
    const std::string next =
        "game ( name g\n\trom ( name a size 1 crc 1 )\n"
        "\trom ( name b size 1 crc 3 )\n\trom ( name a size 1 crc 1 )\n"
        "\trom ( name B size 1 crc 3 )\n)\n";
    for (const SetType type : kAllTypes) {
        const Compared c(old, next, type);
        EXPECT_EQ(c.blocks(true),
                  "game ( name g\n\trom ( name b size 1 crc 3 )\n"
                  "\trom ( name B size 1 crc 3 )\n)\n\n");
    }
}

TEST(Diff, CrlfDiffDatKeepsCrlf) {
    const std::string old = test::crlf(kBase);
    const std::string next = test::crlf(replaced(kBase, "crc 22222222", "crc 2222222a"));
    const Compared c(old, next, SetType::Split);
    EXPECT_EQ(
        c.blocks(true),
        test::crlf("game (\n\tname alpha\n\trom ( name a2.bin size 1024 crc 2222222a )\n)\n\n"));
}

TEST(Diff, QuotedNamesWithBlanks) {
    const std::string old = "game ( name \"my game\" rom ( name \"a rom.bin\" size 1 crc 1 ) )\n";
    const std::string next = "game ( name \"My Game\" rom ( name \"A ROM.bin\" size 1 crc 2 ) )\n";
    const Compared c(old, next, SetType::Split);
    EXPECT_EQ(c.changed(), Names{"My Game"});
    std::string report;
    writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"test", false, 1}, report);
    EXPECT_NE(report.find("  \"My Game\"\n    changed rom \"A ROM.bin\" (size 1, crc 00000002), "
                          "was size 1, crc 00000001\n"),
              std::string::npos)
        << report;
}

// The new sets shared between two threads give what one thread gives, in the
// same order, with changes, renames, additions and removals on both sides of
// the split.
TEST(Diff, SharedAmongThreadsTheResultIsTheSameAndInOrder) {
    std::string old;
    std::string next;
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        const std::string rom = " rom ( name r" + n + " size 1 crc " + n + " ) )\n";
        if (i % 5 != 4) old += "game ( name g" + n + rom;
        switch (i % 5) {
            case 0:
                next += "game ( name g" + n + rom;
                break;
            case 1:
                next += "game ( name g" + n + " rom ( name r" + n + " size 2 crc 9 ) )\n";
                break;
            case 2:
                next += "game ( name moved" + n + rom;
                break;
            case 4:
                next += "game ( name g" + n + rom;
                break;
        }
    }
    for (const SetType type : kAllTypes) {
        const Dat oldDat = test::parse(old);
        const Dat newDat = test::parse(next);
        const SetModel oldSets(oldDat, type);
        const SetModel newSets(newDat, type);
        const DiffResult alone = diffSets(oldSets, newSets, newSets.size());
        const DiffResult shared = diffSets(oldSets, newSets, 1);
        EXPECT_EQ(alone.added.size(), 8U);
        EXPECT_EQ(alone.removed.size(), 8U);
        EXPECT_EQ(alone.renamed.size(), 8U);
        EXPECT_EQ(alone.changed.size(), 8U);
        EXPECT_EQ(shared.added, alone.added);
        EXPECT_EQ(shared.removed, alone.removed);
        EXPECT_EQ(shared.renamed, alone.renamed);
        EXPECT_EQ(shared.unchanged, alone.unchanged);
        ASSERT_EQ(shared.changed.size(), alone.changed.size());
        for (std::size_t i = 0; i < alone.changed.size(); ++i) {
            EXPECT_EQ(shared.changed[i].oldSet, alone.changed[i].oldSet);
            EXPECT_EQ(shared.changed[i].newSet, alone.changed[i].newSet);
            EXPECT_EQ(shared.changed[i].entries.size(), alone.changed[i].entries.size());
        }
    }
}

// Games are matched by name without regard to case, as entries are.
TEST(Diff, GameNamesMatchWithoutRegardToCase) {
    const Compared c(kBase, replaced(replaced(kBase, "name alpha", "name ALPHA"), "crc 44444444", "crc 44444445"),
                     SetType::Split);
    EXPECT_TRUE(c.added().empty());
    EXPECT_TRUE(c.removed().empty());
    EXPECT_EQ(c.changed(), Names{"gamma"});
}

// A renamed set stays out of the compact form, also as the parent that an
// added clone brings along; the full form carries it.
TEST(Diff, CompactLeavesOutARenamedParentOfAnAddedClone) {
    const std::string old = "game ( name p rom ( name r size 1 crc 1 ) )\n";
    const std::string next =
        "game ( name q rom ( name r size 1 crc 1 ) )\n"
        "game ( name c cloneof q rom ( name s size 1 crc 2 ) )\n";
    const Compared c(old, next, SetType::Split);
    EXPECT_EQ(c.renamed(), Names{"p -> q"});
    EXPECT_EQ(c.diffDatGames(true), Names{"c"});
    EXPECT_EQ(c.diffDatGames(false), (Names{"q", "c"}));
}

// The compact form keeps NEW's own lines of the entries that it lists, keys
// and spelling as NEW has them.
TEST(Diff, CompactKeepsNewsLinesOfTheEntriesItLists) {
    const std::string old = "game ( name g\n\trom ( name a size 1 crc 1 )\n)\n";
    const std::string next =
        "game ( name g\n\trom ( name a size 1 crc 1 )\n"
        "\trom ( crc 0000000F  name \"b c\" region x size 0x1 )\n)\n";
    EXPECT_EQ(Compared(old, next, SetType::Split).blocks(true),
              "game ( name g\n\trom ( crc 0000000F  name \"b c\" region x size 0x1 )\n)\n\n");
}

// Contents that an unkeyed hash of size and crc (size * 0x9E3779B97F4A7C15 ^ crc)
// would give one hash must not share one: a dat of such sets would make the
// pairing of renamed sets quadratic.
TEST(Diff, ContentHashesAreKeyedOverEveryPartOfTheData) {
    const Dat dat = test::parse(
        "game ( name x rom ( name r size 0 crc 0 ) )\n"
        "game ( name y rom ( name r size 0xf1de83e19937733d crc 1 ) )\n"
        "game ( name z rom ( name R size 0 crc 0 ) )\n");
    const SetModel sets(dat, SetType::Split);
    EXPECT_NE(contentHash(sets, 0), contentHash(sets, 1));
    EXPECT_EQ(contentHash(sets, 0), contentHash(sets, 2));
}

// A game naming a device twice, the device listing a rom that the game lists
// too; a clone naming a board, which names that device itself.
constexpr std::string_view kDevices =
    "<mame>\n"
    "\t<machine name=\"game\">\n"
    "\t\t<description>Game</description>\n"
    "\t\t<rom name=\"g.bin\" size=\"4\" crc=\"00000001\"/>\n"
    "\t\t<rom name=\"shared.bin\" size=\"4\" crc=\"00000005\"/>\n"
    "\t\t<device_ref name=\"snd\"/>\n"
    "\t\t<device_ref name=\"snd\"/>\n"
    "\t</machine>\n"
    "\t<machine name=\"clone\" cloneof=\"game\" romof=\"game\">\n"
    "\t\t<description>Clone</description>\n"
    "\t\t<rom name=\"g.bin\" merge=\"g.bin\" size=\"4\" crc=\"00000001\"/>\n"
    "\t\t<rom name=\"c.bin\" size=\"4\" crc=\"00000002\"/>\n"
    "\t\t<device_ref name=\"board\"/>\n"
    "\t</machine>\n"
    "\t<machine name=\"snd\" isdevice=\"yes\">\n"
    "\t\t<description>Sound</description>\n"
    "\t\t<rom name=\"snd.bin\" size=\"4\" crc=\"00000003\"/>\n"
    "\t\t<rom name=\"shared.bin\" size=\"4\" crc=\"00000006\"/>\n"
    "\t</machine>\n"
    "\t<machine name=\"board\" isdevice=\"yes\">\n"
    "\t\t<description>Board</description>\n"
    "\t\t<rom name=\"board.bin\" size=\"4\" crc=\"00000004\"/>\n"
    "\t\t<device_ref name=\"snd\"/>\n"
    "\t</machine>\n"
    "</mame>\n";

// A game's full set takes in the roms of the devices that it names itself, one
// level down, each entry once, its own entry of a name before a device's.
TEST(FullNonMerged, AGameChangesWithTheRomsOfTheDevicesItNames) {
    struct Case {
        std::string_view from, to;
        Names changed;          // under full non-merged
        Names diffDat;          // and the games of its diff dat
        Names nonMergedChanged;
    };
    const Case cases[] = {
        // Only a device's rom: every game that names the device changes.
        {"crc=\"00000003\"", "crc=\"00000013\"", {"game", "snd", "board"},
         {"game", "snd", "board"}, {"snd"}},
        // A board that a clone names, which names the sound device itself.
        {"crc=\"00000004\"", "crc=\"00000014\"", {"clone", "board"}, {"clone", "snd", "board"},
         {"board"}},
        // The device's shared.bin: the game lists its own, which counts.
        {"crc=\"00000006\"", "crc=\"00000016\"", {"snd", "board"}, {"snd", "board"}, {"snd"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.to);
        const std::string next = replaced(kDevices, test.from, test.to);
        const Compared full(kDevices, next, SetType::FullNonMerged);
        EXPECT_EQ(full.changed(), test.changed);
        EXPECT_EQ(full.diffDatGames(false), test.diffDat);
        EXPECT_EQ(Compared(kDevices, next, SetType::NonMerged).changed(), test.nonMergedChanged);
    }
    const Compared same(kDevices, kDevices, SetType::FullNonMerged);
    EXPECT_TRUE(same.diff.empty());
    const Dat& dat = same.newDat;
    Names content;
    for (const std::uint32_t item : same.newSets.content(0)) {
        content.push_back(std::string(dat.view(dat.entries[item].name)) + " " +
                          std::to_string(dat.entries[item].crc));
    }
    EXPECT_EQ(content, (Names{"g.bin 1", "shared.bin 5", "snd.bin 3"}));
}

// Compact: a game lists what OLD's full set of its name lacks, an entry of a
// device with the device's line, roms after the game's roms (or, without, where
// the device_refs start) and disks after its disks.
TEST(FullNonMerged, CompactTakesTheDevicesLinesWhereTheyGo) {
    const Compared changed(kDevices, replaced(kDevices, "crc=\"00000003\"", "crc=\"00000013\""),
                           SetType::FullNonMerged);
    EXPECT_EQ(changed.diffDatGames(true), (Names{"game", "snd", "board"}));
    const std::string compact = changed.blocks(true);
    EXPECT_EQ(compact.substr(0, compact.find("\t<machine name=\"snd\"")),
              "\t<machine name=\"game\">\n"
              "\t\t<description>Game</description>\n"
              "\t\t<rom name=\"snd.bin\" size=\"4\" crc=\"00000013\"/>\n"
              "\t\t<device_ref name=\"snd\"/>\n"
              "\t\t<device_ref name=\"snd\"/>\n"
              "\t</machine>\n");

    // A new clone with a disk of its own, naming a device with a rom and a disk.
    std::string next = replaced(kDevices, "\t\t<rom name=\"board.bin\" size=\"4\" crc=\"00000004\"/>\n",
                                "\t\t<rom name=\"board.bin\" size=\"4\" crc=\"00000004\"/>\n"
                                "\t\t<disk name=\"bd\" sha1=\"0123\"/>\n");
    next = replaced(next, "\t<machine name=\"snd\"",
                    "\t<machine name=\"clone2\" cloneof=\"game\">\n"
                    "\t\t<description>Clone 2</description>\n"
                    "\t\t<disk name=\"own\" sha1=\"4567\"/>\n"
                    "\t\t<device_ref name=\"board\"/>\n"
                    "\t</machine>\n"
                    "\t<machine name=\"snd\"");
    const Compared added(kDevices, next, SetType::FullNonMerged);
    EXPECT_EQ(added.added(), Names{"clone2"});
    EXPECT_EQ(added.diffDatGames(false), (Names{"clone", "clone2", "snd", "board"}));
    const std::string block = added.blocks(true);
    EXPECT_EQ(block.substr(block.find("\t<machine name=\"clone2\""),
                           block.find("\t<machine name=\"board\"") -
                               block.find("\t<machine name=\"clone2\"")),
              "\t<machine name=\"clone2\" cloneof=\"game\">\n"
              "\t\t<description>Clone 2</description>\n"
              "\t\t<rom name=\"board.bin\" size=\"4\" crc=\"00000004\"/>\n"
              "\t\t<disk name=\"own\" sha1=\"4567\"/>\n"
              "\t\t<disk name=\"bd\" sha1=\"0123\"/>\n"
              "\t\t<device_ref name=\"board\"/>\n"
              "\t</machine>\n");
}

// Listinfo names no device: its full sets are its non-merged sets, and the
// report says why; names of machines that the dat lacks are reported.
TEST(FullNonMerged, WithoutDevicesTheSetsAreNonMergedAndTheReportSaysSo) {
    const std::string next = replaced(kBase, "crc 22222222", "crc 2222222a");
    const Compared full(kBase, next, SetType::FullNonMerged);
    const Compared nonMerged(kBase, next, SetType::NonMerged);
    EXPECT_EQ(full.changed(), nonMerged.changed());
    EXPECT_EQ(full.blocks(true), nonMerged.blocks(true));
    std::string report;
    writeReport(full.oldSets, full.newSets, full.diff, ReportContext{"t", false, 1}, report);
    EXPECT_NE(report.find("Form: full\n"
                          "Devices: old.dat has no device references (device_ref): its sets are "
                          "its non-merged sets\n"
                          "Devices: new.dat has no device references"),
              std::string::npos)
        << report;

    const Compared missing(kDevices, replaced(kDevices, "name=\"board\"/>", "name=\"gone\"/>"),
                           SetType::FullNonMerged);
    report.clear();
    writeReport(missing.oldSets, missing.newSets, missing.diff, ReportContext{"t", false, 1},
                report);
    EXPECT_NE(report.find("\nDevices: new.dat does not hold these devices that its games name (1): "
                          "gone\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(missing.changed(), Names{"clone"});
}

// A few hundred kilobytes that name one device of many roms from many games
// would ask for full sets far larger than the dat: refused, at the game where
// they grow too large, before any is made.
TEST(FullNonMerged, SetsFarLargerThanTheDatAreRefused) {
    std::string text = "<mame>\n<machine name=\"dev\">\n";
    for (int i = 0; i < 2000; ++i) {
        text += "<rom name=\"r" + std::to_string(i) + "\" size=\"1\" crc=\"1\"/>\n";
    }
    text += "</machine>\n";
    for (int i = 0; i < 2100; ++i) {
        text += "<machine name=\"g" + std::to_string(i) + "\"><device_ref name=\"dev\"/></machine>\n";
    }
    const Dat dat = test::parse(text + "</mame>\n");
    EXPECT_NO_THROW(SetModel(dat, SetType::NonMerged));
    try {
        SetModel sets(dat, SetType::FullNonMerged);
        ADD_FAILURE() << "sets of " << kMostFullEntries << " entries and more were made";
    } catch (const DatError& error) {
        EXPECT_EQ(error.position().line, 2003U + 2097U);
        EXPECT_NE(error.reason().find("would hold more than 4194304 roms and disks"),
                  std::string::npos)
            << error.reason();
    }
}

// The diff dat names itself where NEW's header names NEW, and only there; where
// NEW has no header, a header block or a comment comes before its first game.
TEST(DiffDatHeader, NamesBothDatsAndTheSetTypeWhereNewsHeaderNamesNew) {
    const std::string game = "game ( name g rom ( name r size 1 crc 1 ) )\n";
    const std::string machine = "\t<game name=\"g\"><rom name=\"r\" size=\"1\" crc=\"1\"/></game>\n";
    const std::string kNames = "\"b diff from a (split)\" description \"zandorel diff dat, not b "
                               "itself: the split sets added, renamed or changed from a to b\"";
    const std::string kText = "b diff from a (split)</name><description>zandorel diff dat, not b "
                              "itself: the split sets added, renamed or changed from a to b";
    struct Case {
        std::string header;
        std::string expected;
        std::string newPath = "b";
    };
    const Case cases[] = {
        {"clrmamepro (\n\tname \"MAME\"\n\tdescription MAME\n\tforcemerging full\n)\n\n",
         "clrmamepro (\n\tname \"b diff from a (split)\"\n\tdescription \"zandorel diff dat, not b "
         "itself: the split sets added, renamed or changed from a to b\"\n\tforcemerging split\n)\n\n"},
        {"clrmamepro ( version 1 )\n", "clrmamepro ( name " + kNames + " version 1 )\n"},
        {"", "clrmamepro (\n\tname " + kNames.substr(0, kNames.find(" description")) +
                 "\n\tdescription " + kNames.substr(kNames.find("\"zandorel")) + "\n)\n\n"},
        {"<datafile>\n\t<header>\n\t\t<name>x &amp; y</name>\n\t\t<description/>\n"
         "\t\t<clrmamepro forcemerging='none'/>\n\t</header>\n",
         "<datafile>\n\t<header>\n\t\t<name>" + kText.substr(0, kText.find("</name>")) +
             "</name>\n\t\t<description>" + kText.substr(kText.find("zandorel")) +
             "</description>\n\t\t<clrmamepro forcemerging='split'/>\n\t</header>\n"},
        {"<datafile><header><author>z</author></header>\n",
         "<datafile><header><name>" + kText + "</description><author>z</author></header>\n"},
        // A hostile file name: no markup, no end of the comment, no bad byte.
        {"<mame>\n",
         "<mame>\n\t<!-- b<- - ->\xC3\xA9????? diff from a (split): zandorel diff dat",
         "b<--->\xC3\xA9\xFF\x09\xE2\x80\xAE"},
        {"clrmamepro ( name x )\n", "clrmamepro ( name \"q\\\"\\x0a\\xff diff from a (split)\"",
         "folder\\q\"\n\xFF"},
        {"<datafile><header><name/></header>\n", "<datafile><header><name>x&amp;&lt;y diff from a (split)",
         "x&<y"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.header);
        const bool xml = test.header.starts_with("<");
        const std::string newText =
            test.header + (xml ? machine + (test.header.starts_with("<mame") ? "</mame>\n"
                                                                             : "</datafile>\n")
                               : game);
        const Dat oldDat = test::parse(xml ? "<mame/>" : "", "a");
        const Dat newDat = test::parse(newText, test.newPath);
        const SetModel oldSets(oldDat, SetType::Split);
        const SetModel newSets(newDat, SetType::Split);
        std::string written;
        writeDiffDat(oldSets, newSets, diffSets(oldSets, newSets), false, written);
        EXPECT_EQ(written.substr(0, test.expected.size()), test.expected);
        EXPECT_EQ(test::parse(written, "zandorel.dat").games.size(), 1U);
    }
}

// Names are hashed eight bytes at a time with the letters folded in place.
TEST(Names, HashAlikeWithoutRegardToCaseAtAnyLength) {
    EXPECT_EQ(hashFolded("Pac-Man Plus [Z]"), hashFolded("pac-man plus [z]"));
    EXPECT_EQ(hashFolded("MSLUGX"), hashFolded("mslugx"));
    EXPECT_NE(hashFolded("pac-man plus [z]"), hashFolded("pac-man plus {z}"));
    EXPECT_NE(hashFolded("abcdefgh\xC1"), hashFolded("abcdefgh\xE1"));  // not ASCII: as it is
    EXPECT_NE(hashFolded("\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8"),
              hashFolded("\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8"));
}

// One rule for every field that comes from a dat: none can start a line of its
// own, nor reach a terminal or a display of mixed directions as a control.
TEST(Report, FieldsAreQuotedAndEscapedByOneRule) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"pacman", "pacman"},
        {"", "\"\""},
        {"a b", "\"a b\""},
        {"say \"hi\"\\", "\"say \\\"hi\\\"\\\\\""},
        {"new\x1b[2Jline\r\t\n\x7f", "\"new\\x1b[2Jline\\r\\t\\n\\x7f\""},
        {"c1\xc2\x9b", "\"c1\\u009b\""},
        {"line\xe2\x80\xa8para\xe2\x80\xa9", "\"line\\u2028para\\u2029\""},
        {"rev\xe2\x80\xaeiso\xe2\x81\xa6", "\"rev\\u202eiso\\u2066\""},
        {"Cos\xc3\xac-\xe6\x97\xa5", "Cos\xc3\xac-\xe6\x97\xa5"},  // printable: as it is
        {"nbsp\xc2\xa0", "\"nbsp\xc2\xa0\""},                      // a blank: quoted only
        {"latin1\xec", "\"latin1\\xec\""},                         // no UTF-8: its bytes
        {"cut\xe2\x80", "\"cut\\xe2\\x80\""},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(fieldText(text), expected) << text;
    // A path stands as the user gave it unless the rule must escape it.
    EXPECT_EQ(pathText("my dats\\new \"1\".dat"), "my dats\\new \"1\".dat");
    EXPECT_EQ(pathText("a\xe2\x80\xae.dat"), "\"a\\u202e.dat\"");

    // A hash that would forge an entry line.
    const Compared c("game ( name g rom ( name r size 1 crc 1 ) )\n",
                     "game ( name g rom ( name r size 1 sha1 "
                     "\"x\\n    removed rom r (size 1, crc 00000001)\" ) )\n",
                     SetType::Split);
    std::string report;
    writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"test", false, 1}, report);
    EXPECT_EQ(report.find("\n    removed"), std::string::npos) << report;
    EXPECT_NE(report.find("sha1 \"x\\n    removed rom r (size 1, crc 00000001)\")"),
              std::string::npos)
        << report;
}

TEST(Report, EntryLinesOfEveryKind) {
    const Compared c(
        "game ( name g rom ( name a size 1 crc 1 ) rom ( name b size 2 crc abcdef01 )\n"
        "\trom ( name c md5 0123456789abcdef0123456789abcdef ) rom ( name gone size 9 )\n"
        "\tdisk ( name d sha1 0123456789012345678901234567890123456789 ) )\n",
        "game ( name g rom ( name a size 1 crc 2 ) rom ( name \"b 2\" size 2 crc abcdef01 )\n"
        "\trom ( name c md5 0123456789abcdef0123456789abcdef )\n"
        "\tdisk ( name d sha1 0123456789012345678901234567890123456789 )\n"
        "\tdisk ( name e ) )\n",
        SetType::Split);
    std::string report;
    writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"t", false, 1}, report);
    EXPECT_NE(report.find("\nChanged (1)\n  g\n"
                          "    changed rom a (size 1, crc 00000002), was size 1, crc 00000001\n"
                          "    renamed rom b (size 2, crc abcdef01) -> \"b 2\"\n"
                          "    added disk e\n"
                          "    removed rom gone (size 9)\n"),
              std::string::npos)
        << report;
    const Entry& disk = c.newDat.entries[3];
    const Entry& md5 = c.newDat.entries[2];
    EXPECT_EQ(describeEntry(c.newDat, disk),
              "disk d (sha1 0123456789012345678901234567890123456789)");
    EXPECT_EQ(describeEntry(c.newDat, md5), "rom c (md5 0123456789abcdef0123456789abcdef)");
}

TEST(Report, HeaderSectionsAndSummary) {
    const Compared c(kBase, replaced(kBase, "name beta", "name beta2"), SetType::Merged);
    std::string report;
    writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"9.9", true, 1}, report);
    EXPECT_EQ(report,
              "zandorel 9.9\n"
              "Old: old.dat (listinfo, 3 games, 3 sets)\n"
              "New: new.dat (listinfo, 3 games, 3 sets)\n"
              "Set type: merged\n"
              "Form: compact\n"
              "\nAdded (0)\n"
              "\nRemoved (0)\n"
              "\nRenamed (1)\n  beta -> beta2\n"
              "\nChanged (0)\n"
              "\nStatus changed (0)\n"
              "\nSummary: 0 added, 0 removed, 1 renamed, 0 changed, 2 unchanged; "
              "zandorel.dat holds 1 games; 0 status changed (0 better, 0 worse)\n");
}

// The same pair as listinfo and as XML: each set line says what the set is
// (NEW's fields, OLD's for a removed set, the name alone where the dat gives
// none, "" for what it leaves out), and the status changes come better first,
// then worse, then neither.
TEST(Report, SetLinesGiveWhatEachSetIsAndStatusChangesBetterFirst) {
    const std::string oldText =
        "game ( name pacman description Pac-Man year 1980\n"
        "\trom ( name p size 1 crc 1 ) driver ( status imperfect ) )\n"
        "game ( name galaga description Galaga year 1981 manufacturer Namco\n"
        "\trom ( name g size 1 crc 2 ) driver ( status good ) )\n"
        "game ( name gone description \"Gone \\\"Old\\\"\" year 198?\n"
        "\trom ( name x size 1 crc 3 ) )\n"
        "game ( name dkong rom ( name d size 1 crc 4 ) driver ( status preliminary ) )\n"
        "game ( name bare rom ( name b size 1 crc 5 ) driver ( status good ) )\n"
        "game ( name oldname description Old rom ( name r size 1 crc 7 ) )\n";
    const std::string newText =
        "game ( name pacman description \"Pac-Man Plus\" year 1980\n"
        "\trom ( name p size 1 crc 9 ) driver ( status good ) )\n"
        "game ( name galaga description Galaga year 1981 manufacturer Namco\n"
        "\trom ( name g size 1 crc 2 ) driver ( status preliminary ) )\n"
        "game ( name dkong rom ( name d size 1 crc 4 ) driver ( status good ) )\n"
        "game ( name bare rom ( name b size 1 crc 5 ) driver ( status testing ) )\n"
        "game ( name newname description New year 1990 manufacturer Konami\n"
        "\trom ( name r size 1 crc 7 ) )\n"
        "game ( name n\xe2\x80\xae description \"n\xe2\x80\xae\" manufacturer \"Atari & Namco\"\n"
        "\trom ( name n size 1 crc 8 ) )\n";
    const std::string expected =
        "\nAdded (1)\n  \"n\\u202e\"  \"n\\u202e\"  \"\"  \"Atari & Namco\"\n"
        "\nRemoved (1)\n  gone  \"Gone \\\"Old\\\"\"  198?  \"\"\n"
        "\nRenamed (1)\n  oldname -> newname  New  1990  Konami\n"
        "\nChanged (1)\n  pacman  \"Pac-Man Plus\"  1980  \"\"\n"
        "    changed rom p (size 1, crc 00000009), was size 1, crc 00000001\n"
        "\nStatus changed (4)\n"
        "  pacman  imperfect -> good  \"Pac-Man Plus\"  1980  \"\"\n"
        "  dkong  preliminary -> good\n"
        "  galaga  good -> preliminary  Galaga  1981  Namco\n"
        "  bare  good -> testing\n"
        "\nSummary: 1 added, 1 removed, 1 renamed, 1 changed, 3 unchanged; "
        "zandorel.dat holds 3 games; 4 status changed (2 better, 1 worse)\n";
    std::vector<std::pair<std::string, std::string>> pairs = {{oldText, newText}};
    if (xmlSupported())
        pairs.emplace_back(test::toXml(test::parse(oldText)), test::toXml(test::parse(newText)));
    for (const auto& [oldDat, newDat] : pairs) {
        const Compared c(oldDat, newDat, SetType::Split);
        std::string report;
        writeReport(c.oldSets, c.newSets, c.diff, ReportContext{"t", false, 3}, report);
        // The sets whose status alone changed count as unchanged.
        EXPECT_EQ(report.substr(report.find("\nAdded (")), expected) << newDat;
    }

    // Under merged, a family's line gives its parent's fields.
    const Compared family(
        "game ( name p description Parent year 1990 rom ( name a size 1 crc 1 ) )\n"
        "game ( name c cloneof p description Clone year 1991 rom ( name b size 1 crc 2 ) )\n",
        "game ( name p description Parent year 1990 rom ( name a size 1 crc 1 ) )\n"
        "game ( name c cloneof p description Clone year 1991 rom ( name b size 1 crc 3 ) )\n",
        SetType::Merged);
    std::string report;
    writeReport(family.oldSets, family.newSets, family.diff, ReportContext{"t", false, 2}, report);
    EXPECT_NE(report.find("\nChanged (1)\n  p  Parent  1990  \"\"\n"), std::string::npos) << report;
}

}  // namespace
}  // namespace zfe::zandorel
