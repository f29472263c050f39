// The outputs as a user may name them: only regular files are written, a link
// leads to the file it names, two names of one file are refused, and a run
// leaves both outputs of its own or the earlier diff dat as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/app_folder.h"
#include "support/temp_folder.h"
#include "tools/zandorel/zandorel.h"

namespace zfe::zandorel {
namespace {

namespace fs = std::filesystem;
using testsupport::entriesOf;
using testsupport::fsPath;
using testsupport::readFile;
using testsupport::writeFile;

constexpr char kSeparator = platform::kPathSeparator;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The smallest pair that differs: one rom's crc.
class Outputs : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(folder_ / "old.dat", "game ( name a rom ( name r size 1 crc 1 ) )\n");
        writeFile(folder_ / "new.dat", "game ( name a rom ( name r size 1 crc 2 ) )\n");
    }

    ToolRun zandorel(std::vector<std::string> arguments, const std::string& newDat = "new.dat") {
        arguments.push_back(folder_ / "old.dat");
        arguments.push_back(folder_ / newDat);
        std::ostringstream out;
        std::ostringstream err;
        const int exitCode = run(arguments, out, err);
        return {exitCode, out.str(), err.str()};
    }

    testsupport::TempFolder folder_;
};

TEST_F(Outputs, WhatIsNoRegularFileIsRefusedAndNothingIsWritten) {
    fs::create_directory(fsPath(folder_ / "dd"));
    fs::create_directory(fsPath(folder_ / "x.log"));
    const std::vector<std::pair<std::string, std::string>> refused = {
        {folder_ / "dd" + kSeparator, "dd" + std::string(1, kSeparator) + ": this names a folder"},
        {folder_ / "dd", "dd: this is a folder"},
        {folder_ / "x.dat", "x.log: this is a folder"},
#ifdef _WIN32
        {"NUL", "NUL: this is a device"},
#else
        {"/dev/null", "/dev/null: this is a device"},
        {folder_ / "fifo", "fifo: this is a named pipe"},
#endif
    };
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder_ / "fifo").c_str(), 0600), 0);
#endif
    const auto before = entriesOf(folder_.path());
    for (const auto& [output, message] : refused) {
        const ToolRun result = zandorel({"-o", output});
        EXPECT_EQ(result.exitCode, 2) << output;
        EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
        EXPECT_EQ(entriesOf(folder_.path()), before) << output;
        EXPECT_TRUE(entriesOf(folder_ / "dd").empty()) << output;
    }
#ifndef _WIN32
    struct stat status {};
    ASSERT_EQ(::stat("/dev/null", &status), 0);
    EXPECT_TRUE(S_ISCHR(status.st_mode));
#endif
}

TEST_F(Outputs, ASymbolicLinkIsFollowedAndStays) {
    fs::create_directory(fsPath(folder_ / "real"));
    writeFile(folder_ / "real" + kSeparator + "t.dat", "earlier");
    std::error_code error;
    fs::create_symlink(fs::path("real") / "t.dat", fsPath(folder_ / "link.dat"), error);
    if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
    std::vector<std::string> links = {"link.dat"};
#ifndef _WIN32
    // A link to a file that is not there yet makes it, as a shell's `>` does.
    fs::create_symlink("missing.dat", fsPath(folder_ / "dangling.dat"));
    links.push_back("dangling.dat");
#endif
    for (const std::string& link : links) {
        EXPECT_EQ(zandorel({"-o", folder_ / link}).exitCode, 1) << link;
        EXPECT_TRUE(fs::is_symlink(fsPath(folder_ / link))) << link;
    }
    EXPECT_NE(readFile(folder_ / "real" + kSeparator + "t.dat").find("crc 2"), std::string::npos);
#ifndef _WIN32
    EXPECT_NE(readFile(folder_ / "missing.dat").find("crc 2"), std::string::npos);
#endif
}

