#include "datlib/library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/file_system.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"

namespace zfe::datlib {
namespace {

using testsupport::entriesOf;
using testsupport::readFile;
using testsupport::samePlace;
using testsupport::ScriptedUi;
using testsupport::snapshotOf;
using testsupport::writeFile;

constexpr char kSep = platform::kPathSeparator;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(app.inLibrary("a.dat"), "library a\n");
        writeFile(app.inLibrary("b.dat"), "library b\n");
        elsewhere = app.makeFolder("elsewhere");
    }

    // The one message shown: a critical box of the application.
    std::string failureText() const {
        return ui.onlyCriticalMessageText();
    }

    bool import() { return importDat(ui, dialog, app.applicationPath(), *files); }

    testsupport::TempAppFolder app;
    testsupport::CurrentDirectoryGuard currentDirectory;
    ScriptedUi ui;
    core::CommonDialogMemory dialog;
    std::unique_ptr<platform::FileSystemService> files = platform::makeFileSystemService();
    std::string elsewhere;
};

// --- delete -------------------------------------------------------------------------

TEST_F(LibraryTest, DeleteAsksAboutTheSelectedFileAndDeletesOnlyIt) {
    ui.answerMessage(core::MessageAnswer::Yes);

    // The list reports its folder without a final separator.
    EXPECT_TRUE(deleteDat(ui, app.library(), "a.dat", *files));

    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& question = ui.messages()[0];
    EXPECT_EQ(question.text, "Eliminare il file \"a.dat\" ?");
    EXPECT_EQ(question.title, "ZandorelFE");
    EXPECT_EQ(question.icon, core::MessageIcon::Question);
    EXPECT_EQ(question.buttons, core::MessageButtons::YesNo);
    EXPECT_EQ(question.defaultButton, core::MessageAnswer::Yes);
    EXPECT_EQ(entriesOf(app.library()), (std::set<std::string>{"b.dat"}));
}

TEST_F(LibraryTest, DeleteWithAFolderThatEndsInASeparator) {
    ui.answerMessage(core::MessageAnswer::Yes);
    EXPECT_TRUE(deleteDat(ui, app.library() + kSep, "b.dat", *files));
    EXPECT_EQ(entriesOf(app.library()), (std::set<std::string>{"a.dat"}));
}

TEST_F(LibraryTest, DeleteWithNothingSelectedAsksNothingAndDeletesNothing) {
    const auto before = snapshotOf(app.library());
    EXPECT_FALSE(deleteDat(ui, app.library(), "", *files));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(snapshotOf(app.library()), before);
}

TEST_F(LibraryTest, AnswerNoKeepsTheFile) {
    const auto before = snapshotOf(app.library());
    ui.answerMessage(core::MessageAnswer::No);
    EXPECT_FALSE(deleteDat(ui, app.library(), "a.dat", *files));
    EXPECT_EQ(snapshotOf(app.library()), before);
}

TEST_F(LibraryTest, ReadOnlyLibraryFileIsNotDeleted) {
    platform::setReadOnly(app.inLibrary("a.dat"), true);
    const auto before = snapshotOf(app.library());
    ui.answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();

    EXPECT_TRUE(deleteDat(ui, app.library(), "a.dat", *files));

    ASSERT_EQ(ui.messages().size(), 2u);
    const core::Message& failure = ui.messages()[1];
    EXPECT_EQ(failure.title, "ZandorelFE");
    EXPECT_EQ(failure.icon, core::MessageIcon::Critical);
    EXPECT_EQ(
        failure.text.rfind(
            "Impossibile eliminare il file \"" + app.inLibrary("a.dat") + "\".\r\nMotivo: ", 0),
        0u)
        << failure.text;
    EXPECT_EQ(snapshotOf(app.library()), before);
    EXPECT_TRUE(platform::isReadOnly(app.inLibrary("a.dat")));
}

TEST_F(LibraryTest, FileThatVanishedSinceTheLastRefreshIsReported) {
    const auto before = snapshotOf(app.library());
    ui.answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();
    EXPECT_TRUE(deleteDat(ui, app.library(), "gone.dat", *files));
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_TRUE(contains(ui.messages()[1].text, "\"" + app.inLibrary("gone.dat") + "\""))
        << ui.messages()[1].text;
    EXPECT_EQ(snapshotOf(app.library()), before);
}

