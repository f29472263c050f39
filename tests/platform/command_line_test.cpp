#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/process.h"

namespace zfe::platform {
namespace {

using Arguments = std::vector<std::string>;

// The splitting sees the file system only through the predicate, so these
// cases give it a made-up set of existing files.
CommandLineParts split(const std::string& line, std::set<std::string> existingFiles = {}) {
    return splitCommandLine(
        line, [&](const std::string& path) { return existingFiles.count(path) != 0; });
}

TEST(SplitCommandLine, QuotedProgramEndsAtTheNextQuote) {
    const auto parts = split(R"("/opt/My Tools/zandorel" -M -t old.dat new.dat)");
    EXPECT_EQ(parts.program, "/opt/My Tools/zandorel");
    EXPECT_EQ(parts.arguments, (Arguments{"-M", "-t", "old.dat", "new.dat"}));
}

TEST(SplitCommandLine, QuotedProgramIsNotLookedUp) {
    bool asked = false;
    const auto parts = splitCommandLine(R"("a b" c)", [&](const std::string&) {
        asked = true;
        return true;
    });
    EXPECT_FALSE(asked);
    EXPECT_EQ(parts.program, "a b");
    EXPECT_EQ(parts.arguments, (Arguments{"c"}));
}

TEST(SplitCommandLine, QuotedProgramWithoutClosingQuoteTakesTheRestOfTheLine) {
    const auto parts = split(R"("/opt/my tool -x)");
    EXPECT_EQ(parts.program, "/opt/my tool -x");
    EXPECT_TRUE(parts.arguments.empty());
}

TEST(SplitCommandLine, UnquotedProgramWithBlanksIsFoundByTryingPrefixes) {
    const auto parts = split("/home/u/My Emus/mame -listinfo", {"/home/u/My Emus/mame"});
    EXPECT_EQ(parts.program, "/home/u/My Emus/mame");
    EXPECT_EQ(parts.arguments, (Arguments{"-listinfo"}));
}

TEST(SplitCommandLine, ShortestExistingPrefixWins) {
    const auto parts = split("/a/My Emus/mame -x", {"/a/My", "/a/My Emus/mame"});
    EXPECT_EQ(parts.program, "/a/My");
    EXPECT_EQ(parts.arguments, (Arguments{"Emus/mame", "-x"}));
}

TEST(SplitCommandLine, PrefixesAreTriedShortestFirstUpToTheWholeLine) {
    std::vector<std::string> asked;
    const auto parts = splitCommandLine("a b  c", [&](const std::string& path) {
        asked.push_back(path);
        return false;
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"a", "a b", "a b  c"}));
    // Nothing exists: the first word is the program, so starting it fails as
    // for any missing program.
    EXPECT_EQ(parts.program, "a");
    EXPECT_EQ(parts.arguments, (Arguments{"b", "c"}));
}

TEST(SplitCommandLine, WholeLineCanBeTheProgram) {
    const auto parts = split("/x/My Emus/mame", {"/x/My Emus/mame"});
    EXPECT_EQ(parts.program, "/x/My Emus/mame");
    EXPECT_TRUE(parts.arguments.empty());
}

TEST(SplitCommandLine, RunsOfBlanksSeparateArgumentsOnce) {
    const auto parts = split("  \"p\"   -a \t -b\t\tc   ");
    EXPECT_EQ(parts.program, "p");
    EXPECT_EQ(parts.arguments, (Arguments{"-a", "-b", "c"}));
}

TEST(SplitCommandLine, QuotedArgumentsKeepTheirBlanksAndLoseTheirQuotes) {
    const auto parts = split(R"("p" "old file.dat"  "new  file.dat" x"y z"w "")");
    EXPECT_EQ(parts.arguments, (Arguments{"old file.dat", "new  file.dat", "xy zw", ""}));
}

TEST(SplitCommandLine, ArgumentMayFollowTheClosingQuoteDirectly) {
    const auto parts = split(R"("p"-x y)");
    EXPECT_EQ(parts.program, "p");
    EXPECT_EQ(parts.arguments, (Arguments{"-x", "y"}));
}

TEST(SplitCommandLine, BackslashesAreOrdinaryCharactersExceptBeforeAQuote) {
    const auto parts = split(R"("C:\My Emus\mame.exe" C:\dats\ "D:\a b\\" x\"y "a\\\"b c" "e\\\\")");
    EXPECT_EQ(parts.program, R"(C:\My Emus\mame.exe)");
    EXPECT_EQ(parts.arguments, (Arguments{R"(C:\dats\)", R"(D:\a b\)", R"(x"y)", R"(a\"b c)", R"(e\\)"}));
}

TEST(QuoteArgument, EveryArgumentComesBackWhole) {
    const Arguments nasty = {"a.dat", "", "old set.dat", "tab\there", R"(say "hi".dat)",
                             R"(a\" b\.dat)", R"(ends in \)", R"(ends in \\)", R"(\\server\dats\)",
                             R"(")", "-x.dat", "caf\xc3\xa9 \xff.dat"};
    std::string line = "\"p\"";
    for (const auto& argument : nasty) line += " " + quoteArgument(argument);
    const auto parts = split(line);
    EXPECT_EQ(parts.program, "p");
    EXPECT_EQ(parts.arguments, nasty) << line;
    EXPECT_EQ(quoteArgument("a.dat"), "a.dat");
    EXPECT_EQ(quoteArgument("a b.dat"), "\"a b.dat\"");
}

TEST(SplitCommandLine, EmptyOrBlankLineGivesNoProgram) {
    for (const char* line : {"", "   ", "\t \t"}) {
        bool asked = false;
        const auto parts = splitCommandLine(line, [&](const std::string&) {
            asked = true;
            return true;
        });
        EXPECT_TRUE(parts.program.empty()) << '[' << line << ']';
        EXPECT_TRUE(parts.arguments.empty()) << '[' << line << ']';
        EXPECT_FALSE(asked) << '[' << line << ']';
    }
}

}  // namespace
}  // namespace zfe::platform
