#include "capture/create_dat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/file_system.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"
#include "support/child_processes.h"
#include "support/stand_in_emulator.h"

namespace zfe::capture {
namespace {

using testsupport::readFile;

TEST(CreateDatInput, MissingExecutableOrNameGivesTheTwoLineWarning) {
    for (const auto& [exe, name] :
         {std::pair{"", "mame078"}, std::pair{"mame", ""}, std::pair{"", ""}}) {
        const std::optional<core::Message> warning = checkCreateInput(exe, name, "/prog");
        ASSERT_TRUE(warning.has_value()) << exe << "/" << name;
        EXPECT_EQ(warning->title, "Attenzione...");
        EXPECT_EQ(warning->icon, core::MessageIcon::Warning);
        EXPECT_EQ(warning->buttons, core::MessageButtons::Ok);
        EXPECT_EQ(warning->text,
                  "E' necessario specificare percorso e nome di un eseguibile MAME e \r\n"
                  "un nome descrittivo per il file Dat da creare.");
    }
}

TEST(CreateDatInput, BlanksAndDotsAreAName) {
    EXPECT_FALSE(checkCreateInput("mame", " ", "/prog").has_value());
    EXPECT_FALSE(checkCreateInput("mame", "mame078.dat", "/prog").has_value());
    EXPECT_FALSE(checkCreateInput("mame", "MAME 0.78 (più giochi)", "/prog").has_value());
}

TEST(CreateDatInput, NameTheFileSystemCannotTakeIsWarnedInTheSameForm) {
    for (const std::string& name : {std::string("a/b"), std::string("/"), std::string("a\0b", 3)}) {
        const std::optional<core::Message> warning = checkCreateInput("mame", name, "/prog");
        ASSERT_TRUE(warning.has_value()) << name;
        EXPECT_EQ(warning->title, "Attenzione...");
        EXPECT_EQ(warning->icon, core::MessageIcon::Warning);
        EXPECT_NE(warning->text.find("\r\n"), std::string::npos);
        EXPECT_NE(warning->text.find("non può contenere"), std::string::npos);
    }
#ifdef _WIN32
    for (const char* name : {"a\\b", "c:", "x*", "y?", "\"q\"", "<", ">", "p|q", "tab\there"}) {
        EXPECT_TRUE(checkCreateInput("mame.exe", name, "C:\\prog").has_value()) << name;
    }
    for (const char* name : {"CON", "nul", "com1", "Lpt9 ", "aux.old"}) {
        const std::optional<core::Message> warning = checkCreateInput("mame.exe", name, "C:\\prog");
        ASSERT_TRUE(warning.has_value()) << name;
        EXPECT_NE(warning->text.find("riservato"), std::string::npos);
    }
    EXPECT_FALSE(checkCreateInput("mame.exe", "console", "C:\\prog").has_value());
#else
    EXPECT_FALSE(checkCreateInput("mame", "a\\b:*?<>|", "/prog").has_value());
#endif
}

TEST(CreateDatInput, TooLongANameIsRefusedInANarrowMessage) {
#ifdef _WIN32
    // The whole path stays below MAX_PATH: 259 less "C:\p\datfiles\" and ".dat".
    const std::string application = "C:\\p";
    const std::size_t longestName = 241;
#else
    const std::string application = "/prog";
    const std::size_t longestName = 251;  // with ".dat", NAME_MAX
#endif
    const std::string longest(longestName, 'n');
    EXPECT_FALSE(checkCreateInput("mame", longest, application).has_value());
    const std::optional<core::Message> warning = checkCreateInput("mame", longest + "n", application);
    ASSERT_TRUE(warning.has_value());
    EXPECT_EQ(warning->icon, core::MessageIcon::Warning);
    EXPECT_NE(warning->text.find("troppo lungo"), std::string::npos);
    EXPECT_NE(warning->text.find(std::to_string(longestName)), std::string::npos) << warning->text;
    EXPECT_EQ(warning->text.find("nnnn"), std::string::npos) << "the name makes the box wide";
}

// A path written with "/" in the platform's own separator.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

TEST(CreateDatPaths, OutputIsTheNameAsTypedPlusDatInTheLibrary) {
    EXPECT_EQ(datOutputPath(native("/prog"), "mame078"), native("/prog/datfiles/mame078.dat"));
    EXPECT_EQ(datOutputPath(native("/prog/"), "mame078.dat"),
              native("/prog/datfiles/mame078.dat.dat"));
    EXPECT_EQ(datOutputPath(native("/prog"), " x "), native("/prog/datfiles/ x .dat"));
}

TEST(CreateDatPaths, OpenFilterIsThePlatformsExecutables) {
#ifdef _WIN32
    EXPECT_EQ(executableFilter().description, "Eseguibile (*.exe)");
    EXPECT_EQ(executableFilter().pattern, "*.exe");
#else
    EXPECT_EQ(executableFilter().description, "Eseguibile (*)");
    EXPECT_EQ(executableFilter().pattern, "*");
#endif
}

TEST(CreateDatMessage, ShowsEachRunsCommandExitCodeAndLastErrorLinesCutToWidth) {
    FailedRun first{{"/emu/mame", {"-listinfo"}}, {}};
    first.result.exitCode = 6;
    first.result.totalBytes = 12;
    first.result.errorOutput = "Error: unknown option: -listinfo\n";
    FailedRun second{{"/emu/mame", {"-listxml"}}, {}};
    second.result.totalBytes = 0;
    for (int line = 1; line <= 20; ++line) second.result.errorOutput += "line " + std::to_string(line) + "\r\n";
    second.result.errorOutput += std::string(500, 'w') + "\n\n";

    const core::Message message = noDatMessage("/prog/datfiles/x.dat", first, second);
    EXPECT_EQ(message.icon, core::MessageIcon::Critical);
    const std::string& text = message.text;
    EXPECT_NE(text.find("\"/prog/datfiles/x.dat\""), std::string::npos) << text;
    const auto firstRun = text.find("Riga di comando: /emu/mame -listinfo\r\nCodice di uscita: 6\r\n");
    const auto secondRun = text.find("Riga di comando: /emu/mame -listxml\r\nCodice di uscita: nessuno");
    ASSERT_NE(firstRun, std::string::npos) << text;
    ASSERT_NE(secondRun, std::string::npos) << text;
    EXPECT_NE(text.find("Error: unknown option: -listinfo"), firstRun);
    EXPECT_NE(text.find("nessun dato ricevuto"), std::string::npos);
    // The last lines only, the long one cut.
    EXPECT_EQ(text.find("line 13\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("line 14\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(std::string(160, 'w') + "...\r\n"), std::string::npos);
    EXPECT_EQ(text.find(std::string(161, 'w')), std::string::npos);
}

// --- the emulator's two runs ------------------------------------------------------

class CreateDatTest : public ::testing::Test {
protected:
    void TearDown() override { ui.expectScriptUsedUp(); }

    testsupport::TempFolder folder;
    std::string dat = folder / "mame.dat";
    testsupport::ScriptedUi ui;
};

TEST_F(CreateDatTest, TodaysMameFailingListInfoGivesItsListXmlByteForByte) {
    const std::string mame = testsupport::installEmulator(folder / "emu", "mame");
    std::vector<std::string> shown;
    CaptureCallbacks callbacks;
    callbacks.showReceivedBytes = [&](const std::string& digits) { shown.push_back(digits); };
    EXPECT_EQ(createDat(ui, mame, dat, callbacks), CreateDatOutcome::Stored);
    EXPECT_EQ(readFile(dat), testsupport::listXmlOf(mame));
    EXPECT_EQ(shown, std::vector<std::string>{""}) << "the count starts afresh for -listxml";
}

TEST_F(CreateDatTest, WarningOnStandardErrorStaysOutOfTheDat) {
    const std::string emulator = testsupport::installEmulator(folder / "emu", "warning-mame");
    EXPECT_EQ(createDat(ui, emulator, dat), CreateDatOutcome::Stored);
    EXPECT_EQ(readFile(dat), testsupport::standInListInfo(testsupport::standInDescription(emulator, 1)));
}

TEST_F(CreateDatTest, FailingBothWaysStoresNothingKeepsTheOldDatAndSaysWhy) {
    testsupport::writeFile(dat, "the earlier dat");
    const std::string emulator = testsupport::installEmulator(folder / "emu", "broken-mame");
    ui.acknowledgeMessage();
    EXPECT_EQ(createDat(ui, emulator, dat), CreateDatOutcome::Failed);
    EXPECT_EQ(readFile(dat), "the earlier dat");
    EXPECT_TRUE(testsupport::namesIn(folder.path()) == (std::set<std::string>{"emu", "mame.dat"}));
    const std::string text = ui.onlyCriticalMessageText();
    EXPECT_NE(text.find("Riga di comando: " + emulator + " -listinfo\r\nCodice di uscita: 3"),
              std::string::npos) << text;
    EXPECT_NE(text.find("Riga di comando: " + emulator + " -listxml\r\nCodice di uscita: 3"),
              std::string::npos) << text;
    EXPECT_NE(text.find("fatal error: out of memory while listing -listxml"), std::string::npos);
}

TEST_F(CreateDatTest, PickedProgramRunsThoughAnotherProgramIsNamedUpToTheBlank) {
    const std::string picked = testsupport::installEmulator(folder / "Emu Dir", "mame");
    testsupport::installEmulator(folder.path(), "Emu");  // what a cut at the blank would run
    EXPECT_EQ(createDat(ui, picked, dat), CreateDatOutcome::Stored);
    EXPECT_EQ(readFile(dat), testsupport::listXmlOf(picked));
}

#ifndef _WIN32
TEST_F(CreateDatTest, StoppingEndsTheEmulatorAndWhatItStartedWithNoTemporaryFileLeft) {
    testsupport::writeFile(dat, "the earlier dat");
    const std::string emulator = testsupport::installEmulator(folder / "emu", "forking-mame");
    std::optional<std::pair<long long, long long>> pids;
    CaptureCallbacks callbacks;
    callbacks.serveEvents = [&] { pids = testsupport::forkedProcessIds(emulator); };
    callbacks.stopRequested = [&] { return pids.has_value(); };
    EXPECT_EQ(createDat(ui, emulator, dat, callbacks), CreateDatOutcome::Stopped);
    ASSERT_TRUE(pids.has_value());
    EXPECT_TRUE(testsupport::processGoneWithin(pids->first, std::chrono::milliseconds(0)));
    EXPECT_TRUE(testsupport::processEndedWithin(pids->second, std::chrono::seconds(10)));
    EXPECT_EQ(readFile(dat), "the earlier dat");
    EXPECT_TRUE(testsupport::namesIn(folder.path()) == (std::set<std::string>{"emu", "mame.dat"}));
}
#endif

}  // namespace
}  // namespace zfe::capture
