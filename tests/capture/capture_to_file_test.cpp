#include "capture/capture_to_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/child_processes.h"
#include "programs/byte_pattern.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZFE_CLANG_ASAN 1
#endif
#endif
#ifndef ZFE_CLANG_ASAN
#define ZFE_CLANG_ASAN 0
#endif

namespace zfe::capture {
namespace {

using namespace std::chrono_literals;
using testsupport::processGoneWithin;
using testsupport::processState;
using testsupport::readFile;
using testsupport::ScriptedUi;

Command standIn(const std::string& arguments) {
    Command command{ZFE_STAND_IN_CHILD, {}};
    std::istringstream words(arguments);
    for (std::string word; words >> word;) command.arguments.push_back(word);
    return command;
}

long long pidFrom(const std::string& output) {
    const auto at = output.find("pid=");
    return at == std::string::npos ? 0 : std::stoll(output.substr(at + 4));
}

class CaptureToFileTest : public ::testing::Test {
protected:
    void TearDown() override { ui.expectScriptUsedUp(); }

    CaptureResult capture(const std::string& arguments, const CaptureCallbacks& callbacks = {}) {
        return captureToFile(ui, standIn(arguments), dat, callbacks);
    }

    testsupport::TempFolder folder;
    std::string dat = folder / "mame.dat";
    ScriptedUi ui;
};

// --- what reaches the file ------------------------------------------------------

// A run that fails keeps an earlier dat as it was and leaves no temporary file.
TEST_F(CaptureToFileTest, ChildWritingNothingOrEndingWithAnErrorCodeIsAFailedRun) {
    testsupport::writeFile(dat, "the earlier dat");
    for (const char* arguments : {"", "err:6f6f6d", "out:41 exit:3"}) {
        const CaptureResult result = capture(arguments);
        EXPECT_EQ(result.outcome, CaptureOutcome::RunFailed) << arguments;
        EXPECT_EQ(readFile(dat), "the earlier dat");
        EXPECT_TRUE(testsupport::namesIn(folder.path()) == std::set<std::string>{"mame.dat"});
    }
    const CaptureResult result = capture("out:41 err:6f6f6d exit:3");
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.totalBytes, 1);
    EXPECT_EQ(result.errorOutput, "oom");
}

TEST_F(CaptureToFileTest, Exactly256BytesAreStored) {
    const CaptureResult result = capture("pattern:256:256");
    EXPECT_EQ(result.totalBytes, 256);
    EXPECT_EQ(result.reads, 2);
    EXPECT_EQ(readFile(dat), testsupport::patternBytes(256));
}

TEST_F(CaptureToFileTest, LineEndsNulAndHighBytesAreStoredByteForByte) {
    capture("out:610d0a620a630d640d0d0a0a00 out:80fffe7f81c3a8");
    EXPECT_EQ(readFile(dat), std::string("a\r\nb\nc\rd\r\r\n\n\0\x80\xff\xfe\x7f\x81\xc3\xa8", 20));
}

TEST_F(CaptureToFileTest, OnlyStandardOutputReachesTheFileStandardErrorIsKeptApart) {
    const CaptureResult result = capture("out:4f6e65 err:54776f out:5468726565 err:466f7572");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(readFile(dat), "OneThree");
    EXPECT_EQ(result.errorOutput, "TwoFour");
}

TEST_F(CaptureToFileTest, TensOfMegabytesAreByteIdentical) {
    const long long size = 40 * 1024 * 1024 + 77;
    const CaptureResult result = capture("pattern:" + std::to_string(size) + ":65536");
    EXPECT_EQ(result.totalBytes, size);
    // Each read takes what the pipe holds: kilobytes, not 256 bytes.
    EXPECT_LT(result.reads, size / 1024);
    const std::string stored = readFile(dat);
    ASSERT_EQ(stored.size(), static_cast<std::size_t>(size));
    EXPECT_TRUE(stored == testsupport::patternBytes(size)) << "content differs";
}

TEST_F(CaptureToFileTest, ExistingLongerDatIsReplacedWhole) {
    testsupport::writeFile(dat, std::string(5000, 'x'));
    capture("out:616263");
    EXPECT_EQ(readFile(dat), "abc");
    EXPECT_TRUE(testsupport::namesIn(folder.path()) == std::set<std::string>{"mame.dat"});
}

// --- progress ---------------------------------------------------------------------

// The count is shown, after an event pass, each time another 256,000 bytes
// have come, whatever the size of the reads.
struct ProgressCase {
    long long bytes;
    std::vector<std::string> shown;
};

class CaptureProgressTest : public CaptureToFileTest,
                            public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(CaptureProgressTest, CountShownEachTimeAnother256000BytesHaveCome) {
    std::vector<std::string> events;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] { events.push_back("serve"); };
    callbacks.showReceivedBytes = [&](const std::string& count) { events.push_back(count); };

    capture("pattern:" + std::to_string(GetParam().bytes) + ":65536", callbacks);

