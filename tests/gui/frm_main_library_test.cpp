// The main window's buttons driven as a user would, with scripted dialogs and
// answers: the diff request's window side, the import and the delete.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <filesystem>

#include "diff/diff_request.h"
#include "gui/main_window_fixture.h"
#include "gui/controls.h"
#include "gui/frm_result.h"

namespace zfe::gui {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::ScriptedUi;
using testsupport::writeFile;

class MainWindowButtonsTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        elsewhere = root / "elsewhere";
        fs::create_directories(elsewhere);
    }

    static void select(FileListBox* list, const QString& name) {
        const int index = static_cast<int>(list->fileNames().indexOf(name));
        ASSERT_GE(index, 0) << name.toStdString();
        list->setSelectedIndex(index);
    }

    // old.dat and new.dat in the library and chosen, the slow stand-in as the
    // diff tool, and the destination.
    FrmMain& openForASlowDiff(const fs::path& destination) {
        addDat("old.dat");
        addDat("new.dat");
        fs::copy_file(ZFE_SLOW_ZANDOREL_PATH, program / "zdrl" / diff::kDiffToolFileName);
        FrmMain& frm = open();
        select(control<FileListBox>(frm, "filOld"), QStringLiteral("old.dat"));
        select(control<FileListBox>(frm, "filNew"), QStringLiteral("new.dat"));
        control<QLabel>(frm, "lblFileDest")->setText(QString::fromStdString(destination.string()));
        return frm;
    }

    fs::path elsewhere;
};

TEST_F(MainWindowButtonsTest, CreaDiffDatWithNothingSelectedWarns) {
    addDat("a.dat");
    FrmMain& frm = open();
    control<QLabel>(frm, "lblFileDest")->setText(QString::fromStdString((root / "out.dat").string()));
    ui.acknowledgeMessage();
    control<QToolButton>(frm, "cmdCrea")->click();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Attenzione...");
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Warning);
    EXPECT_EQ(ui.messages()[0].text,
              "E' necessario selezionare un Dat Vecchio ed uno Nuovo per il confronto.");
    EXPECT_FALSE(fs::exists(root / "out.dat"));
}

TEST_F(MainWindowButtonsTest, SaveDialogPathLandsInTheDestinationLabel) {
    FrmMain& frm = open();
    const std::string destination = (elsewhere / "diff.dat").string();
    ui.chooseSave(destination);
    control<QToolButton>(frm, "cmdBrowse")->click();
    EXPECT_EQ(control<QLabel>(frm, "lblFileDest")->text().toStdString(), destination);
    EXPECT_EQ(fs::current_path(), elsewhere);

    // A cancelled dialog leaves the label as it was; it offered the last
    // folder (no name: no dats are selected).
    ui.cancelSave();
    control<QToolButton>(frm, "cmdBrowse")->click();
    EXPECT_EQ(control<QLabel>(frm, "lblFileDest")->text().toStdString(), destination);
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[1].request.initialFileName, elsewhere.string() + platform::kPathSeparator);
}

TEST_F(MainWindowButtonsTest, CreaDiffDatRunsTheToolWithABusyCursorAndDeliversItsOutput) {
    qputenv("ZFE_SLOW_DIFF_MS", "0");
    const fs::path destination = elsewhere / "result.dat";
    FrmMain& frm = openForASlowDiff(destination);
    control<QRadioButton>(frm, "optSetType(1)")->setChecked(true);
    control<QCheckBox>(frm, "chkTiny")->setChecked(true);

    control<QToolButton>(frm, "cmdCrea")->click();
    qunsetenv("ZFE_SLOW_DIFF_MS");
    EXPECT_TRUE(ui.messages().empty());
    const auto* result = frm.findChild<FrmResult*>();
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isVisible());
    EXPECT_EQ(result->windowTitle(), "ZandorelFE - Risultato");
    EXPECT_EQ(control<QLabel>(*result, "lblDestination")->text().toStdString(), destination.string());
    EXPECT_EQ(control<QPlainTextEdit>(*result, "txtReport")->toPlainText(),
              "slow report\n\nSummary: 1 added, 0 removed, 0 renamed, 0 changed, 2 unchanged\n");
    EXPECT_EQ(readFile(destination), "slow diff of -M -t old.dat new.dat\n");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->selectedFileName(), "old.dat");
}

TEST_F(MainWindowButtonsTest, DiffDatDeliveredIntoTheLibraryShowsInBothLists) {
    qputenv("ZFE_SLOW_DIFF_MS", "0");
    FrmMain& frm = openForASlowDiff(library / "diff.xml");
    control<QToolButton>(frm, "cmdCrea")->click();
    qunsetenv("ZFE_SLOW_DIFF_MS");
    const QStringList expected{"diff.xml", "new.dat", "old.dat"};
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), expected);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), expected);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->selectedFileName(), "new.dat");
}