// --- import -------------------------------------------------------------------------

// The import's dialog remembers its own choice (the destination browse has a
// dialog of its own).
TEST_F(LibraryTest, ImportFromAnotherFolderIsRemembered) {
    const std::string chosen = elsewhere + kSep + "new.dat";
    writeFile(chosen, "imported\n");
    // A file of the same name in the folder the program happens to be in must
    // not be the one copied: the bare name is read from the chosen folder.
    writeFile(app.inRoot("new.dat"), "decoy\n");
    std::filesystem::current_path(testsupport::fsPath(app.inRoot("")));
    dialog = {"/earlier/choice.dat", "choice.dat"};
    ui.chooseOpen(chosen);

    EXPECT_TRUE(import());

    EXPECT_EQ(readFile(app.inLibrary("new.dat")), "imported\n");
    EXPECT_EQ(readFile(chosen), "imported\n");
    EXPECT_EQ(dialog.fileName, chosen);
    EXPECT_EQ(dialog.fileTitle, "new.dat");
    EXPECT_TRUE(samePlace(std::filesystem::current_path().string(), elsewhere));
    ASSERT_EQ(ui.dialogs().size(), 1u);
    EXPECT_EQ(ui.dialogs()[0].kind, ScriptedUi::DialogKind::Open);
    EXPECT_EQ(ui.dialogs()[0].request.initialFileName, "/earlier/choice.dat");
    EXPECT_FALSE(ui.dialogs()[0].request.filter.has_value());
    EXPECT_TRUE(ui.messages().empty());
}

// A file of the library in any letter case is that file: the question names
// the library's own spelling, and only Yes replaces it.
TEST_F(LibraryTest, ImportOverALibraryFileOfTheSameNameAsksAndNoCopiesNothing) {
    const auto before = snapshotOf(app.library());
    for (const char* imported : {"a.dat", "A.DAT"}) {
        writeFile(elsewhere + kSep + imported, "newer\n");
        ui.chooseOpen(elsewhere + kSep + imported).answerMessage(core::MessageAnswer::No);
        EXPECT_FALSE(import()) << imported;
        EXPECT_EQ(snapshotOf(app.library()), before) << imported;
    }
    ASSERT_EQ(ui.messages().size(), 2u);
    for (const core::Message& question : ui.messages()) {
        EXPECT_EQ(question.text, "Il file a.dat esiste già. Sostituirlo?");
        EXPECT_EQ(question.title, "ZandorelFE");
        EXPECT_EQ(question.icon, core::MessageIcon::Question);
        EXPECT_EQ(question.buttons, core::MessageButtons::YesNo);
        EXPECT_EQ(question.defaultButton, core::MessageAnswer::No);
    }
}

TEST_F(LibraryTest, ImportInAnotherLetterCaseReplacesTheLibrarysFileOnYes) {
    writeFile(elsewhere + kSep + "A.DAT", "newer A\n");
    ui.chooseOpen(elsewhere + kSep + "A.DAT").answerMessage(core::MessageAnswer::Yes);

    EXPECT_TRUE(import());

    // One file of that name, under the library's spelling, with the new content.
    EXPECT_EQ(entriesOf(app.library()), (std::set<std::string>{"a.dat", "b.dat"}));
    EXPECT_EQ(readFile(app.inLibrary("a.dat")), "newer A\n");
}

TEST_F(LibraryTest, ImportOfAFileThatIsNotADatCopiesItAll) {
    writeFile(elsewhere + kSep + "notes.txt", "just notes");
    ui.chooseOpen(elsewhere + kSep + "notes.txt");
    EXPECT_TRUE(import());
    EXPECT_EQ(readFile(app.inLibrary("notes.txt")), "just notes");
}

TEST_F(LibraryTest, CancelledImportChangesNothing) {
    const auto before = snapshotOf(app.library());
    const auto startFolder = std::filesystem::current_path();
    dialog = {"/earlier/choice.dat", "choice.dat"};
    ui.cancelOpen();

    EXPECT_FALSE(import());

    EXPECT_EQ(snapshotOf(app.library()), before);
    EXPECT_EQ(dialog.fileName, "/earlier/choice.dat");
    EXPECT_EQ(dialog.fileTitle, "choice.dat");
    EXPECT_EQ(std::filesystem::current_path(), startFolder);
}

