// The pipe capture's Win32 path (named pipes, the launcher with handed-down
// handles, a job object, overlapped reads) against a stand-in child built for Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_to_file.h"
#include "platform/piped_child.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"
#include "platform/win32/wide_text.h"
#include "programs/byte_pattern.h"
#include "windows_test_support.h"

namespace zfe::capture {
namespace {

using testsupport::readFile;
using testsupport::ScriptedUi;
using testsupport::TempFolder;

Command childLine(const std::string& mode) {
    return {wintest::childPath(), {mode}};
}

std::size_t entriesIn(const std::string& folder) {
    std::error_code ignored;
    return static_cast<std::size_t>(std::distance(
        std::filesystem::directory_iterator(folder, ignored), std::filesystem::directory_iterator()));
}

TEST(WindowsCapture, ChildThatWritesNothingOrEndsWithAnErrorCodeStoresNothing) {
    TempFolder folder;
    ScriptedUi ui;
    auto result = captureToFile(ui, childLine("silent"), folder / "empty.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::RunFailed);
    EXPECT_EQ(result.reads, 1);
    EXPECT_EQ(result.exitCode, 0);
    result = captureToFile(ui, {wintest::childPath(), {"exit:6", "mixed"}}, folder / "failed.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::RunFailed);
    EXPECT_EQ(result.exitCode, 6);
    EXPECT_EQ(entriesIn(folder.path()), 0u);
    EXPECT_TRUE(ui.messages().empty());
}

TEST(WindowsCapture, StoresExactly256Bytes) {
    TempFolder folder;
    ScriptedUi ui;
    const auto result = captureToFile(ui, childLine("pattern:256"), folder / "one.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.totalBytes, 256);
    EXPECT_EQ(readFile(folder / "one.dat"), testsupport::patternBytes(256));
}

TEST(WindowsCapture, StoresEveryByteValueAndLineEndUnchanged) {
    TempFolder folder;
    ScriptedUi ui;
    captureToFile(ui, childLine("allbytes"), folder / "bytes.dat");
    std::string expected;
    for (int value = 0; value < 256; ++value) expected += static_cast<char>(value);
    expected += testsupport::kLineEnds;
    EXPECT_EQ(readFile(folder / "bytes.dat"), expected);
}

TEST(WindowsCapture, OnlyStandardOutputReachesTheFileStandardErrorIsKeptApart) {
    TempFolder folder;
    ScriptedUi ui;
    const auto result = captureToFile(ui, childLine("mixed"), folder / "mixed.dat");
    EXPECT_EQ(readFile(folder / "mixed.dat"), "out 1\r\nout 2\n");
    EXPECT_EQ(result.errorOutput, "err 1\nerr 2");
}

TEST(WindowsCapture, ChildStartsHiddenWithoutStandardInput) {
    TempFolder folder;
    ScriptedUi ui;
    captureToFile(ui, childLine("startup"), folder / "startup.dat");
    const std::string expected =
        "show=" + std::to_string(SW_HIDE) +
        " flags=" + std::to_string(STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES) + " stdin=none";
    EXPECT_EQ(readFile(folder / "startup.dat"), expected);
}

TEST(WindowsCapture, LargeOutputIsByteIdenticalAndReadKilobytesAtATime) {
    TempFolder folder;
    ScriptedUi ui;
    const std::int64_t size = 16 * 1024 * 1024 + 77;  // many times the pipe's buffer
    const auto result = captureToFile(ui, childLine("pattern:" + std::to_string(size) + ":65536"),
                                      folder / "large.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.totalBytes, size);
    EXPECT_LT(result.reads, size / 1024);
    const std::string stored = readFile(folder / "large.dat");
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(size));
    EXPECT_TRUE(stored == testsupport::patternBytes(size)) << "the stored bytes differ from the child's";
}

TEST(WindowsCapture, ShowsTheRunningTotalEach256000Bytes) {
    TempFolder folder;
    ScriptedUi ui;
    std::vector<std::string> shown;
    CaptureCallbacks callbacks;
    callbacks.showReceivedBytes = [&](const std::string& count) { shown.push_back(count); };
    const std::int64_t size = 256 * 2600;
    const auto result = captureToFile(ui, childLine("pattern:" + std::to_string(size)),
                                      folder / "progress.dat", callbacks);
    ASSERT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(shown, (std::vector<std::string>{"256.000", "512.000"}));
    EXPECT_EQ(readFile(folder / "progress.dat"), testsupport::patternBytes(size));
}

// Standard error is read while the capture waits for standard output: a child
// that fills the one before it writes the other is not left waiting.
TEST(WindowsCapture, FloodOfStandardErrorDoesNotHoldTheOutput) {
    TempFolder folder;
    ScriptedUi ui;
    const std::int64_t size = 4 * 1024 * 1024;  // more than the pipe holds
    const auto result =
        captureToFile(ui, childLine("errpattern:" + std::to_string(size)), folder / "flood.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(readFile(folder / "flood.dat"), "done");
    EXPECT_TRUE(result.errorOutput == testsupport::patternBytes(platform::ErrorTail::kKept,
                                                                size - platform::ErrorTail::kKept))
        << "not the last of standard error";
}

TEST(WindowsCapture, MissingProgramReportsCreateProcessWithTheWindowsErrorAndMakesNoFile) {
    TempFolder folder;
    ScriptedUi ui;
    ui.acknowledgeMessage();
    const auto result =
        captureToFile(ui, {folder / "no such emulator.exe", {"-listinfo"}}, folder / "none.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::StartFailed);
    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& message = ui.messages()[0];
    EXPECT_EQ(message.text, "CreateProcess failed. Error: " + std::to_string(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(message.title, "ZandorelFE");
    EXPECT_EQ(message.icon, core::MessageIcon::None);
    EXPECT_EQ(message.buttons, core::MessageButtons::Ok);
    EXPECT_FALSE(wintest::pathExists(folder / "none.dat"));
    ui.expectScriptUsedUp();
}

TEST(WindowsCapture, PickedProgramRunsThoughAnotherIsNamedUpToABlank) {
    TempFolder folder(" with blanks");
    const std::string program = folder / "My Emus\\mame child.exe";
    CreateDirectoryA((folder / "My Emus").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(wintest::childPath().c_str(), program.c_str(), TRUE));
    // What Windows would run for the unquoted line: "...\My" + ".exe".
    ASSERT_TRUE(CopyFileA(wintest::childPath().c_str(), (folder / "My.exe").c_str(), TRUE));
    ScriptedUi ui;
    const auto result = captureToFile(ui, {program, {"startup"}}, folder / "blanks.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(folder / "blanks.dat").rfind("show=", 0), 0u);
    // The picked program, as its own command line names it.
    const wintest::ScopedEnvironment record("ZFE_CHILD_RECORD", folder / "record.txt");
    captureToFile(ui, {program, {"-listinfo"}}, folder / "record.dat");
    const std::string recorded = readFile(folder / "record.txt");
    EXPECT_NE(recorded.find("\n\"" + program + "\" -listinfo\n-listinfo\n"), std::string::npos)
        << recorded;
}

TEST(WindowsCapture, ProgramPathOutsideTheCodePageRuns) {
    TempFolder folder;
    const std::string emus = folder / "Emulatori \xC3\xA8 \xE6\x97\xA5\xE6\x9C\xAC";  // è 日本
    ASSERT_TRUE(CreateDirectoryW(platform::win32::toWide(emus).c_str(), nullptr));
    const std::string program = emus + "\\mame.exe";
    ASSERT_TRUE(CopyFileW(platform::win32::toWide(wintest::childPath()).c_str(),
                          platform::win32::toWide(program).c_str(), TRUE));
    ScriptedUi ui;
    const auto result = captureToFile(ui, {program, {"pattern:300"}}, folder / "wide.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(readFile(folder / "wide.dat"), testsupport::patternBytes(300));
}

bool processEndsWithin(DWORD id, DWORD milliseconds) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return true;  // gone already
    const bool ended = WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

TEST(WindowsCapture, StoppingEndsTheChildAndWhatItStarted) {
    TempFolder folder;
    const std::string ids = folder / "ids.txt";
    ScriptedUi ui;
    DWORD child = 0;
    DWORD grandchild = 0;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] {
        if (std::FILE* file = std::fopen(ids.c_str(), "rb")) {
            unsigned long first = 0;
            unsigned long second = 0;
            if (std::fscanf(file, "%lu %lu", &first, &second) == 2) {
                child = first;
                grandchild = second;
            }
            std::fclose(file);
        }
    };
    callbacks.stopRequested = [&] { return grandchild != 0; };
    const auto result = captureToFile(ui, childLine("tree:" + ids), folder / "tree.dat", callbacks);
    EXPECT_EQ(result.outcome, CaptureOutcome::Stopped);
    ASSERT_NE(grandchild, 0u);
    EXPECT_TRUE(processEndsWithin(child, 5000));
    EXPECT_TRUE(processEndsWithin(grandchild, 5000)) << "the grandchild runs on";
    EXPECT_EQ(entriesIn(folder.path()), 1u) << "only the ids file stays";
}

// The child ends while a process it started holds the pipe: once the pipe
// has been silent a while, the job ends that process and the output counts.
TEST(WindowsCapture, ChildThatEndsWhileWhatItStartedHoldsTheOutputEndsTheCapture) {
    TempFolder folder;
    const std::string ids = folder / "ids.txt";
    ScriptedUi ui;
    const auto result = captureToFile(ui, childLine("leave:" + ids), folder / "left.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(readFile(folder / "left.dat"), "left");
    unsigned long child = 0;
    unsigned long holder = 0;
    std::FILE* file = std::fopen(ids.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fscanf(file, "%lu %lu", &child, &holder), 2);
    std::fclose(file);
    EXPECT_TRUE(processEndsWithin(holder, 5000)) << "what the child started runs on";
}

TEST(WindowsCapture, ChildThatClosesItsOutputAndRunsOnDoesNotHoldTheCapture) {
    TempFolder folder;
    ScriptedUi ui;
    const auto start = std::chrono::steady_clock::now();
    const auto result = captureToFile(ui, childLine("linger"), folder / "linger.dat");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(readFile(folder / "linger.dat"), "started");
    // The child runs on for 5 s; a capture that waited for it would take that long.
    EXPECT_LT(elapsed, std::chrono::seconds(4));
}

TEST(WindowsCapture, ReplacesALongerOlderDatWhole) {
    TempFolder folder;
    testsupport::writeFile(folder / "old.dat", std::string(5000, 'x'));
    ScriptedUi ui;
    captureToFile(ui, childLine("pattern:300"), folder / "old.dat");
    EXPECT_EQ(readFile(folder / "old.dat"), testsupport::patternBytes(300));
}

TEST(WindowsCapture, StoppedCaptureLeavesTheOlderDatAsItWas) {
    TempFolder folder;
    testsupport::writeFile(folder / "kept.dat", "older dat");
    ScriptedUi ui;
    CaptureCallbacks callbacks;
    callbacks.stopRequested = [] { return true; };
    const auto result = captureToFile(ui, childLine("pattern:" + std::to_string(256 * 5000)),
                                      folder / "kept.dat", callbacks);
    EXPECT_EQ(result.outcome, CaptureOutcome::Stopped);
    EXPECT_EQ(readFile(folder / "kept.dat"), "older dat");
    EXPECT_EQ(entriesIn(folder.path()), 1u) << "the temporary file was left behind";
}

}  // namespace
}  // namespace zfe::capture
