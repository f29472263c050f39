// RunAndWait's Win32 path: the command line handed to Windows as it stands,
// the child started in the caller's current directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "diff/command_runner.h"
#include "platform/os_error.h"
#include "platform/process.h"
#include "support/app_folder.h"
#include "windows_test_support.h"

namespace zfe::diff {
namespace {

using testsupport::TempFolder;

struct ChildRecord {
    std::string currentDirectory;
    std::string commandLine;
    std::vector<std::string> arguments;
};

ChildRecord readRecord(const std::string& path) {
    std::istringstream in(testsupport::readFile(path));
    ChildRecord record;
    std::getline(in, record.currentDirectory);
    std::getline(in, record.commandLine);
    for (std::string line; std::getline(in, line);) record.arguments.push_back(line);
    return record;
}

// The child copied to a folder with blanks in its name, as a tool folder under
// "Program Files" would be.
class WindowsRunAndWait : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA((tools / "My Tools").c_str(), nullptr);
        ASSERT_TRUE(CopyFileA(wintest::childPath().c_str(), program.c_str(), TRUE));
    }

    TempFolder tools{" tools"};
    TempFolder work{" work"};
    const std::string program = tools / "My Tools\\zandorel.exe";
    const std::string reportPath = tools / "report.txt";
    wintest::ScopedEnvironment reportTo{"ZFE_CHILD_RECORD", reportPath};
};

TEST_F(WindowsRunAndWait, QuotedProgramGetsTheArgumentsAndTheCallersCurrentDirectory) {
    const std::string line = "\"" + program + "\" -M -t old.dat \"new set.dat\"";
    {
        testsupport::CurrentDirectoryGuard inWork(work.path());
        RunAndWait(line);
    }
    ASSERT_TRUE(wintest::pathExists(reportPath)) << "the child did not run";
    const ChildRecord record = readRecord(reportPath);
    EXPECT_EQ(record.currentDirectory, work.path());
    EXPECT_EQ(record.commandLine, line) << "the line must reach Windows unchanged";
    EXPECT_EQ(record.arguments, (std::vector<std::string>{"-M", "-t", "old.dat", "new set.dat"}));
}

TEST_F(WindowsRunAndWait, ReturnsOnlyWhenTheProgramHasEnded) {
    // The record is complete and closed once RunAndWait returns; the exit code
    // (7) is no failure.
    RunAndWait("\"" + program + "\" -S a.dat b.dat");
    EXPECT_EQ(readRecord(reportPath).arguments, (std::vector<std::string>{"-S", "a.dat", "b.dat"}));
    EXPECT_EQ(platform::runAndWait("\"" + program + "\" x"), 7);
}

TEST_F(WindowsRunAndWait, MissingProgramThrowsWithTheWindowsErrorNumber) {
    const std::string line = "\"" + (tools / "My Tools\\missing.exe") + "\" -M a.dat b.dat";
    try {
        RunAndWait(line);
        FAIL() << "no error for a missing program";
    } catch (const platform::OsError& error) {
        EXPECT_EQ(error.errorNumber(), ERROR_FILE_NOT_FOUND);
        EXPECT_NE(std::string(error.what()).find("missing.exe"), std::string::npos) << error.what();
        EXPECT_FALSE(error.reason().empty());
    }
}

}  // namespace
}  // namespace zfe::diff