// Input made while the tool runs is dropped, not replayed once it has ended;
// meanwhile the window serves its events (here the timer that "clicks").
TEST_F(MainWindowButtonsTest, ClicksDuringARunAreDroppedAndNotReplayed) {
    FrmMain& frm = openForASlowDiff(elsewhere / "diff.dat");
    frm.show();
    auto* createDiff = control<QToolButton>(frm, "cmdCrea");
    auto* merged = control<QRadioButton>(frm, "optSetType(1)");

    bool clickedWhileRunning = false;
    QTimer::singleShot(1000, [&] {
        clickedWhileRunning = fs::exists(program / "zdrl" / "running");
        for (QWidget* target : {static_cast<QWidget*>(createDiff), static_cast<QWidget*>(merged)}) {
            const QPointF centre = QRectF(target->rect()).center();
            const QPointF global = target->mapToGlobal(centre);
            QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QApplication::sendEvent(target, &press);
            QApplication::sendEvent(target, &release);
        }
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
        QApplication::sendEvent(createDiff, &space);
    });
    createDiff->click();
    // Whatever would be replayed is let through now.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500) QApplication::processEvents(QEventLoop::AllEvents, 100);

    EXPECT_TRUE(clickedWhileRunning) << "the window served no events while the tool ran";
    EXPECT_EQ(readFile(program / "zdrl" / "runs.txt"), "run\n");
    EXPECT_TRUE(control<QRadioButton>(frm, "optSetType(0)")->isChecked());
    EXPECT_FALSE(merged->isChecked());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(MainWindowButtonsTest, BusyCursorIsRestoredWhenTheToolCannotStart) {
    addDat("a.dat");
    addDat("b.dat");
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("a.dat"));
    select(control<FileListBox>(frm, "filNew"), QStringLiteral("b.dat"));
    control<QLabel>(frm, "lblFileDest")->setText(QString::fromStdString((elsewhere / "out.dat").string()));
    ui.acknowledgeMessage();
    control<QToolButton>(frm, "cmdCrea")->click();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Critical);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(frm.isEnabled());
}

TEST_F(MainWindowButtonsTest, DeleteTakesTheOldListsFileOnlyAfterTheQuestion) {
    addDat("m.dat");
    addDat("n.dat");
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("m.dat"));
    select(control<FileListBox>(frm, "filNew"), QStringLiteral("n.dat"));
    ui.answerMessage(core::MessageAnswer::Yes);
    control<QToolButton>(frm, "cmdDelete")->click();

    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& question = ui.messages()[0];
    EXPECT_EQ(question.text, "Eliminare il file \"m.dat\" ?");
    EXPECT_EQ(question.title, "ZandorelFE");
    EXPECT_EQ(question.buttons, core::MessageButtons::YesNo);
    EXPECT_EQ(question.icon, core::MessageIcon::Question);
    EXPECT_EQ(question.defaultButton, core::MessageAnswer::Yes);

    EXPECT_FALSE(fs::exists(library / "m.dat"));
    EXPECT_TRUE(fs::exists(library / "n.dat"));
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"n.dat"});
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), QStringList{"n.dat"});
}

TEST_F(MainWindowButtonsTest, DeleteWithNothingSelectedInTheOldListDoesNothing) {
    addDat("m.dat");
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filNew"), QStringLiteral("m.dat"));
    control<QToolButton>(frm, "cmdDelete")->click();
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_TRUE(fs::exists(library / "m.dat"));
}

TEST_F(MainWindowButtonsTest, AnsweringNoKeepsTheFileAndTheLists) {
    addDat("m.dat");
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("m.dat"));
    addDat("later.dat");  // written by another program meanwhile
    ui.answerMessage(core::MessageAnswer::No);
    control<QToolButton>(frm, "cmdDelete")->click();
    EXPECT_TRUE(fs::exists(library / "m.dat"));
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"m.dat"});
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), QStringList{"m.dat"});
}

TEST_F(MainWindowButtonsTest, DeleteOfAReadOnlyFileFailsWithAMessageAndKeepsIt) {
    addDat("locked.dat");
    fs::permissions(library / "locked.dat", fs::perms::owner_read | fs::perms::group_read);
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("locked.dat"));
    ui.answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();
    control<QToolButton>(frm, "cmdDelete")->click();
    ASSERT_EQ(ui.messages().size(), 2u);
    const core::Message& failure = ui.messages()[1];
    EXPECT_EQ(failure.title, "ZandorelFE");
    EXPECT_EQ(failure.icon, core::MessageIcon::Critical);
    EXPECT_NE(failure.text.find("locked.dat"), std::string::npos) << failure.text;
    EXPECT_TRUE(fs::exists(library / "locked.dat"));
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"locked.dat"});
}

