#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/tools/zandorel/test_support.h"
#include "tools/zandorel/dat_file.h"

namespace zfe::zandorel {
namespace {

using test::crlf;
using test::parse;
using test::parseError;

constexpr std::string_view kSample =
    "clrmamepro (\n"
    "\tname \"Sample dat\"\n"
    "\tversion 0.123\n"
    ")\n"
    "\n"
    "resource (\n"
    "\tname neogeo\n"
    "\trom ( name sp-s2.sp1 size 131072 crc 9036d879 sha1 4f5ed7105b7128794654ce82b51723e16e389543 "
    ")\n"
    ")\n"
    "\n"
    "game (\n"
    "\tname mslug\n"
    "\tdescription \"Metal Slug - Super Vehicle-001\"\n"
    "\tromof neogeo\n"
    "\tfuturekey somevalue\n"
    "\tvideo ( screen raster orientation horizontal x 320 y 224 )\n"
    "\tnewblock ( inner ( deeper 1 ) other \"x ( y\" )\n"
    "\trom ( name sp-s2.sp1 merge sp-s2.sp1 size 131072 crc 9036D879 )\n"
    "\trom ( name 201-p1.p1 size 2097152 crc 08d8daa5 )\n"
    "\tdisk ( name mslugcd md5 0123456789abcdef0123456789abcdef )\n"
    ")\n"
    "\n"
    "machine (\n"
    "\tname mslugb\n"
    "\tcloneof mslug\n"
    "\trom ( name bad.bin size 0x400 region cpu1 offs 0 flags 0x5 )\n"
    "\trom ( name missing.bin size 1024 flags nodump )\n"
    ")\n";

TEST(ListinfoReader, ReadsGamesResourcesAndMachinesAndSkipsTheHeader) {
    const Dat dat = test::parseAndWipeText(kSample);
    EXPECT_EQ(dat.format, DatFormat::Listinfo);
    ASSERT_EQ(dat.games.size(), 3U);
    EXPECT_EQ(dat.view(dat.games[0].name), "neogeo");
    EXPECT_EQ(dat.view(dat.games[1].name), "mslug");
    EXPECT_EQ(dat.view(dat.games[1].romOf), "neogeo");
    EXPECT_EQ(dat.view(dat.games[2].name), "mslugb");
    EXPECT_EQ(dat.view(dat.games[2].cloneOf), "mslug");
    EXPECT_EQ(dat.games[1].entryCount, 3U);

    const Entry& shared = dat.entries[dat.games[1].firstEntry];
    EXPECT_TRUE(shared.isMerged());
    EXPECT_TRUE(shared.hasCrc());
    EXPECT_EQ(shared.crc, 0x9036d879U);  // upper-case hex
    const Entry& disk = dat.entries[dat.games[1].firstEntry + 2];
    EXPECT_TRUE(disk.isDisk());
    EXPECT_TRUE(disk.hasMd5());
    EXPECT_EQ(dat.view(disk.hash), "0123456789abcdef0123456789abcdef");
}

TEST(ListinfoReader, KeepsEveryBlockByteForByteWithUnknownKeysAndSubBlocks) {
    const Dat dat = parse(kSample);
    const Game& game = dat.games[1];
    const std::string_view block =
        dat.text.substr(game.blockBegin, game.blockEnd - game.blockBegin);
    EXPECT_EQ(block.substr(0, 6), "game (");
    EXPECT_NE(block.find("futurekey somevalue"), std::string_view::npos);
    EXPECT_NE(block.find("newblock ( inner ( deeper 1 ) other \"x ( y\" )"),
              std::string_view::npos);
    EXPECT_EQ(block.substr(block.size() - 2), ")\n");
    // The header is not a game, and what comes before the first game is left
    // as it was for the writer to copy.
    EXPECT_EQ(dat.text.substr(0, dat.games[0].blockBegin).substr(0, 12), "clrmamepro (");
}

TEST(ListinfoReader, OldNumericFlagsAreKeptAndOnlyNoDumpMeansNoData) {
    const Dat dat = parse(kSample);
    const Entry& numeric = dat.entries[dat.games[2].firstEntry];
    EXPECT_FALSE(numeric.isNoDump());
    EXPECT_TRUE(numeric.hasSize());
    EXPECT_EQ(numeric.size, 0x400U);
    EXPECT_TRUE(dat.entries[dat.games[2].firstEntry + 1].isNoDump());

    const Dat other = parse(
        "game ( name g\n"
        "rom ( name a status nodump )\n"
        "rom ( name b size 1 nodump )\n"
        "rom ( name c size 1 flags baddump crc 1 ) )\n");
    ASSERT_EQ(other.entries.size(), 3U);
    EXPECT_TRUE(other.entries[0].isNoDump());
    EXPECT_TRUE(other.entries[1].isNoDump());
    EXPECT_FALSE(other.entries[2].isNoDump());
}

// A rom of bare words is read off in one pass, any other by tokens: with a
// string added, which sends it the long way, every rom must read the same.
TEST(ListinfoReader, ARomOfBareWordsReadsAsTheSameRomWithAString) {
    const std::string roms[] = {
        "name a.bin size 1024 crc 0ABCdef1 sha1 00ff md5 11",
        "md5 22 name b size 0x10",
        "name c.bin merge c.bin\tsize 7 crc 1\n status nodump region cpu1",
        "name d flags baddump nodump",
        "name e region " + std::string(300, 'r') + " sha1 EE",  // longer than one pass looks
        "name f\r\n size 3 crc 3 merge",
    };
    for (const std::string& rom : roms) {
        const Dat bare = parse("game ( name g rom ( " + rom + " ) disk ( " + rom + ") )");
        const Dat quoted =
            parse("game ( name g rom ( x \"y\" " + rom + " ) disk ( x \"(\" " + rom + ") )");
        ASSERT_EQ(bare.entries.size(), 2U) << rom;
        ASSERT_EQ(quoted.entries.size(), 2U) << rom;
        for (std::size_t i = 0; i < 2; ++i) {
            const Entry& x = bare.entries[i];
            const Entry& y = quoted.entries[i];
            EXPECT_EQ(bare.view(x.name), quoted.view(y.name)) << rom;
            EXPECT_EQ(bare.view(x.hash), quoted.view(y.hash)) << rom;
            EXPECT_EQ(x.flags, y.flags) << rom;
            EXPECT_EQ(x.size, y.size) << rom;
            EXPECT_EQ(x.crc, y.crc) << rom;
        }
    }
}

TEST(ListinfoReader, DecodesQuotedStringsWithEscapes) {
    const Dat dat = parse(
        "game (\n"
        "\tname \"space name \\\"quoted\\\" back\\\\slash\"\n"
        "\tdescription \"tab\\tnl\\nhex\\x41oct\\101\\q\"\n"
        "\trom ( name \"my rom (1).bin\" size 16 crc 0000abcd )\n"
        ")\n");
    ASSERT_EQ(dat.games.size(), 1U);
    EXPECT_EQ(dat.view(dat.games[0].name), "space name \"quoted\" back\\slash");
    const Entry& rom = dat.entries[0];
    EXPECT_EQ(dat.view(rom.name), "my rom (1).bin");
    EXPECT_EQ(rom.crc, 0xabcdU);
}

TEST(ListinfoReader, CrlfInputReadsLikeLfAndKeepsItsLineEnds) {
    const Dat lf = parse(kSample);
    const Dat withCr = parse(crlf(kSample));
    EXPECT_EQ(withCr.lineEnd, "\r\n");
    ASSERT_EQ(withCr.games.size(), lf.games.size());
    ASSERT_EQ(withCr.entries.size(), lf.entries.size());
    for (std::size_t i = 0; i < lf.entries.size(); ++i) {
        EXPECT_EQ(withCr.view(withCr.entries[i].name), lf.view(lf.entries[i].name));
        EXPECT_EQ(withCr.entries[i].crc, lf.entries[i].crc);
        EXPECT_EQ(withCr.entries[i].flags, lf.entries[i].flags);
    }
    const Game& game = withCr.games[1];
    EXPECT_EQ(withCr.text.substr(game.blockEnd - 3, 3), ")\r\n");
    const Entry& rom = withCr.entries[game.firstEntry];
    EXPECT_EQ(withCr.text.substr(rom.cutBegin, 7), "\trom ( ");
    EXPECT_EQ(withCr.text.substr(rom.cutEnd - 4, 4), " )\r\n");
}

TEST(ListinfoReader, PositionsInCrOnlyFilesCountLines) {
    const DatError error = parseError("game (\r\tname a\r\trom ( name \"x )\r)\r");
    EXPECT_EQ(error.position().line, 3U);
    EXPECT_EQ(error.position().column, 13U);
    EXPECT_EQ(parse("game ( name a )\r").lineEnd, "\r");
}

TEST(ListinfoReader, EmptyAndBlankFilesHoldNoGames) {
    EXPECT_TRUE(parse("").games.empty());
    EXPECT_TRUE(parse(" \r\n\t\n").games.empty());
    EXPECT_TRUE(parse("clrmamepro ( name x )\n").games.empty());
    // A UTF-8 byte order mark and a DOS end-of-file mark are not garbage.
    EXPECT_EQ(parse("\xEF\xBB\xBFgame ( name a )\n\x1a").games.size(), 1U);
}

TEST(ListinfoReader, DuplicateNamesKeepTheFirstAndAreReported) {
    const Dat dat = parse(
        "game ( name a rom ( name one crc 1 ) )\n"
        "game ( name b )\n"
        "game ( name A rom ( name two crc 2 ) )\n");
    ASSERT_EQ(dat.games.size(), 2U);
    EXPECT_EQ(dat.entries[dat.games[0].firstEntry].crc, 1U);
    ASSERT_EQ(dat.duplicates.size(), 1U);
    EXPECT_EQ(dat.duplicates[0].name, "A");
    EXPECT_EQ(positionOf(dat.text, dat.duplicates[0].offset).line, 3U);
    EXPECT_EQ(positionOf(dat.text, dat.duplicates[0].firstOffset).line, 1U);
    EXPECT_EQ(dat.findGame("a"), 0U);
    EXPECT_EQ(dat.findGame("B"), 1U);
}

struct MalformedCase {
    const char* what;
    std::string text;
    std::uint32_t line;
    std::uint32_t column;
    const char* reasonPart;
};

class MalformedListinfo : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedListinfo, GivesItsErrorWithLineAndColumn) {
    const MalformedCase& c = GetParam();
    const DatError error = parseError(c.text);
    EXPECT_EQ(error.path(), "bad.dat");
    ASSERT_TRUE(error.hasPosition());
    EXPECT_EQ(error.position().line, c.line) << error.what();
    EXPECT_EQ(error.position().column, c.column) << error.what();
    EXPECT_NE(error.reason().find(c.reasonPart), std::string::npos) << error.what();
    EXPECT_NE(
        std::string(error.what())
            .find("bad.dat:" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": "),
        std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedListinfo,
    ::testing::Values(
        MalformedCase{"closing parenthesis too many", "game ( name a )\n)\n", 2, 1,
                      "')' without a matching '('"},
        MalformedCase{"rom block left open", "game (\n\tname a\n\trom ( name r size 1\n)\n", 5, 1,
                      "block opened at line 1, column 1"},
        MalformedCase{"unterminated string", "game (\n\tname \"abc\n)\n", 2, 7,
                      "unterminated string"},
        MalformedCase{"string cut by the end of the file", "game ( name \"abc", 1, 13,
                      "unterminated string"},
        MalformedCase{"truncated file", std::string(kSample.substr(0, kSample.find("orientation"))),
                      16, 24,
                      "'video' block opened at line 16, column 8 (unbalanced parentheses or "
                      "truncated file)"},
        MalformedCase{"truncated after a block name", "game ( name a )\ngame", 2, 5,
                      "truncated file"},
        MalformedCase{"binary garbage",
                      std::string("game ( name a )\n") + std::string("\x7f"
                                                                     "ELF\x02\x01",
                                                                     6),
                      2, 1, "unexpected byte 0x7F"},
        MalformedCase{"NUL inside a block", std::string("game ( name a\0 )", 16), 1, 14,
                      "unexpected byte 0x00"},
        MalformedCase{"block name without parenthesis", "game name a", 1, 6,
                      "expected '(' after 'game'"},
        MalformedCase{"game without a name", "\n  game ( description x )", 2, 3, "has no name"},
        MalformedCase{"rom without a name", "game ( name a\n rom ( size 1 ) )", 2, 2,
                      "has no name"},
        MalformedCase{"parenthesis without a key", "game ( name a ( x ) )", 1, 15,
                      "without a key"}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) {
        std::string name;
        for (const char c : std::string(info.param.what)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST(ListinfoReader, DeepNestingIsAnErrorNotACrash) {
    std::string text = "game ( name a x ";
    for (int i = 0; i < 100000; ++i) text += "( ";
    const DatError error = parseError(text);
    EXPECT_NE(error.reason().find("nested too deep"), std::string::npos);
}

TEST(ListinfoReader, AnUnreadableFileIsAnErrorNamingIt) {
    try {
        readDatFile("/nonexistent-folder/old.dat");
        FAIL() << "no error";
    } catch (const DatError& error) {
        EXPECT_FALSE(error.hasPosition());
        EXPECT_NE(std::string(error.what()).find("/nonexistent-folder/old.dat"), std::string::npos);
    }
}

// A file larger than twice the reach is read as the reader goes and let go
// behind it: what the dat keeps must read right, a block read again (as the
// writer does) comes back from the file, and a file that has shrunk since is
// told as changed, never read as short.
TEST(ListinfoReader, AFileReadAsTheReaderGoesKeepsWhatItRead) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zandorel-large-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         ".dat");
    const auto line = [](int i) {
        return "game ( name g" + std::to_string(i) + " rom ( name r" + std::to_string(i) +
               ".bin size 1024 crc 1234abcd sha1 " + std::string(40, 'a' + i % 6) + " ) )\n";
    };
    constexpr int kGames = 100000;  // about 10 MB, read 2 MB ahead: steps move ahead
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kGames; ++i) out << line(i);
    }
    {
        // The dat holds its file open, which Windows does not let go while it is.
        const Dat dat = readDatFile(path.string(), std::size_t{2} << 20);
        ASSERT_EQ(dat.games.size(), static_cast<std::size_t>(kGames));
        std::string scratch;
        for (int i = 0; i < kGames; i += 997) {
            const Game& game = dat.games[static_cast<std::size_t>(i)];
            EXPECT_EQ(dat.view(game.name), "g" + std::to_string(i));
            const Entry& rom = dat.entries[game.firstEntry];
            EXPECT_EQ(dat.view(rom.name), "r" + std::to_string(i) + ".bin");
            EXPECT_EQ(dat.view(rom.hash), std::string(40, 'a' + i % 6));
            EXPECT_EQ(dat.storage.range(game.blockBegin, game.blockEnd, scratch), line(i));
        }
        EXPECT_NO_THROW(requireUnchanged(dat));
#ifndef _WIN32
        // What another program appends shows in no byte that a reader reaches:
        // the NUL after the text stays, also where the file ends inside a page.
        ASSERT_NE(dat.text.size() % 4096, 0U);
        std::ofstream(path, std::ios::binary | std::ios::app) << std::string(8192, 'x');
        EXPECT_EQ(dat.text.data()[dat.text.size()], '\0');
#endif

        const auto written = std::filesystem::last_write_time(path);
        std::filesystem::resize_file(path, 100);
        EXPECT_THROW(requireUnchanged(dat), DatError);
        const Game& last = dat.games.back();
        try {
            dat.storage.range(last.blockBegin, last.blockEnd, scratch);
            ADD_FAILURE() << "bytes past the end read";
        } catch (const DatError& error) {
            EXPECT_NE(error.reason().find("changed while it was read"), std::string::npos);
        }
#ifndef _WIN32
        // The file is read through a mapping, which a file cut short under the
        // reader leaves without pages: they read as zeros, never as a crash,
        // and the file stays changed even once it has its size and time again.
        EXPECT_EQ(dat.text[dat.text.size() / 2], '\0');
        std::filesystem::resize_file(path, dat.text.size());
        std::filesystem::last_write_time(path, written);
        EXPECT_THROW(requireUnchanged(dat), DatError);
#endif
    }
    std::filesystem::remove(path);
}

// Read as the reader goes, a malformed file is told at its true line and
// column, and a block longer than the reach reads as it does in memory.
TEST(ListinfoReader, AFileReadAsTheReaderGoesIsJudgedAsInMemory) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("zandorel-reach-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         ".dat");
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "game ( name g" + std::to_string(i) + " )\n";
    text += "game ( name long description \"" + std::string(20000, 'x') + "\" )\n";
    const auto read = [&](const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
        return readDatFile(path.string(), 4096);
    };
    EXPECT_EQ(read(text).games.size(), 2001U);
    try {
        read(text + "game ( name broken");
        ADD_FAILURE() << "no error";
    } catch (const DatError& error) {
        EXPECT_EQ(error.position().line, 2002U) << error.what();
    }
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace zfe::zandorel
