#include "tools/datgen/command_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/app_folder.h"
#include "support/run_to_files.h"
#include "support/temp_folder.h"

namespace zfe::datgen {
namespace {

namespace fs = std::filesystem;

using testsupport::readFile;

class DatgenCommandLineFiles : public ::testing::Test {
protected:
    testsupport::TempFolder temp_;
    fs::path folder_{temp_.path()};
};

TEST(DatgenCommandLine, OptionsInEitherSpelling) {
    CommandLine defaults = parseCommandLine({});
    EXPECT_EQ(defaults.options.games, Options{}.games);
    EXPECT_EQ(defaults.options.seed, Options{}.seed);
    EXPECT_FALSE(defaults.options.nextVersion);
    EXPECT_TRUE(defaults.outputPath.empty());

    CommandLine all = parseCommandLine({"--games", "40000", "--seed=4294967295", "--next", "--crlf",
                                        "--changes", "c.txt", "-o", "new.dat"});
    EXPECT_EQ(all.options.games, 40000);
    EXPECT_EQ(all.options.seed, 4294967295u);
    EXPECT_TRUE(all.options.nextVersion);
    EXPECT_TRUE(all.options.crlf);
    EXPECT_EQ(all.changesPath, "c.txt");
    EXPECT_EQ(all.outputPath, "new.dat");
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
}

TEST(DatgenCommandLine, ListinfoAloneActsLikeAnEmulator) {
    CommandLine emulator = parseCommandLine({"-listinfo"});
    EXPECT_TRUE(emulator.outputPath.empty());
    EXPECT_EQ(emulator.options.games, Options{}.games);
    EXPECT_FALSE(emulator.options.nextVersion);
    EXPECT_THROW(parseCommandLine({"-listinfo", "--next"}), std::invalid_argument);
}

TEST(DatgenCommandLine, ListxmlIsRealSizeUnlessTold) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"-listxml"}, {"--listxml"}}) {
        CommandLine commandLine = parseCommandLine(arguments);
        EXPECT_EQ(commandLine.options.format, Format::listxml);
        EXPECT_EQ(commandLine.options.games, kListxmlMachines);
    }
    CommandLine small = parseCommandLine({"--games", "500", "--listxml", "--next"});
    EXPECT_EQ(small.options.format, Format::listxml);
    EXPECT_EQ(small.options.games, 500);
    EXPECT_EQ(parseCommandLine({"--games", "500"}).options.format, Format::listinfo);
    EXPECT_THROW(parseCommandLine({"-listxml", "--next"}), std::invalid_argument);
}

TEST(DatgenCommandLine, BadOptionsAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--games"},
        {"--games", "-1"},
        {"--games", "12x"},
        {"--games", ""},
        {"--games", "99999999999"},
        {"--seed", "4294967296"},
        {"--next=yes"},
        {"-o"},
        {"--changes", ""},
        {"positional.dat"},
    };
    for (const auto& arguments : bad) {
        SCOPED_TRACE(arguments.front());
        try {
            parseCommandLine(arguments);
            ADD_FAILURE() << "accepted";
        } catch (const std::invalid_argument& error) {
            EXPECT_EQ(std::string(error.what()).rfind("datgen: ", 0), 0u) << error.what();
        }
    }
    EXPECT_EQ(runDatgen({"--bogus"}), 1);
}

TEST_F(DatgenCommandLineFiles, WritesTheDatAndTheChangeList) {
    fs::path dat = folder_ / "new.dat";
    fs::path changes = folder_ / "changes.txt";
    ASSERT_EQ(runDatgen({"--games", "120", "--seed", "6", "--next", "-o", dat.string(), "--changes",
                         changes.string()}),
              0);
    Generated expected = generate({120, 6, true});
    EXPECT_EQ(readFile(dat.string()), expected.text);
    EXPECT_EQ(readFile(changes.string()), changesText(expected.changes));
    EXPECT_FALSE(expected.changes.added.empty());
}

TEST_F(DatgenCommandLineFiles, UnwritableOutputFailsAndLeavesNothing) {
    fs::path dat = folder_ / "missing-folder" / "new.dat";
    EXPECT_EQ(runDatgen({"--games", "10", "-o", dat.string()}), 1);
    EXPECT_FALSE(fs::exists(dat));
    fs::path changes = folder_ / "missing-folder" / "changes.txt";
    fs::path goodDat = folder_ / "new.dat";
    EXPECT_EQ(runDatgen({"--next", "--changes", changes.string(), "-o", goodDat.string()}), 1);
    EXPECT_FALSE(fs::exists(goodDat)) << "no dat without its change list";
}

// The stand-in emulator: run as a front end runs MAME, it prints the default dat
// and nothing else on standard output.
TEST_F(DatgenCommandLineFiles, ListinfoPrintsTheDefaultDat) {
    const fs::path output = folder_ / "stdout.txt";
    const fs::path errors = folder_ / "stderr.txt";
    EXPECT_EQ(testsupport::runToFiles({DATGEN_EXECUTABLE, {"-listinfo"}, ""}, output.string(),
                                      errors.string()),
              0);
    EXPECT_EQ(readFile(output), generate({}).text);
    EXPECT_EQ(readFile(errors), "");
}

}  // namespace
}  // namespace zfe::datgen