// The report's name is the diff dat's with ".log": one file where the volume
// ignores letter case, or where the two names are links of one file.
TEST_F(Outputs, TwoNamesOfOneFileAreAUsageError) {
    writeFile(folder_ / "probe", "");
    const bool volumeIgnoresCase = fs::exists(fsPath(folder_ / "PROBE"));
    const ToolRun upper = zandorel({"-o", folder_ / "out.LOG"});
    if (volumeIgnoresCase) {
        EXPECT_EQ(upper.exitCode, 2);
        EXPECT_NE(upper.err.find("Usage:"), std::string::npos) << upper.err;
        EXPECT_FALSE(fs::exists(fsPath(folder_ / "out.log")));
    } else {
        EXPECT_EQ(upper.exitCode, 1) << upper.err;
        EXPECT_NE(readFile(folder_ / "out.LOG").find("crc 2"), std::string::npos);
        EXPECT_NE(readFile(folder_ / "out.log").find("Summary: "), std::string::npos);
    }

    writeFile(folder_ / "same.dat", "earlier");
    fs::create_hard_link(fsPath(folder_ / "same.dat"), fsPath(folder_ / "same.log"));
    const ToolRun linked = zandorel({"-o", folder_ / "same.dat"});
    EXPECT_EQ(linked.exitCode, 2);
    EXPECT_NE(linked.err.find("would be the diff dat"), std::string::npos) << linked.err;
    EXPECT_EQ(readFile(folder_ / "same.dat"), "earlier");
}

#ifndef _WIN32
// The diff dat's name is as long as a name may be, the report's one ".log"
// longer: the report cannot be put in place, and the diff dat is not either.
TEST_F(Outputs, AReportThatCannotBePutInPlaceLeavesTheEarlierDiffDat) {
    const std::string name(253, 'd');
    writeFile(folder_ / name, "earlier");
    const ToolRun result = zandorel({"-o", folder_ / name});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(name + ".log"), std::string::npos) << result.err;
    EXPECT_EQ(readFile(folder_ / name), "earlier");
    EXPECT_EQ(entriesOf(folder_.path()), (std::set<std::string>{"old.dat", "new.dat", name}));
}
#endif

TEST_F(Outputs, TheSummaryPrintedIsTheLineWritten) {
#ifdef _WIN32
    const std::string folder = folder_ / "out";
#else
    const std::string folder = folder_ / "Summary: x";  // found in the report, it misled
#endif
    fs::create_directory(fsPath(folder));
    const ToolRun result = zandorel({"-o", folder + kSeparator + "d.dat"});
    ASSERT_EQ(result.exitCode, 1) << result.err;
    const std::string report = readFile(folder + kSeparator + "d.log");
    EXPECT_EQ(result.out, report.substr(report.rfind('\n', report.size() - 2) + 1));
    EXPECT_EQ(result.out.rfind("Summary: 0 added, 0 removed, 0 renamed, 1 changed", 0), 0U)
        << result.out;
}

// Nothing differs, or the compact form leaves out the one set that does (a
// renamed one): no diff dat, and an earlier one stays as it was.
TEST_F(Outputs, ADatWithNoGameIsNeverWritten) {
    writeFile(folder_ / "renamed.dat", "game ( name b rom ( name r size 1 crc 1 ) )\n");
    const struct {
        const char* form;
        const char* newDat;
        int exitCode;
    } cases[] = {{"-S", "old.dat", 0}, {"-t", "renamed.dat", 1}};
    for (const auto& c : cases) {
        writeFile(folder_ / "d.dat", "earlier");
        const ToolRun result = zandorel({c.form, "-o", folder_ / "d.dat"}, c.newDat);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_EQ(readFile(folder_ / "d.dat"), "earlier");
        EXPECT_NE(result.out.find("; no diff dat written"), std::string::npos) << result.out;
        EXPECT_NE(readFile(folder_ / "d.log").find(result.out), std::string::npos);
    }
}

}  // namespace
}  // namespace zfe::zandorel
