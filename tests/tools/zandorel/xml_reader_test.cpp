#include <gtest/gtest.h>

#ifdef ZFE_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

#include "tests/tools/zandorel/test_support.h"
#include "tools/zandorel/xml_reader.h"

namespace zfe::zandorel {
namespace {

using test::parse;
using test::parseError;

class XmlReader : public ::testing::Test {
protected:
    void SetUp() override {
        if (!xmlSupported()) GTEST_SKIP() << "built without XML support";
    }
};

TEST(XmlReaderMissing, ABuildWithoutXmlSaysSoForAnXmlDat) {
    if (xmlSupported()) GTEST_SKIP() << "built with XML support";
    const DatError error = parseError("<?xml version=\"1.0\"?><datafile/>");
    EXPECT_NE(error.reason().find("cannot read XML"), std::string::npos);
}

constexpr std::string_view kListXml =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE mame [\n"
    "<!ELEMENT mame (machine+)>\n"
    "]>\n"
    "<mame build=\"0.250\" debug=\"no\" mameconfig=\"10\">\n"
    "\t<machine name=\"neogeo\" isbios=\"yes\">\n"
    "\t\t<rom name=\"sp-s2.sp1\" bios=\"euro\" size=\"131072\" crc=\"9036D879\" "
    "region=\"mainbios\"/>\n"
    "\t</machine>\n"
    "\t<machine name=\"mslug\" romof=\"neogeo\">\n"
    "\t\t<description>Metal Slug &amp; co</description>\n"
    "\t\t<rom name=\"sp-s2.sp1\" merge=\"sp-s2.sp1\" size=\"131072\" crc=\"9036d879\"/>\n"
    "\t\t<rom name=\"201-p1.p1\" size=\"2097152\" crc=\"08d8daa5\" sha1=\"abc\"/>\n"
    "\t\t<rom name=\"gone.bin\" size=\"1024\" status=\"nodump\"/>\n"
    "\t\t<disk name=\"mslugcd\" sha1=\"0123\" />\n"
    "\t</machine>\n"
    "\t<machine name=\"mslug &quot;b&quot;\" cloneof=\"mslug\" romof=\"mslug\"></machine>\n"
    "</mame>\n";

TEST_F(XmlReader, ReadsListXmlMachinesRomsAndDisks) {
    const Dat dat = test::parseAndWipeText(kListXml);
    EXPECT_EQ(dat.format, DatFormat::Xml);
    ASSERT_EQ(dat.games.size(), 3U);
    EXPECT_EQ(dat.view(dat.games[1].name), "mslug");
    EXPECT_EQ(dat.view(dat.games[1].romOf), "neogeo");
    EXPECT_EQ(dat.view(dat.games[2].name), "mslug \"b\"");
    EXPECT_EQ(dat.view(dat.games[2].cloneOf), "mslug");
    ASSERT_EQ(dat.games[1].entryCount, 4U);
    const Entry* rom = &dat.entries[dat.games[1].firstEntry];
    EXPECT_TRUE(rom[0].isMerged());
    EXPECT_FALSE(rom[1].isMerged());
    EXPECT_EQ(rom[0].crc, 0x9036d879U);
    EXPECT_EQ(rom[1].size, 2097152U);
    EXPECT_TRUE(rom[2].isNoDump());
    EXPECT_TRUE(rom[3].isDisk());
    EXPECT_TRUE(rom[3].hasSha1());
    EXPECT_EQ(dat.view(rom[3].hash), "0123");
}

// Every value that counts reads as XML has it: references, and tabs and line
// ends turned to spaces, in single quotes as in double, on the numbers as well.
TEST_F(XmlReader, DecodesReferencesAndWhitespaceInEveryValueThatCounts) {
    const Dat dat = parse(
        "<mame>\n"
        "<machine name='a&#9;b \"c\"' romof=\"x\ty\">\n"
        "<rom name=\"r&#x41;\r\nz\" size=\"&#49;6\" crc=\"0000000&#65;\" "
        "status=\"no&#100;ump\" merge=\"&#32;\"/>\n"
        "<rom name=\"sixteen plain bytes&amp;\tmore\"/>\n"
        "</machine>\n"
        "</mame>\n");
    ASSERT_EQ(dat.games.size(), 1U);
    EXPECT_EQ(dat.view(dat.games[0].name), "a\tb \"c\"");
    EXPECT_EQ(dat.view(dat.games[0].romOf), "x y");
    ASSERT_EQ(dat.games[0].entryCount, 2U);
    const Entry& rom = dat.entries[dat.games[0].firstEntry];
    EXPECT_EQ(dat.view(rom.name), "rA z");
    EXPECT_EQ(dat.view(dat.entries[dat.games[0].firstEntry + 1].name), "sixteen plain bytes& more");
    EXPECT_EQ(rom.size, 16U);
    EXPECT_EQ(rom.crc, 0xaU);
    EXPECT_TRUE(rom.isNoDump());
    EXPECT_TRUE(rom.isMerged());
}

// The library keeps a repeated attribute and finds the first: the first of a
// name counts, whether the walker or the library reads the block (a comment
// sends it to the library), and an empty first name is no name.
TEST_F(XmlReader, TheFirstOfARepeatedAttributeCounts) {
    for (const std::string whole : {"", "<!-- c -->"}) {
        const Dat dat =
            parse("<mame><machine name=\"a\" romof=\"\" name=\"b\" romof=\"p\">" + whole +
                  "<rom size=\"1\" name=\"r\" crc=\"a\" name=\"s\" crc=\"b\" merge=\"\" "
                  "merge=\"r\"/></machine></mame>");
        ASSERT_EQ(dat.games.size(), 1U) << whole;
        EXPECT_EQ(dat.view(dat.games[0].name), "a") << whole;
        EXPECT_TRUE(dat.games[0].romOf.empty()) << whole;
        const Entry& rom = dat.entries[dat.games[0].firstEntry];
        EXPECT_EQ(dat.view(rom.name), "r") << whole;
        EXPECT_EQ(rom.crc, 0xaU) << whole;
        EXPECT_FALSE(rom.isMerged()) << whole;
        const DatError error = parseError("<mame><machine name=\"a\">" + whole +
                                          "<rom name=\"r\"/>\n <disk name=\"\" name=\"d\"/>"
                                          "</machine></mame>");
        EXPECT_EQ(error.position().line, 2U) << whole;
        EXPECT_EQ(error.position().column, 2U) << whole;
        EXPECT_NE(error.reason().find("<disk> element has no name"), std::string::npos) << whole;
    }
}

// What a game is, read the lean way and, where the block holds what only the
// library reads (a comment, CDATA, an entity in the status), the library's way;
// kept after the file's bytes are gone.
TEST_F(XmlReader, ReadsWhatEachGameIsEitherWay) {
    struct Case {
        std::string_view children;
        std::string_view description, year, manufacturer, status;
    };
    const Case cases[] = {
        {"<description>A &amp; B &#x14C;</description><year>198?</year>"
         "<manufacturer>X / Y</manufacturer><driver status=\"good\" emulation=\"good\"/>",
         "A & B \xc5\x8c", "198?", "X / Y", "good"},
        {"<!-- c --><description>A &amp; B</description><year>1990</year>"
         "<driver status=\"imperfect\"/>",
         "A & B", "1990", "", "imperfect"},
        {"<description><![CDATA[A & <B>]]></description><driver status=\"im&amp;perfect\"/>",
         "A & <B>", "", "", "im&perfect"},
        {"<description>two\r\nlines</description><year/><manufacturer></manufacturer>",
         "two\nlines", "", "", ""},
        {"<description>first</description><description>second</description>"
         "<driver status=\"good\"/><driver status=\"preliminary\"/>",
         "first", "", "", "good"},
        {"<rom name=\"r\" size=\"1\" crc=\"1\"/><device_ref name=\"d\"/><dipswitch name=\"s\">"
         "<dipvalue name=\"v\" value=\"0\"/></dipswitch><display type=\"raster\"/>"
         "<manufacturer>M</manufacturer>",
         "", "", "M", ""},
    };
    for (const Case& c : cases) {
        const std::string text =
            "<mame><machine name=\"g\">" + std::string(c.children) + "</machine></mame>";
        const Dat dat = test::parseAndWipeText(text);
        ASSERT_EQ(dat.games.size(), 1u) << text;
        const Game& game = dat.games[0];
        EXPECT_EQ(dat.view(game.description), c.description) << text;
        EXPECT_EQ(dat.view(game.year), c.year) << text;
        EXPECT_EQ(dat.view(game.manufacturer), c.manufacturer) << text;
        EXPECT_EQ(dat.view(game.driverStatus), c.status) << text;
    }
    const Dat listinfo = test::parseAndWipeText(
        "game ( name g description \"A \\\"B\\\"\" year 1990 manufacturer X\n"
        "\tdriver ( status good emulation good ( nested ) ) )\n");
    EXPECT_EQ(listinfo.view(listinfo.games[0].description), "A \"B\"");
    EXPECT_EQ(listinfo.view(listinfo.games[0].driverStatus), "good");
}

TEST_F(XmlReader, KeepsEachElementsBytesAsWholeLines) {
    const Dat dat = parse(kListXml);
    const Game& game = dat.games[1];
    const std::string_view block =
        dat.text.substr(game.blockBegin, game.blockEnd - game.blockBegin);
    EXPECT_EQ(block.substr(0, 18), "\t<machine name=\"ms");
    EXPECT_EQ(block.substr(block.size() - 12), "\t</machine>\n");
    const Entry& nodump = dat.entries[game.firstEntry + 2];
    EXPECT_EQ(dat.text.substr(nodump.cutBegin, nodump.cutEnd - nodump.cutBegin),
              "\t\t<rom name=\"gone.bin\" size=\"1024\" status=\"nodump\"/>\n");
    const Game& empty = dat.games[2];
    EXPECT_EQ(dat.text.substr(empty.blockEnd - 11, 11), "</machine>\n");
}

TEST_F(XmlReader, ReadsDatafileWithHeaderAndGames) {
    const Dat dat = parse(
        "<?xml version=\"1.0\"?>\r\n"
        "<datafile>\r\n"
        "  <header><name>x</name></header>\r\n"
        "  <game name=\"a\"><rom name=\"r\" size=\"1\" crc=\"1\"/></game>\r\n"
        "  <game name=\"b\" cloneof=\"a\"/>\r\n"
        "</datafile>\r\n");
    ASSERT_EQ(dat.games.size(), 2U);
    EXPECT_EQ(dat.lineEnd, "\r\n");
    EXPECT_EQ(dat.view(dat.games[1].cloneOf), "a");
    EXPECT_EQ(
        dat.text.substr(dat.games[1].blockBegin, dat.games[1].blockEnd - dat.games[1].blockBegin),
        "  <game name=\"b\" cloneof=\"a\"/>\r\n");
}

// A machine's own device_refs, each name kept once for the dat, alike whether
// the walker or the library reads the block (a comment sends it to the
// library, an entity in the name as well); none when they are not asked for.
TEST_F(XmlReader, ReadsTheDeviceRefsOfEachMachine) {
    const std::string text =
        "<mame>\n"
        "\t<machine name=\"a\">\n"
        "\t\t<rom name=\"r\" size=\"1\" crc=\"1\"/>\n"
        "\t\t<device_ref name=\"z80\"/>\n"
        "\t\t<device_ref  name = 'ym2151' />\n"
        "\t\t<device_ref name=\"Z80\"/><port tag=\"x\"><device_ref name=\"nested\"/></port>\n"
        "\t</machine>\n"
        "\t<machine name=\"b\"><!-- whole --><device_ref name=\"ym&amp;2151\"/>"
        "<device_ref name=\"ym2151\"/></machine>\n"
        "\t<machine name=\"c\"><device_ref/></machine>\n"
        "</mame>\n";
    const Dat dat = parse(text);
    ASSERT_EQ(dat.games.size(), 3U);
    const auto refs = [&](const Game& game) {
        std::vector<std::string> names;
        for (std::uint32_t r = 0; r < game.deviceRefCount; ++r) {
            names.emplace_back(dat.view(dat.deviceNames[dat.deviceRefs[game.firstDeviceRef + r]]));
        }
        return names;
    };
    EXPECT_EQ(refs(dat.games[0]), (std::vector<std::string>{"z80", "ym2151", "z80"}));
    EXPECT_EQ(refs(dat.games[1]), (std::vector<std::string>{"ym&2151", "ym2151"}));
    EXPECT_TRUE(refs(dat.games[2]).empty());
    EXPECT_EQ(dat.deviceNames.size(), 3U);
    EXPECT_EQ(text.substr(dat.games[0].deviceRefsAt, 13), "\t\t<device_ref");
    EXPECT_EQ(text.substr(dat.games[1].deviceRefsAt, 11), "<device_ref");
    EXPECT_TRUE(parseDat(text, "t.dat").deviceRefs.empty());
}

// Found by fuzzing: an end tag's text inside an attribute value, a comment or
// CDATA does not end the element.
TEST_F(XmlReader, AnEndTagInsideAValueOrCommentDoesNotEndTheElement) {
    const Dat dat = parse(
        "<mame>\n"
        "\t<machine name=\"a\">\n"
        "\t\t<rom name=\"r\" size=\"></machine>\"/>\n"
        "\t\t<!-- </machine> -->\n"
        "\t\t<notes><![CDATA[</machine>]]></notes>\n"
        "\t</machine>\n"
        "\t<machine name=\"b\"/>\n"
        "</mame>\n");
    ASSERT_EQ(dat.games.size(), 2U);
    const Game& game = dat.games[0];
    const std::string_view block =
        dat.text.substr(game.blockBegin, game.blockEnd - game.blockBegin);
    EXPECT_EQ(block.substr(block.size() - 12), "\t</machine>\n");
    EXPECT_EQ(dat.games[1].blockBegin, game.blockEnd);
}

// A machine's other elements are stepped over; only its own roms and disks
// count, wherever they stand among them, with their bytes found in the file.
// More than the 128 bytes that a tag is judged on at once.
const std::string kFarFromTheEnd = "\n" + std::string(150, ' ') + "\n";

TEST_F(XmlReader, ReadsOnlyDirectRomsAndDisksAmongOtherElements) {
    const std::string text =
        "<mame>\n"
        "\t<machine name='m' romof = 'bios' >\n"
        "\t\t<device type=\"a>b\" tag='x<y'><rom name=\"inside\"/><disk name=\"hd\"/></device>\n"
        "\t\t<chip type = \"a>b\"\ttag=\"x<y\" name=\"c\"\n\t\t/><port><rom name=\"in\"/></port>\n"
        "\t\t<rom name = 'a.bin' size='16'\tcrc=\"0000abcd\"\n\t\t\tmerge=\"a\" />\n"
        "\t\t<slot name=\"s\"><slotoption name=\"x\"/></slot  >\n"
        "\t\t<rom name=\"b.bin\" size=\"4\">see <i>b</i></rom\n\t\t>\n"
        "\t\t<sample name=\"s\"/><disk name=\"d\" sha1=\"0123\"/>\n"
        // Tags that end past 64 and past 128 bytes, with a '>' in a value there.
        "\t\t<chip type=\"cpu\" tag=\"maincpu\" name=\"Motorola 68000\" clock=\"12000000\" "
        "x=\">\"/>\n"
        "\t\t<display tag=\"screen\" type=\"raster\" rotate=\"0\" width=\"320\" height=\"224\" "
        "refresh=\"59.185606\" pixclock=\"6000000\" htotal=\"384\" x=\"a>b\"/>\n"
        "\t\t<rom name=\"long.bin\" size=\"524288\" crc=\"9036d879\" "
        "sha1=\"2b8c6a1a9e3cd4e1bd2a2a0c5c0e2b8c6a1a9e3c\" region=\"x>y\" offset=\"0\"/>\n"
        "\t</machine\t>\n"
        "\t<machine name=\"n\"><rom name=\"n.bin\"/></machine>\n"
        "</mame>\n";
    // Short of 64 bytes before the end of the file, and well before it.
    for (const std::string& after : {std::string(), kFarFromTheEnd}) {
        SCOPED_TRACE(after.size());
        const Dat dat = parse(text + std::string(after));
        ASSERT_EQ(dat.games.size(), 2U);
        EXPECT_EQ(dat.view(dat.games[0].romOf), "bios");
        ASSERT_EQ(dat.games[0].entryCount, 4U);
        const Entry* entry = &dat.entries[dat.games[0].firstEntry];
        const auto cut = [&dat](const Entry& e) {
            return dat.text.substr(e.cutBegin, e.cutEnd - e.cutBegin);
        };
        EXPECT_EQ(dat.view(entry[0].name), "a.bin");
        EXPECT_EQ(entry[0].crc, 0xabcdU);
        EXPECT_TRUE(entry[0].isMerged());
        EXPECT_EQ(cut(entry[0]),
                  "\t\t<rom name = 'a.bin' size='16'\tcrc=\"0000abcd\"\n\t\t\tmerge=\"a\" />\n");
        EXPECT_EQ(dat.view(entry[1].name), "b.bin");
        EXPECT_EQ(cut(entry[1]), "\t\t<rom name=\"b.bin\" size=\"4\">see <i>b</i></rom\n\t\t>\n");
        EXPECT_TRUE(entry[2].isDisk());
        EXPECT_EQ(dat.view(entry[2].hash), "0123");
        EXPECT_EQ(cut(entry[2]), "<disk name=\"d\" sha1=\"0123\"/>");
        EXPECT_EQ(entry[3].crc, 0x9036d879U);
        EXPECT_TRUE(cut(entry[3]).ends_with("offset=\"0\"/>\n"));
        const Game& game = dat.games[0];
        const std::string_view block =
            dat.text.substr(game.blockBegin, game.blockEnd - game.blockBegin);
        EXPECT_TRUE(block.starts_with("\t<machine name='m'"));
        EXPECT_TRUE(block.ends_with("</machine\t>\n"));
        EXPECT_EQ(dat.view(dat.entries[dat.games[1].firstEntry].name), "n.bin");
    }
}

// What the library refuses anywhere in the file is refused where the reader
// steps over it as well, at the library's position.
TEST_F(XmlReader, RefusesMalformedMarkupInElementsThatAreNotRead) {
    const std::string bad[] = {
        "<device_ref name=\"x\"></device>",  // end tag of another element
        "<chip name=\"x\"></chop>",          // another name of the same length
        "<chip name=\"a\"b=\"c\"/>",         // no blank between attributes
        "<chip name=\"a\" / >",              // '/' not followed by '>'
        "<chip name>",                       // attribute without a value
        "<chip name=a/>",                    // unquoted value
        "<port><analog mask=\"1\"></port>",  // unclosed child
        "<1chip/>",                          // a name may not start with a digit
        "<chip -x=\"1\"/>",                  // nor an attribute's
        "<chip name=\"a\" =\"b\"/>",         // '=' without a name
        "<chip name==\"a\"/>",
        "<chip name=\"a\" b/>",
        "<chip name=\"a\"\"b\"/>",
        "<chip\x01 name=\"a\"/>",
        "<chip name=\"a\" <b/>",
        // Longer than 64 and than 128 bytes.
        "<chip name=\"" + std::string(70, 'x') + "\" b/>",
        "<chip name=\"" + std::string(70, 'x') + "\"b=\"c\"/>",
        "<chip name=\"" + std::string(140, 'x') + "\" =\"\"/>",
        "<chip name=\"" + std::string(60, ' ') + "/> \" b/>",  // "/>" in a value past 64
        // The roms and disks that are read, which the library judges.
        "<rom name=\"a\"b=\"c\"/>",
        "<disk name=\"a\" / >",
        "<rom name=\"r\" size=1/>",
        "<rom name=\"r\" x=\"" + std::string(80, '>') + "\" b/>",
        "<rom name=\"r\"/ x=\"\">",
    };
    // Short of 64 bytes before the end of the file, and well before it.
    for (const std::string& after : {std::string(), kFarFromTheEnd}) {
        for (const std::string_view element : bad) {
            const std::string text = "<mame>\n<machine name=\"m\">\n<rom name=\"r\"/>\n" +
                                     std::string(element) + "\n</machine>\n</mame>\n" +
                                     std::string(after);
            const DatError error = parseError(text);
            EXPECT_NE(error.reason().find("malformed XML"), std::string::npos) << element;
            EXPECT_EQ(error.position().line, 4U) << element;
        }
    }
}

#ifdef ZFE_HAVE_PUGIXML
// Every byte in each place of a tag that is stepped over, within the first 64
// bytes, past them and past 128: the walker takes what the library takes.
TEST_F(XmlReader, TakesEveryByteWhereTheLibraryDoes) {
    for (int c = 1; c < 256; ++c) {
        const std::string b(1, static_cast<char>(c));
        for (const std::size_t padding : {0, 60, 120}) {
            const std::string v = "<chip p=\"" + std::string(padding, 'v') + "\"";
            for (const std::string& tag :
                 {v + " " + b + "a=\"1\"/>", v + " a" + b + "b=\"1\"/>", v + b + "a=\"1\"/>",
                  v + " a=" + b + "\"1\"/>", v + " a=\"1\"" + b + "/>", v + " /" + b + ">",
                  "<ch" + b + v.substr(3) + "/>", "<rom name=\"r\"" + v.substr(5) + b + "/>"}) {
                const std::string text = "<mame>\n<machine name=\"m\">\n" + tag +
                                         "\n</machine>\n</mame>\n" + kFarFromTheEnd;
                pugi::xml_document whole;
                const bool libraryTakes = static_cast<bool>(whole.load_string(text.c_str()));
                bool walkerTakes = true;
                try {
                    parse(text);
                } catch (const DatError&) {
                    walkerTakes = false;
                }
                EXPECT_EQ(walkerTakes, libraryTakes) << tag;
            }
        }
    }
}
#endif

TEST_F(XmlReader, MalformedXmlGivesLineAndColumn) {
    const DatError truncated = parseError("<datafile>\n  <game name=\"a\">\n    <rom name=\"r\"/");
    ASSERT_TRUE(truncated.hasPosition());
    EXPECT_EQ(truncated.position().line, 3U);
    EXPECT_NE(truncated.reason().find("malformed XML"), std::string::npos);

    const DatError garbage = parseError("<datafile>\n<game name=\"a\">\x01\x02<</game></datafile>");
    EXPECT_EQ(garbage.position().line, 2U);

    const DatError wrongRoot = parseError("\n<softwarelist name=\"x\"/>");
    EXPECT_EQ(wrongRoot.position().line, 2U);
    EXPECT_EQ(wrongRoot.position().column, 1U);
    EXPECT_NE(wrongRoot.reason().find("<softwarelist>"), std::string::npos);

    // Between the game blocks the library still judges every byte, and its
    // position is found in the file.
    const DatError between =
        parseError("<mame>\n<machine name=\"a\"><rom name=\"r\"/></machine>\n <x y=></mame>");
    EXPECT_EQ(between.position().line, 3U);
    EXPECT_NE(between.reason().find("malformed XML"), std::string::npos);

    const DatError unnamed = parseError("<mame>\n <machine cloneof=\"x\"/>\n</mame>");
    EXPECT_EQ(unnamed.position().line, 2U);
    EXPECT_EQ(unnamed.position().column, 2U);
}

// After the root only blanks, comments and processing instructions may come:
// a game there would otherwise be left out without a word. A NUL byte ends
// the document, as the library reads it.
TEST_F(XmlReader, OnlyCommentsAndInstructionsMayFollowTheRoot) {
    EXPECT_TRUE(parse("<mame/>\n<!-- c -->\n<?pi x?>\n").games.empty());
    EXPECT_TRUE(parse(std::string("<mame/>\n") + '\0' + "<machine name=\"a\"/>").games.empty());
    for (const char* after : {"<machine name=\"a\"/>", "<mame/>", "x", "<!DOCTYPE mame>",
                              "<![CDATA[x]]>"}) {
        const DatError error = parseError("<mame>\n</mame>\n <!-- c --> " + std::string(after));
        EXPECT_EQ(error.position().line, 3U) << after;
        EXPECT_EQ(error.position().column, 13U) << after;
    }
}

}  // namespace
}  // namespace zfe::zandorel