TEST_F(MainWindowButtonsTest, DeleteOfAFileThatVanishedFailsWithAMessageAndTheListsLoseIt) {
    addDat("gone.dat");
    addDat("kept.dat");
    FrmMain& frm = open();
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("gone.dat"));
    fs::remove(library / "gone.dat");
    ui.answerMessage(core::MessageAnswer::Yes).acknowledgeMessage();
    control<QToolButton>(frm, "cmdDelete")->click();
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].icon, core::MessageIcon::Critical);
    EXPECT_NE(ui.messages()[1].text.find("gone.dat"), std::string::npos);
    EXPECT_TRUE(fs::exists(library / "kept.dat"));
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"kept.dat"});
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), QStringList{"kept.dat"});
}

TEST_F(MainWindowButtonsTest, ImportingTheLibrarysOwnFileLeavesItWhole) {
    addDat("own.dat", "content");
    FrmMain& frm = open();
    ui.chooseOpen((library / "own.dat").string());
    control<QToolButton>(frm, "cmdImport")->click();
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(library / "own.dat"), "content");
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"own.dat"});
}

TEST_F(MainWindowButtonsTest, ImportFromAnotherFolderShowsInBothListsAndIsRemembered) {
    addDat("a.dat");
    writeFile(elsewhere / "mame0260.dat", "new dat");
    FrmMain& frm = open();
    const std::string chosen = (elsewhere / "mame0260.dat").string();
    ui.chooseOpen(chosen);
    control<QToolButton>(frm, "cmdImport")->click();

    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(library / "mame0260.dat"), "new dat");
    EXPECT_TRUE(fs::exists(elsewhere / "mame0260.dat"));
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), (QStringList{"a.dat", "mame0260.dat"}));
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), (QStringList{"a.dat", "mame0260.dat"}));
    EXPECT_EQ(fs::current_path(), elsewhere);
    EXPECT_EQ(frm.commonDialog().fileName, chosen);
    EXPECT_EQ(frm.commonDialog().fileTitle, "mame0260.dat");

    // The destination browse never offers the imported file, which Enter
    // would replace: a new name, made from the dats it would compare.
    select(control<FileListBox>(frm, "filOld"), QStringLiteral("a.dat"));
    select(control<FileListBox>(frm, "filNew"), QStringLiteral("mame0260.dat"));
    ui.cancelSave();
    control<QToolButton>(frm, "cmdBrowse")->click();
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[0].request.initialFileName, "");
    EXPECT_FALSE(ui.dialogs()[0].request.filter.has_value());
    EXPECT_EQ(ui.dialogs()[1].kind, ScriptedUi::DialogKind::Save);
    EXPECT_EQ(ui.dialogs()[1].request.initialFileName, "a - mame0260 (Split).dat");
}

// A second "Crea DiffDat" replaces the diff dat that the first delivered
// without a question, but asks once something else is there.
TEST_F(MainWindowButtonsTest, CreaDiffDatAsksBeforeReplacingAFileThatIsNotItsOwnDiffDat) {
    qputenv("ZFE_SLOW_DIFF_MS", "0");
    const fs::path destination = elsewhere / "diff.dat";
    FrmMain& frm = openForASlowDiff(destination);
    auto* createDiff = control<QToolButton>(frm, "cmdCrea");
    createDiff->click();
    createDiff->click();
    writeFile(destination, "a download");
    ui.answerMessage(core::MessageAnswer::No);
    createDiff->click();
    qunsetenv("ZFE_SLOW_DIFF_MS");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Il file " + destination.string() + " esiste già. Sostituirlo?");
    EXPECT_EQ(readFile(destination), "a download");
    EXPECT_EQ(readFile(program / "zdrl" / "runs.txt"), "run\nrun\n");
}

// The tool's exit code reaches the request: 2 is a failure even beside a diff
// dat, which is not delivered.
TEST_F(MainWindowButtonsTest, TheToolsExitCodeReachesTheRequest) {
    qputenv("ZFE_SLOW_DIFF_MS", "0");
    qputenv("ZFE_SLOW_DIFF_EXIT", "2");
    const fs::path destination = elsewhere / "diff.dat";
    FrmMain& frm = openForASlowDiff(destination);
    ui.acknowledgeMessage();
    control<QToolButton>(frm, "cmdCrea")->click();
    qunsetenv("ZFE_SLOW_DIFF_MS");
    qunsetenv("ZFE_SLOW_DIFF_EXIT");
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_NE(ui.messages()[0].text.find("codice di uscita 2"), std::string::npos) << ui.messages()[0].text;
    EXPECT_EQ(frm.findChild<FrmResult*>(), nullptr);
    EXPECT_FALSE(fs::exists(destination));
}

