// The pipe capture's Win32 path (CreatePipe, CreateProcessA, ReadFile) against
// a stand-in child built for Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "capture/capture_to_file.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"
#include "programs/byte_pattern.h"
#include "windows_test_support.h"

namespace zfe::capture {
namespace {

using testsupport::readFile;
using testsupport::ScriptedUi;
using testsupport::TempFolder;

std::string childLine(const std::string& mode) {
    return "\"" + wintest::childPath() + "\" " + mode;
}

TEST(WindowsCapture, ChildThatWritesNothingLeavesAnEmptyFileAfterOneRead) {
    TempFolder folder;
    ScriptedUi ui;
    const auto result = captureToFile(ui, childLine("silent"), folder / "empty.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.reads, 1);
    EXPECT_EQ(result.totalBytes, 0);
    ASSERT_TRUE(wintest::pathExists(folder / "empty.dat"));
    EXPECT_EQ(readFile(folder / "empty.dat"), "");
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

TEST(WindowsCapture, StandardOutputAndErrorBothReachTheFileInWritingOrder) {
    TempFolder folder;
    ScriptedUi ui;
    captureToFile(ui, childLine("mixed"), folder / "mixed.dat");
    EXPECT_EQ(readFile(folder / "mixed.dat"), "out 1\r\nerr 1\nout 2\nerr 2");
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

TEST(WindowsCapture, LargeOutputIsByteIdentical) {
    TempFolder folder;
    ScriptedUi ui;
    // Many times the pipe's buffer, yet small enough for Wine, where each
    // 256-byte read costs a round trip to the Wine server.
    const std::int64_t size = 4 * 1024 * 1024 + 77;
    const auto result =
        captureToFile(ui, childLine("pattern:" + std::to_string(size)), folder / "large.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.totalBytes, size);
    const std::string stored = readFile(folder / "large.dat");
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(size));
    EXPECT_TRUE(stored == testsupport::patternBytes(size)) << "the stored bytes differ from the child's";
}

TEST(WindowsCapture, ShowsTheRunningTotalEveryThousandReads) {
    TempFolder folder;
    ScriptedUi ui;
    std::vector<std::string> shown;
    CaptureCallbacks callbacks;
    callbacks.showReceivedBytes = [&](const std::string& digits) { shown.push_back(digits); };
    const std::int64_t size = 256 * 2600;
    const auto result = captureToFile(ui, childLine("pattern:" + std::to_string(size)),
                                      folder / "progress.dat", callbacks);

    ASSERT_EQ(result.outcome, CaptureOutcome::Completed);
    // At most 256 bytes a read, and every read but the last brings at least one.
    ASSERT_GE(result.reads, size / 256 + 1);
    ASSERT_EQ(shown.size(), static_cast<std::size_t>(result.reads / 1000));
    for (std::size_t i = 0; i < shown.size(); ++i) {
        ASSERT_FALSE(shown[i].empty());
        ASSERT_EQ(shown[i].find_first_not_of("0123456789"), std::string::npos) << shown[i];
        const std::int64_t total = std::stoll(shown[i]);
        const std::int64_t readsSoFar = 1000 * static_cast<std::int64_t>(i + 1);
        EXPECT_LE(total, 256 * readsSoFar);
        EXPECT_LE(total, size);
        if (readsSoFar < result.reads) {
            EXPECT_GE(total, readsSoFar);
        }
    }
    EXPECT_EQ(readFile(folder / "progress.dat"), testsupport::patternBytes(size));
}

TEST(WindowsCapture, MissingProgramReportsCreateProcessWithTheWindowsErrorAndMakesNoFile) {
    TempFolder folder;
    ScriptedUi ui;
    ui.acknowledgeMessage();
    const auto result = captureToFile(ui, "\"" + (folder / "no such emulator.exe") + "\" -listinfo",
                                      folder / "none.dat");
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

TEST(WindowsCapture, UnquotedProgramPathWithBlanksIsFoundByWindows) {
    TempFolder folder(" with blanks");
    const std::string program = folder / "My Emus\\mame child.exe";
    CreateDirectoryA((folder / "My Emus").c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(wintest::childPath().c_str(), program.c_str(), TRUE));
    ScriptedUi ui;
    const auto result = captureToFile(ui, program + " pattern:1000", folder / "blanks.dat");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(folder / "blanks.dat"), testsupport::patternBytes(1000));
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
    std::error_code ignored;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path(), ignored),
                            std::filesystem::directory_iterator()),
              1)
        << "the temporary file was left behind";
}

}  // namespace
}  // namespace zfe::capture
