// The launcher, on Linux and under Wine: a program, its arguments as a list
// and the folder it starts in.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/piped_child.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zfe::platform {
namespace {

using testsupport::fsPath;
using testsupport::setEnvironment;
using testsupport::TempFolder;
using Arguments = std::vector<std::string>;

const std::string kEchoArgs = std::filesystem::path(ZFE_ECHO_ARGS_PATH).make_preferred().string();
// Blanks and letters outside any Windows code page but a Unicode one.
const std::string kAwkwardName = "My \xe6\x97\xa5\xe6\x9c\xac \xce\xb1";

// What the stand-in program saw.
struct EchoReport {
    std::string currentDirectory;
    std::string openDescriptorsOrCommandLine;
    Arguments arguments;
};

class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        setEnvironment("ZFE_ECHO_ARGS_REPORT", reportFolder_ / "report.txt");
        setEnvironment("ZFE_ECHO_ARGS_EXIT", "0");
    }

    EchoReport report() {
        std::istringstream text(testsupport::readFile(reportFolder_ / "report.txt"));
        EchoReport result;
        std::getline(text, result.currentDirectory);
        std::getline(text, result.openDescriptorsOrCommandLine);
        for (std::string line; std::getline(text, line);) result.arguments.push_back(line);
        return result;
    }

    // A copy of the stand-in under `name` in a new folder of `folder`.
    static std::string copyOfEchoArgs(const std::string& folder, const std::string& name) {
        std::filesystem::create_directories(fsPath(folder));
        const std::string copy = folder + kPathSeparator + name + kExecutableSuffix;
        std::filesystem::copy_file(kEchoArgs, fsPath(copy));
        return copy;
    }

    TempFolder reportFolder_;
    testsupport::CurrentDirectoryGuard restoreDirectory_;
};

TEST_F(Launcher, ReturnsTheProgramsExitCode) {
    for (const int code : {3, 0}) {
        setEnvironment("ZFE_ECHO_ARGS_EXIT", std::to_string(code));
        EXPECT_EQ(runAndWait({kEchoArgs, {}, ""}), code);
    }
}

// On Windows the program's C runtime takes the one line apart again, by the
// rules commandLineOf writes it for.
TEST_F(Launcher, EveryArgumentArrivesAsItIs) {
    const Arguments arguments = {"-M",        "old set.dat", "",          "tab\there",
                                 R"(ends \)", R"(ends \\)",  R"(\\s\d\)", R"(say "hi".dat)",
                                 R"(a\" b)",  R"(")",        "-x.dat",    kAwkwardName + ".dat"};
    TempFolder folder;
    const ProgramStart start{copyOfEchoArgs(folder / kAwkwardName, "my tool"), arguments, ""};
    runAndWait(start);
    const EchoReport seen = report();
    EXPECT_EQ(seen.arguments, arguments);
#ifdef _WIN32
    EXPECT_EQ(seen.openDescriptorsOrCommandLine, commandLineOf(start));
#endif
}

// A bare name of a file in the caller's current directory is that file, found
// from there, though the program starts elsewhere.
TEST_F(Launcher, StartsInTheWorkingFolderAndLeavesTheCallersAlone) {
    TempFolder folder;
    const std::string callers = folder / "caller";
    copyOfEchoArgs(callers, kAwkwardName);
    const std::string work = folder / ("work " + kAwkwardName);
    std::filesystem::create_directory(fsPath(work));
    changeCurrentDirectory(callers);

    runAndWait({kAwkwardName + kExecutableSuffix, {"old.dat"}, work});

    const EchoReport seen = report();
    EXPECT_TRUE(testsupport::samePlace(seen.currentDirectory, work)) << seen.currentDirectory;
    EXPECT_EQ(seen.arguments, Arguments{"old.dat"});
    EXPECT_TRUE(testsupport::samePlace(currentDirectory(), callers));
}

TEST_F(Launcher, AnyOtherBareNameIsLookedUpAlongPath) {
    TempFolder folder;
    copyOfEchoArgs(folder / "on path", "zfe-echo-on-path");
    const char* const path = std::getenv("PATH");
    const std::string savedPath = path == nullptr ? "" : path;
#ifdef _WIN32
    setEnvironment("PATH", (folder / "on path") + ";" + savedPath);
#else
    setEnvironment("PATH", (folder / "on path") + ":" + savedPath);
#endif
    runAndWait({std::string("zfe-echo-on-path") + kExecutableSuffix, {"y"}, ""});
    setEnvironment("PATH", savedPath);
    EXPECT_EQ(report().arguments, Arguments{"y"});
}

TEST_F(Launcher, AProgramOrFolderThatIsNotThereIsAnErrorAboutIt) {
    TempFolder folder;
    const ProgramStart missingProgram{folder / "missing", {"-x"}, ""};
    const ProgramStart noProgram{"", {}, ""};
    const ProgramStart missingFolder{kEchoArgs, {}, folder / "missing"};
    const std::pair<ProgramStart, std::string> cases[] = {
        {missingProgram, commandLineOf(missingProgram)},
        {noProgram, commandLineOf(noProgram)},
        {missingFolder, missingFolder.workingFolder},
    };
    for (const auto& [start, subject] : cases) {
        try {
            runAndWait(start);
            ADD_FAILURE() << "started " << commandLineOf(start);
        } catch (const OsError& error) {
            EXPECT_EQ(error.subject(), subject);
#ifdef _WIN32
            EXPECT_EQ(error.errorNumber(), subject == missingFolder.workingFolder
                                               ? ERROR_PATH_NOT_FOUND
                                               : ERROR_FILE_NOT_FOUND);
#else
            EXPECT_EQ(error.errorNumber(), ENOENT) << subject;
#endif
        }
    }
}

#ifndef _WIN32
TEST_F(Launcher, AFileThatIsNotExecutableIsAnError) {
    TempFolder folder;
    testsupport::writeFile(folder / "script", "#!/bin/sh\nexit 0\n");
    try {
        runAndWait({folder / "script", {}, ""});
        FAIL() << "started a file without execute permission";
    } catch (const OsError& error) {
        EXPECT_EQ(error.errorNumber(), EACCES);
    }
}

TEST_F(Launcher, NoDescriptorOfTheCallerReachesTheProgram) {
    TempFolder folder;
    // Opened without close-on-exec, as a library might: still not inherited.
    const int leaky = open((folder / "open.dat").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(leaky, 0);
    runAndWait({kEchoArgs, {}, ""});
    close(leaky);
    EXPECT_EQ(report().openDescriptorsOrCommandLine, "");
}
#endif

// What a start asks before it removes a temporary that a program left.
TEST(ProcessIsRunning, TrueForThisProcessFalseForAnEndedOneAndForNone) {
    EXPECT_TRUE(processIsRunning(currentProcessId()));
    PipedChild child(kEchoArgs, {});
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
