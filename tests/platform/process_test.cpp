#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/piped_child.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zfe::platform {
namespace {

using testsupport::readFile;
using testsupport::setEnvironment;
using testsupport::TempFolder;

std::string echoArgsPath() {
    return std::filesystem::path(ZFE_ECHO_ARGS_PATH).make_preferred().string();
}

// What the stand-in program saw: its current directory, the descriptors it
// found open, its arguments.
struct EchoReport {
    std::string currentDirectory;
    std::string openDescriptors;
    std::vector<std::string> arguments;
};

// Runs the stand-in program with a report file in its own temporary folder,
// so that the test's current directory is free to be anything.
class RunAndWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        setEnvironment("ZFE_ECHO_ARGS_REPORT", reportFolder_ / "report.txt");
        setEnvironment("ZFE_ECHO_ARGS_EXIT", "0");
    }

    EchoReport report() {
        std::istringstream text(readFile(reportFolder_ / "report.txt"));
        EchoReport result;
        std::getline(text, result.currentDirectory);
        std::getline(text, result.openDescriptors);
        for (std::string line; std::getline(text, line);) result.arguments.push_back(line);
        return result;
    }

    TempFolder reportFolder_;
    testsupport::CurrentDirectoryGuard restoreDirectory_;
};

TEST_F(RunAndWaitTest, ReturnsNormallyWithTheExitCodeOfAFailingProgram) {
    setEnvironment("ZFE_ECHO_ARGS_EXIT", "3");
    EXPECT_EQ(runAndWait('"' + echoArgsPath() + '"'), 3);
    setEnvironment("ZFE_ECHO_ARGS_EXIT", "0");
    EXPECT_EQ(runAndWait('"' + echoArgsPath() + '"'), 0);
}

TEST_F(RunAndWaitTest, GivesExactlyTheArgumentsOfTheLine) {
    runAndWait('"' + echoArgsPath() + "\" -M -t  old.dat \"new file.dat\"");
    EXPECT_EQ(report().arguments,
              (std::vector<std::string>{"-M", "-t", "old.dat", "new file.dat"}));
}

// The started program reads its own arguments: on Windows by its C runtime's
// rules, which quoteArgument must meet.
TEST_F(RunAndWaitTest, QuotedArgumentsArriveUnchanged) {
    std::vector<std::string> arguments = {"old set.dat", R"(ends in \)", "-x.dat", "a\\b"};
#ifndef _WIN32
    arguments.push_back(R"(say "hi".dat)");
    arguments.push_back(R"(a\" b)");
#endif
    std::string line = '"' + echoArgsPath() + '"';
    for (const auto& argument : arguments) line += " " + quoteArgument(argument);
    runAndWait(line);
    EXPECT_EQ(report().arguments, arguments);
}

TEST_F(RunAndWaitTest, RunsInTheCallersCurrentDirectory) {
    TempFolder folder;
    const std::string workFolder = folder / "work folder";
    std::filesystem::create_directory(workFolder);
    changeCurrentDirectory(workFolder);
    runAndWait('"' + echoArgsPath() + "\" old.dat new.dat");
    const EchoReport seen = report();
    EXPECT_TRUE(std::filesystem::equivalent(seen.currentDirectory, workFolder))
        << seen.currentDirectory;
    EXPECT_EQ(seen.arguments, (std::vector<std::string>{"old.dat", "new.dat"}));
}

TEST_F(RunAndWaitTest, FindsAnUnquotedProgramWithBlanksInItsPath) {
    TempFolder folder;
    const std::string emus = folder / "My Emus";
    std::filesystem::create_directory(emus);
    const std::string program =
        emus + kPathSeparator + "mame" + std::filesystem::path(echoArgsPath()).extension().string();
    std::filesystem::copy_file(echoArgsPath(), program);
    runAndWait(program + " -listinfo");
    EXPECT_EQ(report().arguments, (std::vector<std::string>{"-listinfo"}));
}

TEST_F(RunAndWaitTest, AMissingProgramIsAnError) {
    TempFolder folder;
    for (const std::string& line :
         {'"' + (folder / "missing") + "\" -x", folder / "missing" + " -x", std::string()}) {
        try {
            runAndWait(line);
            ADD_FAILURE() << "started [" << line << "]";
        } catch (const OsError& error) {
            EXPECT_EQ(error.subject(), line);
            EXPECT_NE(error.errorNumber(), 0);
#ifndef _WIN32
            EXPECT_EQ(error.errorNumber(), ENOENT) << line;
#endif
        }
    }
}

#ifndef _WIN32
TEST_F(RunAndWaitTest, AFileThatIsNotExecutableIsAnError) {
    TempFolder folder;
    testsupport::writeFile(folder / "script", "#!/bin/sh\nexit 0\n");
    try {
        runAndWait('"' + (folder / "script") + '"');
        FAIL() << "started a file without execute permission";
    } catch (const OsError& error) {
        EXPECT_EQ(error.errorNumber(), EACCES);
    }
}

TEST_F(RunAndWaitTest, ABareNameIsLookedUpAlongPath) {
    // sh is on every PATH; it exits with the code it is told to.
    EXPECT_EQ(runAndWait("sh -c \"exit 7\""), 7);
}

TEST_F(RunAndWaitTest, NoDescriptorOfTheCallerReachesTheProgram) {
    TempFolder folder;
    // Opened without close-on-exec, as a library might: still not inherited.
    const int leaky = open((folder / "open.dat").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(leaky, 0);
    runAndWait('"' + echoArgsPath() + '"');
    close(leaky);
    EXPECT_EQ(report().openDescriptors, "");
}
#endif

// What a start asks before it removes a temporary that a program left.
TEST(ProcessIsRunning, TrueForThisProcessFalseForAnEndedOneAndForNone) {
    EXPECT_TRUE(processIsRunning(currentProcessId()));
    PipedChild child(echoArgsPath(), {});
    ASSERT_TRUE(child.started());
    char buffer[256];
    while (child.read(buffer, sizeof buffer, std::chrono::milliseconds(-1)).kind !=
           PipedChild::ReadResult::Kind::Ended) {
    }
    ASSERT_TRUE(child.waitForExit(std::chrono::seconds(30)).has_value());
    EXPECT_FALSE(processIsRunning(child.processId()));
    EXPECT_FALSE(processIsRunning(0));
    EXPECT_FALSE(processIsRunning(-1));
}

}  // namespace
}  // namespace zfe::platform
