#include "tools/zandorel/command_line.h"

#include <gtest/gtest.h>

namespace zfe::zandorel {
namespace {

TEST(CommandLine, TheWindowsFormsAndTheirVariants) {
    CommandLine line = parseCommandLine({"-M", "-t", "old.dat", "new.dat"});
    EXPECT_EQ(line.setType, SetType::Merged);
    EXPECT_TRUE(line.compact);
    EXPECT_EQ(line.oldPath, "old.dat");
    EXPECT_EQ(line.newPath, "new.dat");

    line = parseCommandLine({"-T", "-n", "a b.dat", "c.dat"});
    EXPECT_EQ(line.setType, SetType::NonMerged);
    EXPECT_TRUE(line.compact);
    EXPECT_EQ(line.oldPath, "a b.dat");

    line = parseCommandLine({"-fT", "o", "n"});
    EXPECT_EQ(line.setType, SetType::FullNonMerged);
    EXPECT_TRUE(line.compact);

    line = parseCommandLine({"old.dat", "new.dat"});
    EXPECT_EQ(line.setType, SetType::Split);
    EXPECT_FALSE(line.compact);

    line = parseCommandLine({"", "-t", "o", "n"});  // no set type chosen in the window
    EXPECT_EQ(line.setType, SetType::Split);

    line = parseCommandLine({"-s", "-S", "--", "-odd.dat", "n"});
    EXPECT_EQ(line.oldPath, "-odd.dat");

    line = parseCommandLine({"-Mt", "o", "n"});
    EXPECT_EQ(line.setType, SetType::Merged);
    EXPECT_TRUE(line.compact);
    EXPECT_EQ(line.diffDatPath, "zandorel.dat");
    EXPECT_EQ(line.logPath, "zandorel.log");

    line = parseCommandLine({"-tNo", "out/diff.xml", "o", "n"});
    EXPECT_EQ(line.setType, SetType::NonMerged);
    EXPECT_EQ(line.diffDatPath, "out/diff.xml");
    EXPECT_EQ(line.logPath, "out/diff.log");
    EXPECT_EQ(parseCommandLine({"--OUTPUT", "d.v1/x", "o", "n"}).logPath, "d.v1/x.log");
    EXPECT_EQ(parseCommandLine({"--output=.dat", "o", "n"}).logPath, ".dat.log");

    EXPECT_EQ(parseCommandLine({"--HELP"}).action, CommandLine::Action::Help);
    EXPECT_EQ(parseCommandLine({"-M", "--version"}).action, CommandLine::Action::Version);
}

TEST(CommandLine, BadOptionsAreUsageErrors) {
    EXPECT_THROW(parseCommandLine({"-x", "a", "b"}), UsageError);
    EXPECT_THROW(parseCommandLine({"-S", "-M", "a", "b"}), UsageError);
    EXPECT_THROW(parseCommandLine({"-NF", "a", "b"}), UsageError);
    EXPECT_THROW(parseCommandLine({"-S", "a"}), UsageError);
    EXPECT_THROW(parseCommandLine({"a", "b", "c"}), UsageError);
    EXPECT_THROW(parseCommandLine({"a", "-t", "b"}), UsageError);
    EXPECT_THROW(parseCommandLine({}), UsageError);
    EXPECT_THROW(parseCommandLine({"-Mx", "a", "b"}), UsageError);
    EXPECT_THROW(parseCommandLine({"-o"}), UsageError);
    EXPECT_THROW(parseCommandLine({"-o", "a.log", "a", "b"}), UsageError);  // the report itself
    EXPECT_THROW(parseCommandLine({"-o", "x", "-o", "y", "a", "b"}), UsageError);
}

}  // namespace
}  // namespace zfe::zandorel