    std::vector<std::string> shown;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i] == "serve") continue;
        shown.push_back(events[i]);
        // The window is served before each new count.
        EXPECT_TRUE(i > 0 && events[i - 1] == "serve") << "count " << events[i];
    }
    EXPECT_EQ(shown, GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, CaptureProgressTest,
    ::testing::Values(ProgressCase{255'999, {}}, ProgressCase{256'000, {"256.000"}},
                      ProgressCase{767'999, {"256.000", "512.000"}},
                      ProgressCase{1'024'001, {"256.000", "512.000", "768.000", "1.024.000"}}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) {
        return std::to_string(info.param.bytes) + "Bytes";
    });

TEST_F(CaptureToFileTest, SilentChildStillGetsTheWindowServed) {
    int serves = 0;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] { ++serves; };
    std::vector<std::string> shown;
    callbacks.showReceivedBytes = [&](const std::string& count) { shown.push_back(count); };
    capture("out:41 sleep:600 out:42", callbacks);
    EXPECT_GE(serves, 2);  // about six silences of a tenth of a second
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(readFile(dat), "AB");
}

// --- failures -----------------------------------------------------------------------

TEST_F(CaptureToFileTest, MissingProgramIsReportedWithErrorTwoAndMakesNoFile) {
    ui.acknowledgeMessage();
    const CaptureResult result =
        captureToFile(ui, {folder.path() + "/no such folder/mame", {"-listinfo"}}, dat);
    EXPECT_EQ(result.outcome, CaptureOutcome::StartFailed);
    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& message = ui.messages()[0];
    EXPECT_EQ(message.text, "CreateProcess failed. Error: 2");
    EXPECT_EQ(message.title, "ZandorelFE");
    EXPECT_EQ(message.icon, core::MessageIcon::None);
    EXPECT_EQ(message.buttons, core::MessageButtons::Ok);
    EXPECT_TRUE(testsupport::namesIn(folder.path()).empty());
}

TEST_F(CaptureToFileTest, NoPipeIsReportedAndMakesNoFile) {
#if defined(__SANITIZE_ADDRESS__) || ZFE_CLANG_ASAN
    GTEST_SKIP() << "the sanitizers probe memory through a pipe of their own, which the "
                    "lowered descriptor limit refuses";
#endif
    // Lower the descriptor limit to the lowest free descriptor: no new one can
    // be made, root or not.
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    ui.acknowledgeMessage();
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
    const CaptureResult result = capture("out:41");
    ::setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_EQ(result.outcome, CaptureOutcome::StartFailed);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "CreatePipe failed. Error: " + std::to_string(EMFILE));
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::None);
    EXPECT_TRUE(testsupport::namesIn(folder.path()).empty());
}

TEST_F(CaptureToFileTest, OutputThatCannotBeOpenedEndsTheChildAndSaysWhy) {
    ui.acknowledgeMessage();
    const std::string unreachable = folder / "missing/mame.dat";
    const CaptureResult result = captureToFile(ui, standIn("pid sleep:20000"), unreachable);
    EXPECT_EQ(result.outcome, CaptureOutcome::OutputFailed);
    const std::string text = ui.onlyCriticalMessageText();
    EXPECT_NE(text.find(unreachable), std::string::npos) << text;
    EXPECT_NE(text.find("No such file"), std::string::npos) << text;
    ASSERT_GT(result.processId, 0);
    EXPECT_TRUE(processGoneWithin(result.processId, 0ms)) << "child not ended and reaped";
    EXPECT_TRUE(testsupport::namesIn(folder.path()).empty());
}

TEST_F(CaptureToFileTest, StoppedCaptureLeavesTheEarlierDatWholeAndEndsTheChild) {
    testsupport::writeFile(dat, "the earlier dat");
    CaptureCallbacks callbacks;
    callbacks.stopRequested = [] { return true; };
    const CaptureResult result = capture("pattern:400000:256 sleep:20000", callbacks);
    EXPECT_EQ(result.outcome, CaptureOutcome::Stopped);
    EXPECT_EQ(readFile(dat), "the earlier dat");
    EXPECT_TRUE(testsupport::namesIn(folder.path()) == std::set<std::string>{"mame.dat"});
    EXPECT_TRUE(processGoneWithin(result.processId, 0ms)) << "child not ended and reaped";
}

TEST_F(CaptureToFileTest, StopDuringSilenceStopsAsWell) {
    bool stop = false;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] { stop = true; };
    callbacks.stopRequested = [&] { return stop; };
    const CaptureResult result = capture("out:41 sleep:20000", callbacks);
    EXPECT_EQ(result.outcome, CaptureOutcome::Stopped);
    EXPECT_TRUE(testsupport::namesIn(folder.path()).empty());
    EXPECT_TRUE(processGoneWithin(result.processId, 0ms));
}

// --- the child as a process -------------------------------------------------------------

TEST_F(CaptureToFileTest, ChildGetsOnlyThePipeAndAnEmptyStandardInput) {
    // A descriptor of the program without close-on-exec must stay behind too.
    const int inheritable = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 3);
    capture("fds");
    ::close(inheritable);
    EXPECT_EQ(readFile(dat), "fds=0,1,2;stdin=/dev/null\n");
}