TEST_F(MainWindowButtonsTest, WithTheDataApartTheListsAndTheImportUseTheUsersLibrary) {
    addDat("installed.dat");
    const fs::path installed = library;
    FrmMain& frm = openWithDataApart();
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->count(), 0);

    writeFile(elsewhere / "mame.dat", "mine");
    ui.chooseOpen((elsewhere / "mame.dat").string());
    control<QToolButton>(frm, "cmdImport")->click();

    EXPECT_TRUE(ui.messages().empty());
    EXPECT_EQ(readFile(library / "mame.dat"), "mine");
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"mame.dat"});
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), QStringList{"mame.dat"});
    EXPECT_EQ(testsupport::entriesOf(installed.string()), std::set<std::string>{"installed.dat"});
}

TEST_F(MainWindowButtonsTest, ImportOverTheSameNameInAnotherCaseReplacesItAfterTheQuestion) {
    addDat("x.dat", "old");
    writeFile(elsewhere / "x.DAT", "new");
    FrmMain& frm = open();
    ui.chooseOpen((elsewhere / "x.DAT").string()).answerMessage(core::MessageAnswer::Yes);
    control<QToolButton>(frm, "cmdImport")->click();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Il file x.dat esiste già. Sostituirlo?");
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames().size(), 1);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames().size(), 1);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(library)) {
        ++files;
        EXPECT_EQ(readFile(entry.path()), "new") << entry.path();
    }
    EXPECT_EQ(files, 1);
}

TEST_F(MainWindowButtonsTest, ImportedTextFileIsCopiedButNotListed) {
    writeFile(elsewhere / "notes.txt", "notes");
    FrmMain& frm = open();
    ui.chooseOpen((elsewhere / "notes.txt").string());
    control<QToolButton>(frm, "cmdImport")->click();
    EXPECT_EQ(readFile(library / "notes.txt"), "notes");
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->count(), 0);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->count(), 0);
}

TEST_F(MainWindowButtonsTest, CancelledImportCopiesNothingAndRefreshesNothing) {
    FrmMain& frm = open();
    addDat("meanwhile.dat");
    ui.cancelOpen();
    control<QToolButton>(frm, "cmdImport")->click();
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->count(), 0);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->count(), 0);
    EXPECT_EQ(frm.commonDialog().fileName, "");
}

TEST_F(MainWindowButtonsTest, DatWrittenByAnotherProgramShowsAtTheNextRefresh) {
    addDat("a.dat");
    writeFile(elsewhere / "b.dat", "b");
    FrmMain& frm = open();
    addDat("diff.dat");  // e.g. a diff dat saved into the library
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"a.dat"});
    ui.chooseOpen((elsewhere / "b.dat").string());
    control<QToolButton>(frm, "cmdImport")->click();
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), (QStringList{"a.dat", "b.dat", "diff.dat"}));
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), (QStringList{"a.dat", "b.dat", "diff.dat"}));
}

TEST_F(MainWindowButtonsTest, ImportOfANameThatNamesNoFileFailsAndCopiesNothing) {
    addDat("a.dat", "a");
    FrmMain& frm = open();
    addDat("meanwhile.dat");
    ui.chooseOpen((elsewhere / "typed.dat").string()).acknowledgeMessage();
    control<QToolButton>(frm, "cmdImport")->click();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "ZandorelFE");
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Critical);
    EXPECT_NE(ui.messages()[0].text.find("typed.dat"), std::string::npos);
    EXPECT_FALSE(fs::exists(library / "typed.dat"));
    EXPECT_EQ(readFile(library / "a.dat"), "a");
    // The lists show what the folder holds, whatever the import did.
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), (QStringList{"a.dat", "meanwhile.dat"}));
}

TEST_F(MainWindowButtonsTest, ImportIntoAMissingLibraryFailsWithAMessage) {
    writeFile(elsewhere / "b.dat", "b");
    fs::remove_all(library);
    ui.acknowledgeMessage();  // the start-up warning
    FrmMain& frm = open();
    ui.chooseOpen((elsewhere / "b.dat").string()).acknowledgeMessage();
    control<QToolButton>(frm, "cmdImport")->click();
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[1].icon, core::MessageIcon::Critical);
    EXPECT_FALSE(fs::exists(library));
    EXPECT_TRUE(fs::exists(elsewhere / "b.dat"));
}

}  // namespace
}  // namespace zfe::gui