TEST_F(LibraryTest, ImportOfANameThatNamesNoFileIsReported) {
    const auto before = snapshotOf(app.library());
    const std::string typed = elsewhere + kSep + "typo.dat";
    ui.chooseOpen(typed).acknowledgeMessage();

    EXPECT_TRUE(import());

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "Impossibile importare il file \"" + typed + "\"")) << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_EQ(snapshotOf(app.library()), before);
}

TEST_F(LibraryTest, ImportFromAFolderThatDoesNotExistIsReported) {
    const auto before = snapshotOf(app.library());
    const std::string typed = app.inRoot("no folder") + kSep + "x.dat";
    ui.chooseOpen(typed).acknowledgeMessage();

    EXPECT_FALSE(import());

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, "\"" + typed + "\"")) << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_EQ(snapshotOf(app.library()), before);
}

TEST_F(LibraryTest, ImportOverAReadOnlyLibraryFileLeavesItWhole) {
    platform::setReadOnly(app.inLibrary("a.dat"), true);
    writeFile(elsewhere + kSep + "a.dat", "newer a\n");
    const auto before = snapshotOf(app.library());
    ui.chooseOpen(elsewhere + kSep + "a.dat").answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();

    EXPECT_TRUE(import());

    ASSERT_EQ(ui.messages().size(), 2u);
    const std::string& text = ui.messages()[1].text;
    EXPECT_EQ(ui.messages()[1].icon, core::MessageIcon::Critical);
    EXPECT_TRUE(contains(text, "\"" + app.inLibrary("a.dat") + "\"")) << text;
    EXPECT_EQ(snapshotOf(app.library()), before);
}

TEST_F(LibraryTest, ImportIntoAMissingLibraryFolderIsReportedAndCreatesNothing) {
    std::filesystem::remove_all(testsupport::fsPath(app.library()));
    writeFile(elsewhere + kSep + "new.dat", "imported\n");
    ui.chooseOpen(elsewhere + kSep + "new.dat").acknowledgeMessage();

    EXPECT_TRUE(import());

    const std::string text = failureText();
    EXPECT_TRUE(contains(text, app.library())) << text;
    EXPECT_TRUE(contains(text, "Motivo: ")) << text;
    EXPECT_FALSE(std::filesystem::exists(testsupport::fsPath(app.library())));
    EXPECT_EQ(readFile(elsewhere + kSep + "new.dat"), "imported\n");
}

#ifndef _WIN32
// A pipe nobody writes to would hold the import for ever; should the import
// open it all the same, the guard's writer ends the wait after a few seconds
// and the test fails instead of hanging.
TEST_F(LibraryTest, ImportOfAPipeADeviceOrAFolderIsRefusedAndCopiesNothing) {
    const std::string pipe = elsewhere + kSep + "pipe.dat";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    std::atomic<bool> finished{false};
    std::thread guard([&] {
        for (int waited = 0; waited < 50 && !finished; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!finished) {
            const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
        }
    });
    const std::string folder = app.makeFolder("folder.dat");
    const auto before = snapshotOf(app.library());
    for (const std::string& chosen : {pipe, std::string("/dev/null"), folder}) {
        ui.chooseOpen(chosen).acknowledgeMessage();
        EXPECT_TRUE(import()) << chosen;
        ASSERT_FALSE(ui.messages().empty());
        EXPECT_TRUE(contains(ui.messages().back().text, "non è un file")) << ui.messages().back().text;
    }
    finished = true;
    guard.join();
    EXPECT_EQ(ui.messages().size(), 3u);
    EXPECT_EQ(snapshotOf(app.library()), before);
}
#endif

TEST_F(LibraryTest, ImportOfTheLibrarysOwnFileLeavesItWhole) {
    const auto before = snapshotOf(app.library());
    ui.chooseOpen(app.inLibrary("a.dat"));

    import();

    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(snapshotOf(app.library()), before);
    EXPECT_EQ(dialog.fileName, app.inLibrary("a.dat"));
}

}  // namespace
}  // namespace zfe::datlib
