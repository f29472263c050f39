#include "capture/dat_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zfe::capture {
namespace {

TEST(DatText, EachListInfoBlockAndXmlRootIsADatAfterAByteOrderMarkBlanksAndAnyProlog) {
    for (const char* opener :
         {"game (\r\n\tname x\r\n", "machine (", "resource (", "clrmamepro (", "game\t(", "game(",
          "<?xml version=\"1.0\"?>\n<mame>", "<mame build=\"0.251\">", "<datafile>",
          "<!DOCTYPE mame [\n<!ATTLIST mame build CDATA \"]>\">\n<!-- ] > -->\n]>\n<mame>",
          "<!-- made by an emulator -->\n<mame>", "<?xml-stylesheet href=\"a\"?><datafile>",
          "<?xml version=\"1.0\"?><!-- a > b --><!DOCTYPE datafile SYSTEM \"d.dtd\"><datafile>"}) {
        for (const std::string before : {"", "\xEF\xBB\xBF", "\r\n\r\n \t", "\xEF\xBB\xBF\n  "}) {
            EXPECT_TRUE(isDatText(before + opener)) << before << opener;
        }
    }
}

TEST(DatText, NearMissesAndOtherProgramsOutputAreNot) {
    for (const std::string& output : std::vector<std::string>{"", "\r\n \t", "\xEF\xBB\xBF", "-listinfo\n", "gamex (\n", "game\n(\n", "game name\n",
          "Game (\n", "# game (\n", "<mamex>", "<?xml?><html>", "<mame", "<datafile", "<html>",
          "<!-- x -->\n<html>", "<!-- x -->game (", "<?xml version=\"1.0\"?>\n\tname x\n",
          "Usage: mame [machine] [media] [software] [options]\n", "\xEF\xBB\xBF\xEF\xBB\xBFgame (",
          "MAME v0.251\ngame (\n", std::string("\0game (", 7)}) {
        EXPECT_FALSE(isDatText(output)) << output;
        EXPECT_EQ(judgeDat(output, output, static_cast<std::int64_t>(output.size())),
                  DatJudgement::NotADat) << output;
    }
}

// Whole outputs, each one its start and its end at once.
TEST(DatText, DatIsWholeOnlyWhenItsRootOrItsLastBlockIsClosed) {
    struct Case {
        const char* output;
        DatJudgement judged;
    };
    using enum DatJudgement;
    for (const auto& [output, judged] : std::vector<Case>{
             {"game (\r\n\tname x\r\n\trom ( name \"a (b\" size 1 )\r\n)\r\n", Whole},
             {"clrmamepro (\n)\nresource (\n)\ngame (\n\tdescription \"say \\\"x)\\\"\"\n)\n", Whole},
             {"game (\r\n\tname x\r\n\trom ( name a size 1 )\r\n", EndedEarly},
             {"game (\n\tdescription \"a (b) ", EndedEarly},
             {"game (\n\tdescription \"x)\"", EndedEarly},
             {"game (\n)\ngam", EndedEarly},
             {"game (\n)\n)\n", EndedEarly},
             {"<?xml version=\"1.0\"?>\n<mame build=\"1\">\n\t<machine name=\"a\"/>\n</mame>\n", Whole},
             {"<datafile>\n</datafile >\n<!-- end -->\n<?done?>\n", Whole},
             {"<!-- c --><mame build=\"a>b\"/>\n", Whole},
             {"<?xml version=\"1.0\"?>\n<mame build=\"1\">\n\t<machine name=\"pac", EndedEarly},
             {"<mame>\n\t<machine name=\"a\">\n\t</machine>\n", EndedEarly},
             {"<mame>\n<!-- x -->", EndedEarly},
             {"<datafile>\n</mame>", EndedEarly},
             {"<mame/>\n<machine/>", EndedEarly},
             {"<?xml version=\"1.0\"?>\n<!-- cut", EndedEarly}}) {
        const std::string text = output;
        EXPECT_EQ(judgeDat(text, text, static_cast<std::int64_t>(text.size())), judged) << text;
    }
}

// A long output: its start and its end apart. A block that opens before the
// kept end is not known to be closed.
TEST(DatText, LongDatIsJudgedByItsEnd) {
    const std::int64_t size = 10'000'000;
    EXPECT_EQ(judgeDat("game (\n", "me (\n)\ngame (\n\tname c\n)\n", size), DatJudgement::Whole);
    EXPECT_EQ(judgeDat("game (\n", "game ( y\"\n)\n", size), DatJudgement::EndedEarly);
    EXPECT_EQ(judgeDat("<mame>\n", "\t</machine>\n</mame>\n", size), DatJudgement::Whole);
    EXPECT_EQ(judgeDat("<mame/>", "\n<!-- x -->\n", size), DatJudgement::EndedEarly);
}

TEST(DatText, PrintedLinesSkipBlanksEndAtTheLineEndAndShowNoControlCharacters) {
    EXPECT_EQ(firstPrintedLine("\xEF\xBB\xBF\r\n\r\n  -listinfo\r\nsecond\n", 80), "-listinfo");
    EXPECT_EQ(firstPrintedLine("only line", 80), "only line");
    EXPECT_EQ(firstPrintedLine("a\tb\x1b[0m\x7f\n", 80), "a b?[0m?");
    EXPECT_EQ(firstPrintedLine(std::string("x\0y", 3), 80), "x?y");
    EXPECT_EQ(firstPrintedLine(std::string(100, 'w') + "\n", 10), std::string(10, 'w') + "...");
    EXPECT_EQ(firstPrintedLine(" \r\n\t", 80), "");
    EXPECT_EQ(lastPrintedLine("first\r\n\t<machine name=\"p\x1b\r\n \n", 80), "<machine name=\"p?");
    EXPECT_EQ(lastPrintedLine("only", 80), "only");
}

}  // namespace
}  // namespace zfe::capture
