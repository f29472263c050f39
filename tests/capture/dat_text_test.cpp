#include "capture/dat_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zfe::capture {
namespace {

TEST(DatText, EachListInfoBlockAndXmlOpenerIsADatAfterAByteOrderMarkAndBlanks) {
    for (const char* opener : {"game (", "machine (", "resource (", "clrmamepro (", "game\t(",
                               "game(", "<?xml version=\"1.0\"?>", "<!DOCTYPE mame [", "<mame build=\"0.251\">",
                               "<datafile>"}) {
        for (const std::string before : {"", "\xEF\xBB\xBF", "\r\n\r\n \t", "\xEF\xBB\xBF\n  "}) {
            EXPECT_TRUE(isDatText(before + opener + "\r\n\tname x\r\n")) << before << opener;
        }
    }
}

TEST(DatText, NearMissesAndOtherProgramsOutputAreNot) {
    for (const std::string& output : std::vector<std::string>{"", "\r\n \t", "\xEF\xBB\xBF", "-listinfo\n", "gamex (\n", "game\n(\n", "game name\n",
          "Game (\n", "# game (\n", "<mamex>", "<?xmlfoo", "<mame", "<datafile", "<html>",
          "Usage: mame [machine] [media] [software] [options]\n", "\xEF\xBB\xBF\xEF\xBB\xBFgame (",
          "MAME v0.251\ngame (\n", std::string("\0game (", 7)}) {
        EXPECT_FALSE(isDatText(output)) << output;
    }
}

TEST(DatText, FirstPrintedLineSkipsBlanksEndsAtTheLineEndAndShowsNoControlCharacters) {
    EXPECT_EQ(firstPrintedLine("\xEF\xBB\xBF\r\n\r\n  -listinfo\r\nsecond\n", 80), "-listinfo");
    EXPECT_EQ(firstPrintedLine("only line", 80), "only line");
    EXPECT_EQ(firstPrintedLine("a\tb\x1b[0m\x7f\n", 80), "a b?[0m?");
    EXPECT_EQ(firstPrintedLine(std::string("x\0y", 3), 80), "x?y");
    EXPECT_EQ(firstPrintedLine(std::string(100, 'w') + "\n", 10), std::string(10, 'w') + "...");
    EXPECT_EQ(firstPrintedLine(" \r\n\t", 80), "");
}

}  // namespace
}  // namespace zfe::capture
