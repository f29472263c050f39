#include "capture/create_dat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "core/byte_count.h"
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

// --- a dat of that name in the library ------------------------------------------

class ConfirmedOutputTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(library); }
    void TearDown() override { ui.expectScriptUsedUp(); }

    testsupport::TempFolder folder;
    std::string library = folder / "datfiles";
    testsupport::ScriptedUi ui;
};

TEST_F(ConfirmedOutputTest, NewNameGoesAheadWithoutAQuestion) {
    testsupport::writeFile(library + "/other.dat", "");
    EXPECT_EQ(confirmedOutputPath(ui, folder.path(), "mame"), datOutputPath(folder.path(), "mame"));
    std::filesystem::remove_all(library);
    EXPECT_EQ(confirmedOutputPath(ui, folder.path(), "mame"), datOutputPath(folder.path(), "mame"));
}

// Any letter case names the library's file, which is then written under its
// own spelling; only Yes goes ahead.
TEST_F(ConfirmedOutputTest, ExistingDatInAnyLetterCaseIsReplacedOnlyOnYes) {
    testsupport::writeFile(library + "/Mame.dat", "the earlier dat");
    ui.answerMessage(core::MessageAnswer::No).answerMessage(core::MessageAnswer::Yes);
    EXPECT_EQ(confirmedOutputPath(ui, folder.path(), "Mame"), std::nullopt);
    EXPECT_EQ(confirmedOutputPath(ui, folder.path(), "MAME"), native(library + "/Mame.dat"));
    ASSERT_EQ(ui.messages().size(), 2u);
    for (const core::Message& question : ui.messages()) {
        EXPECT_EQ(question.text, "Il file Mame.dat esiste già. Sostituirlo?");
        EXPECT_EQ(question.buttons, core::MessageButtons::YesNo);
        EXPECT_EQ(question.defaultButton, core::MessageAnswer::No);
    }
}

// --- the emulator's two runs ------------------------------------------------------

class CreateDatTest : public ::testing::Test {
protected:
    void TearDown() override { ui.expectScriptUsedUp(); }

    testsupport::TempFolder folder;
    std::string dat = folder / "mame.dat";
    testsupport::ScriptedUi ui;
};

TEST_F(CreateDatTest, TodaysMameFailingListInfoGivesItsListXmlByteForByteAndSaysSo) {
    const std::string mame = testsupport::installEmulator(folder / "emu", "mame");
    std::vector<std::string> shown;
    CaptureCallbacks callbacks;
    callbacks.showReceivedBytes = [&](const std::string& count) { shown.push_back(count); };
    ui.acknowledgeMessage();
    EXPECT_EQ(createDat(ui, mame, dat, callbacks), CreateDatOutcome::Stored);
    const std::string stored = readFile(dat);
    EXPECT_EQ(stored, testsupport::listXmlOf(mame));
    // The count starts afresh for -listxml and ends at the stored size.
    EXPECT_EQ(shown, (std::vector<std::string>{"", core::withThousandsSeparators(
                                                       static_cast<std::int64_t>(stored.size()))}));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Information);
    EXPECT_EQ(ui.messages()[0].text, "Il file Dat \"" + dat + "\" è stato creato: " +
                                         std::to_string(stored.size()) + " byte.");
}

// A usage text where a dat was asked for, as a program that knows no
// -listinfo may print, counts as a failed run: -listxml is tried.
TEST_F(CreateDatTest, OutputThatIsNotADatFromListInfoGivesListXmlsDat) {
    const std::string emulator = testsupport::installEmulator(folder / "emu", "usage-mame");
    ui.acknowledgeMessage();
    EXPECT_EQ(createDat(ui, emulator, dat), CreateDatOutcome::Stored);
    EXPECT_EQ(readFile(dat), testsupport::listXmlOf(emulator));
}

TEST_F(CreateDatTest, WarningOnStandardErrorStaysOutOfTheDat) {
    const std::string emulator = testsupport::installEmulator(folder / "emu", "warning-mame");
    ui.acknowledgeMessage();
    EXPECT_EQ(createDat(ui, emulator, dat), CreateDatOutcome::Stored);
    EXPECT_EQ(readFile(dat), testsupport::standInListInfo(testsupport::standInDescription(emulator, 1)));
}

// Both runs fail, by their exit code or, for a program that is no emulator,
// by output that is no dat: nothing is stored and the message says why.
TEST_F(CreateDatTest, FailingBothWaysStoresNothingKeepsTheOldDatAndSaysWhy) {
    struct Case {
        const char* kind;
        int exitCode;
        std::vector<std::string> alsoSaid;
    };
    const std::vector<Case> cases{
        {"broken-mame", 3, {"fatal error: out of memory while listing -listxml"}},
        {"echo-mame", 0,
         {"Non è un file Dat; la prima riga ricevuta è:\r\n    -listinfo\r\n",
          "Non è un file Dat; la prima riga ricevuta è:\r\n    -listxml\r\n"}}};
    testsupport::writeFile(dat, "the earlier dat");
    for (const Case& failing : cases) {
        testsupport::ScriptedUi failingUi;
        const std::string emulator = testsupport::installEmulator(folder / "emu", failing.kind);
        failingUi.acknowledgeMessage();
        EXPECT_EQ(createDat(failingUi, emulator, dat), CreateDatOutcome::Failed) << failing.kind;
        EXPECT_EQ(readFile(dat), "the earlier dat");
        EXPECT_TRUE(testsupport::namesIn(folder.path()) == (std::set<std::string>{"emu", "mame.dat"}));
        const std::string text = failingUi.onlyCriticalMessageText();
        for (const char* option : {" -listinfo", " -listxml"}) {
            EXPECT_NE(text.find("Riga di comando: " + emulator + option + "\r\nCodice di uscita: " +
                                std::to_string(failing.exitCode)),
                      std::string::npos) << text;
        }
        for (const std::string& said : failing.alsoSaid) {
            EXPECT_NE(text.find(said), std::string::npos) << text;
        }
    }
}

TEST_F(CreateDatTest, PickedProgramRunsThoughAnotherProgramIsNamedUpToTheBlank) {
    const std::string picked = testsupport::installEmulator(folder / "Emu Dir", "mame");
    testsupport::installEmulator(folder.path(), "Emu");  // what a cut at the blank would run
    ui.acknowledgeMessage();
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

// The emulator ends while a process it started in a session of its own still
// writes: once the output has been silent for a while that process is ended,
// and the dat it cut short is refused.
TEST_F(CreateDatTest, DatCutShortByWhatTheEmulatorLeftBehindIsNotStoredAndThatProcessIsEnded) {
    testsupport::writeFile(dat, "the earlier dat");
    const std::string emulator = testsupport::installEmulator(folder / "emu", "cut-mame");
    ui.acknowledgeMessage();
    EXPECT_EQ(createDat(ui, emulator, dat), CreateDatOutcome::Failed);
    EXPECT_EQ(readFile(dat), "the earlier dat");
    const std::string text = ui.onlyCriticalMessageText();
    EXPECT_NE(text.find("uscita è terminata prima della fine"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n    <machine name=\"pac\r\n"), std::string::npos) << text;
    const auto pids = testsupport::forkedProcessIds(emulator);
    ASSERT_TRUE(pids.has_value());
    EXPECT_TRUE(testsupport::processGoneWithin(pids->second, std::chrono::milliseconds(0)))
        << "the writer runs on, state " << testsupport::processState(pids->second);
}
#endif

}  // namespace
}  // namespace zfe::capture