TEST_F(CaptureToFileTest, EndedChildIsReapedNoZombie) {
    capture("pid");
    const long long pid = pidFrom(readFile(dat));
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(processGoneWithin(pid, 10s)) << "state " << processState(pid);
}

TEST_F(CaptureToFileTest, ChildThatClosesItsOutputAndRunsOnDoesNotHoldTheCapture) {
    const CaptureResult result = capture("pid close sleep:30000");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_FALSE(result.exitCode.has_value());
    const long long pid = pidFrom(readFile(dat));
    ASSERT_GT(pid, 0);
    // Still running: the capture returned without waiting for it.
    const char state = processState(pid);
    EXPECT_TRUE(state != 0 && state != 'Z') << "state " << state;
    // And once it ends it is reaped, though nobody waits in the capture.
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    EXPECT_TRUE(processGoneWithin(pid, 10s)) << "state " << processState(pid);
}

// The emulator ends while a process it started holds its output: what comes
// within the silence after the end is kept, then that process is ended and
// the output judged by the emulator's own exit code.
TEST_F(CaptureToFileTest, ChildThatEndsWhileWhatItStartedHoldsTheOutputEndsTheCapture) {
    const CaptureResult result = capture("out:41 leave:300:4c617465");
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_EQ(result.exitCode, 0);
    const std::string stored = readFile(dat);
    EXPECT_EQ(stored.substr(0, 6), "Aleft=") << stored;
    EXPECT_EQ(stored.substr(stored.size() - 5), "\nLate") << stored;
    const long long left = std::stoll(stored.substr(6));
    EXPECT_TRUE(testsupport::processEndedWithin(left, 10s)) << "state " << processState(left);

    EXPECT_EQ(capture("leave:0:4c617465 exit:3").outcome, CaptureOutcome::RunFailed);
}

// Short, one block to the byte, and over two blocks with a part of a third.
// While a capture runs the program adopts what the emulator leaves behind;
// afterwards, however the capture ended, it adopts nothing (it would reap
// nothing either).
TEST_F(CaptureToFileTest, ProgramAdoptsOrphansOnlyWhileACaptureRuns) {
    int subreaper = -1;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] { ::prctl(PR_GET_CHILD_SUBREAPER, &subreaper); };
    callbacks.stopRequested = [] { return true; };
    EXPECT_EQ(capture("out:41 sleep:20000", callbacks).outcome, CaptureOutcome::Stopped);
    EXPECT_EQ(subreaper, 1);
    ui.acknowledgeMessage();
    for (const auto& [command, outcome] :
         {std::pair{standIn("out:41"), CaptureOutcome::Completed},
          std::pair{standIn("out:41 exit:3"), CaptureOutcome::RunFailed},
          std::pair{Command{folder / "missing", {}}, CaptureOutcome::StartFailed}}) {
        EXPECT_EQ(captureToFile(ui, command, dat).outcome, outcome);
    }
    ::prctl(PR_GET_CHILD_SUBREAPER, &subreaper);
    EXPECT_EQ(subreaper, 0);
}

TEST_F(CaptureToFileTest, OutputRefusedByTheCallerIsNotStoredItsStartAndEndAreKept) {
    testsupport::writeFile(dat, "the earlier dat");
    for (const long long size : {77LL, static_cast<long long>(kOutputEndKept),
                                 static_cast<long long>(2 * kOutputEndKept + 77)}) {
        CaptureCallbacks callbacks;
        std::string start;
        std::string end;
        callbacks.acceptsOutput = [&](const CaptureResult& result) {
            start = result.outputStart;
            end = result.outputEnd;
            return false;
        };
        const CaptureResult result = capture("pattern:" + std::to_string(size) + ":65536", callbacks);
        EXPECT_EQ(result.outcome, CaptureOutcome::Refused);
        const long long startSize = std::min<long long>(size, kOutputStartKept);
        const long long endSize = std::min<long long>(size, kOutputEndKept);
        EXPECT_TRUE(start == testsupport::patternBytes(startSize)) << "not the start of " << size;
        EXPECT_TRUE(end == testsupport::patternBytes(endSize, size - endSize)) << "not the end of " << size;
        EXPECT_EQ(result.outputStart, start);
        EXPECT_EQ(readFile(dat), "the earlier dat");
        EXPECT_TRUE(testsupport::namesIn(folder.path()) == std::set<std::string>{"mame.dat"});
    }
}

TEST_F(CaptureToFileTest, ProgramWithABlankRunsThoughAnotherProgramIsNamedByItsStart) {
    const std::string picked = folder / "Emu Dir/mame";
    std::filesystem::create_directory(folder / "Emu Dir");
    std::filesystem::copy_file(ZFE_STAND_IN_CHILD, picked);
    std::filesystem::copy_file(ZFE_STAND_IN_CHILD, folder / "Emu");
    const CaptureResult result = captureToFile(ui, {picked, {"-listinfo"}}, dat);
    EXPECT_EQ(result.outcome, CaptureOutcome::Completed);
    EXPECT_NE(readFile(dat).find(picked + " with 1 argument(s)"), std::string::npos) << readFile(dat);
}

}  // namespace
}  // namespace zfe::capture
