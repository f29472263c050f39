#include "gui/frm_create.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/file_names.h"
#include "support/child_processes.h"
#include "support/app_folder.h"
#include "support/scripted_ui.h"
#include "support/stand_in_emulator.h"
#include "gui/controls.h"

namespace zfe::gui {
namespace {

using testsupport::namesIn;
using testsupport::readFile;
using testsupport::ScriptedUi;

// "game (\n)\n", a whole listinfo dat, for the stand-in's out: argument.
const std::string kDatHex = "67616d6520280a290a";

// The emulator's file name, as the dialog shows it.
const std::string kMame = std::string("mame") + platform::kExecutableSuffix;

const char* const kMissingInput =
    "E' necessario specificare percorso e nome di un eseguibile MAME e \r\n"
    "un nome descrittivo per il file Dat da creare.";

class FrmCreateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "zfe_capture_ui_tests";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
    }

    void SetUp() override { std::filesystem::create_directory(library); }

    void TearDown() override {
        testsupport::clearEnvironment("ZFE_STAND_IN_ARGUMENTS");
        ui.expectScriptUsedUp();
    }

    // An emulator "mame": the stand-in child, told to carry out `arguments`
    // whatever it is given itself.
    std::string emulator(const std::string& folderName, const std::string& arguments) {
        testsupport::setEnvironment("ZFE_STAND_IN_ARGUMENTS", arguments);
        const std::string folderPath = folder / folderName;
        std::filesystem::create_directories(folderPath);
        const std::string path = folderPath + platform::kPathSeparator + kMame;
        std::filesystem::copy_file(ZFE_STAND_IN_CHILD, path);
        return path;
    }

    // Shows the dialog and does what the user would while it is open; a
    // dialog still open afterwards is closed with its close button.
    void showAndDo(const std::function<void()>& userActions) {
        QTimer::singleShot(0, &dialog, [&] {
            userActions();
            if (dialog.isVisible()) dialog.close();
        });
        dialog.showModal();
    }

    // What the user does in the dialog for most captures: "...", a name, "Crea DatFile".
    void chooseNameAndCreate(const QString& name) {
        control<QToolButton>(dialog, "cpvButton1")->click();
        control<QLineEdit>(dialog, "txtDatFile")->setText(name);
        control<QToolButton>(dialog, "cmdCreatDat")->click();
    }

    testsupport::TempFolder folder;
    std::string library = folder / "datfiles";
    // The dialog moves the current directory on purpose.
    testsupport::CurrentDirectoryGuard restoreDirectory;
    ScriptedUi ui;
    FrmCreate dialog{ui, folder.path(), nullptr};
};

TEST_F(FrmCreateTest, WindowIsTheFixedDialogWithItsControls) {
    EXPECT_EQ(dialog.windowTitle(), "Crea un File Dat da un Eseguibile di MAME");
    EXPECT_EQ(dialog.size(), QSize(384, 169));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(control<QToolButton>(dialog, "cmdCreatDat")->text(), "Crea DatFile");
    EXPECT_FALSE(control<QToolButton>(dialog, "cmdCreatDat")->icon().isNull());
    EXPECT_TRUE(control<QToolButton>(dialog, "cmdCreatDat")->autoRaise());
    EXPECT_EQ(control<QToolButton>(dialog, "cpvButton1")->text(), "...");
    EXPECT_EQ(control<QLineEdit>(dialog, "txtDatFile")->geometry(), QRect(80, 48, 273, 19));
    EXPECT_EQ(control<QLabel>(dialog, "lblReceivedBytes")->geometry(), QRect(80, 80, 273, 17));
    EXPECT_EQ(control<QLabel>(dialog, "lblReceivedBytes")->textFormat(), Qt::PlainText);
    EXPECT_EQ(control<QLabel>(dialog, "lblExe")->textFormat(), Qt::PlainText);
}

TEST_F(FrmCreateTest, MissingInputGivesTheWarningAndKeepsTheDialogOpen) {
    ui.acknowledgeMessage();               // name but no executable
    ui.cancelOpen().acknowledgeMessage();  // Open cancelled before any choice
    ui.chooseOpen(emulator("emu", "out:41")).acknowledgeMessage();  // executable but no name
    showAndDo([&] {
        control<QLineEdit>(dialog, "txtDatFile")->setText("mame078");
        control<QToolButton>(dialog, "cmdCreatDat")->click();
        EXPECT_TRUE(dialog.isVisible());
        control<QToolButton>(dialog, "cpvButton1")->click();
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text(), "");
        control<QToolButton>(dialog, "cmdCreatDat")->click();
        control<QToolButton>(dialog, "cpvButton1")->click();
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text().toStdString(), kMame);
        control<QLineEdit>(dialog, "txtDatFile")->clear();
        control<QToolButton>(dialog, "cmdCreatDat")->click();
        EXPECT_TRUE(dialog.isVisible());
    });
    ASSERT_EQ(ui.messages().size(), 3u);
    for (const core::Message& message : ui.messages()) {
        EXPECT_EQ(message.title, "Attenzione...");
        EXPECT_EQ(message.icon, core::MessageIcon::Warning);
        EXPECT_EQ(message.text, kMissingInput);
    }
    EXPECT_TRUE(namesIn(library).empty());
}

TEST_F(FrmCreateTest, NameWithASeparatorIsWarnedAndNothingRuns) {
    ui.chooseOpen(emulator("emu", "out:41")).acknowledgeMessage();
    showAndDo([&] {
        chooseNameAndCreate("../escape");
        EXPECT_TRUE(dialog.isVisible());
    });
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].title, "Attenzione...");
    EXPECT_TRUE(namesIn(library).empty());
    EXPECT_TRUE(namesIn(folder.path()) == (std::set<std::string>{"datfiles", "emu"}));
}

TEST_F(FrmCreateTest, EnterStoresTodaysMamesListXmlFromThePickedPathWithABlank) {
    const std::string mame = testsupport::installEmulator(folder / "Emu Dir", "mame");
    testsupport::installEmulator(folder.path(), "Emu");  // what a cut at the blank would run
    ui.chooseOpen(mame).acknowledgeMessage();
    showAndDo([&] {
        control<QToolButton>(dialog, "cpvButton1")->click();
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text().toStdString(), kMame);
        auto* name = control<QLineEdit>(dialog, "txtDatFile");
        name->setText("mame0251");
        name->setFocus();
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(name, &enter);
        EXPECT_FALSE(dialog.isVisible()) << "the dialog closes after the capture";
    });
    EXPECT_EQ(dialog.exePath(), mame);
    ASSERT_EQ(ui.dialogs().size(), 1u);
    ASSERT_TRUE(ui.dialogs()[0].request.filter.has_value());
    EXPECT_EQ(ui.dialogs()[0].request.filter->description,
              std::string("Eseguibile (") + platform::kExecutablePattern + ")");
    EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(folder / "Emu Dir"));
    EXPECT_EQ(readFile(library + "/mame0251.dat"), testsupport::listXmlOf(mame));
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Information) << "the dat and its size";
}

TEST_F(FrmCreateTest, EmulatorFailingBothWaysIsReportedAndTheDialogStaysAsTyped) {
    testsupport::writeFile(library + "/mame078.dat", "earlier");
    ui.chooseOpen(testsupport::installEmulator(folder / "emu", "broken-mame"))
        .answerMessage(core::MessageAnswer::Yes)
        .acknowledgeMessage();
    showAndDo([&] {
        chooseNameAndCreate("mame078");
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text().toStdString(),
                  std::string("broken-mame") + platform::kExecutableSuffix);
        EXPECT_EQ(control<QLineEdit>(dialog, "txtDatFile")->text(), "mame078");
    });
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_NE(ui.messages()[1].text.find("Codice di uscita: 3"), std::string::npos);
    EXPECT_EQ(readFile(library + "/mame078.dat"), "earlier");
    EXPECT_TRUE(namesIn(library) == std::set<std::string>{"mame078.dat"});
}

TEST_F(FrmCreateTest, ExistingDatIsKeptWhenTheQuestionIsAnsweredNo) {
    testsupport::writeFile(library + "/mame078.dat", "earlier");
    ui.chooseOpen(emulator("emu", "out:" + kDatHex)).answerMessage(core::MessageAnswer::No);
    showAndDo([&] {
        chooseNameAndCreate("mame078");
        EXPECT_TRUE(dialog.isVisible());
    });
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "Il file mame078.dat esiste già. Sostituirlo?");
    EXPECT_EQ(readFile(library + "/mame078.dat"), "earlier");
}

TEST_F(FrmCreateTest, NameEndingInDatGetsAnotherDat) {
    ui.chooseOpen(emulator("emu", "out:" + kDatHex)).acknowledgeMessage();
    showAndDo([&] {
        chooseNameAndCreate("mame078.dat");
    });
    EXPECT_TRUE(namesIn(library) == std::set<std::string>{"mame078.dat.dat"});
    EXPECT_EQ(readFile(library + "/mame078.dat.dat"), "game (\n)\n");
}

TEST_F(FrmCreateTest, CloseButtonMakesNoFile) {
    ui.chooseOpen(emulator("emu", "out:41"));
    showAndDo([&] {
        control<QToolButton>(dialog, "cpvButton1")->click();
        control<QLineEdit>(dialog, "txtDatFile")->setText("mame078");
        dialog.close();
    });
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(namesIn(library).empty());
}

TEST_F(FrmCreateTest, EachShowingStartsEmptyAndForgetsTheLastChoice) {
    // "<mame>", bytes, "</mame>": a whole XML dat, whatever the bytes.
    const std::string mame =
        emulator("emu", "out:3c6d616d653e pattern:300000:65536 out:3c2f6d616d653e");
    ui.chooseOpen(mame).acknowledgeMessage().cancelOpen();
    showAndDo([&] {
        chooseNameAndCreate("big");
    });
    // The count ends at what was stored, not at the last 256,000 bytes.
    EXPECT_EQ(control<QLabel>(dialog, "lblReceivedBytes")->text(), "300.013");
    EXPECT_EQ(readFile(library + "/big.dat").size(), 300013u);

    showAndDo([&] {
        // The one field to type in takes the keyboard, its caret plain to see.
        EXPECT_EQ(dialog.focusWidget(), control<QLineEdit>(dialog, "txtDatFile"));
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text(), "");
        EXPECT_EQ(control<QLineEdit>(dialog, "txtDatFile")->text(), "");
        EXPECT_EQ(control<QLabel>(dialog, "lblReceivedBytes")->text(), "");
        control<QToolButton>(dialog, "cpvButton1")->click();  // cancelled: nothing of the last showing comes back
        EXPECT_EQ(control<QLabel>(dialog, "lblExe")->text(), "");
    });
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[1].request.initialFileName, "");
}

// Closes the dialog in `how` once the forking emulator has started its
// grandchild; true when both are gone afterwards.
class FrmCreateStopTest : public FrmCreateTest {
protected:
    void captureAndStop(const std::function<void()>& how) {
        testsupport::writeFile(library + "/mame078.dat", "earlier");
        const std::string emulator = testsupport::installEmulator(folder / "emu", "forking-mame");
        ui.chooseOpen(emulator).answerMessage(core::MessageAnswer::Yes);
        showAndDo([&] {
            control<QToolButton>(dialog, "cpvButton1")->click();
            control<QLineEdit>(dialog, "txtDatFile")->setText("mame078");
            auto* poll = new QTimer(&dialog);
            QObject::connect(poll, &QTimer::timeout, &dialog, [&, poll] {
                if (!(pids = testsupport::forkedProcessIds(emulator))) return;
                poll->stop();
                buttonsWereDisabled = !control<QToolButton>(dialog, "cpvButton1")->isEnabled() &&
                                      !control<QToolButton>(dialog, "cmdCreatDat")->isEnabled();
                cursorWasBusy = QApplication::overrideCursor() != nullptr &&
                                QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                how();
            });
            poll->start(20);
            control<QToolButton>(dialog, "cmdCreatDat")->click();  // returns once the capture has stopped
            delete poll;
        });
        EXPECT_TRUE(buttonsWereDisabled);
        EXPECT_TRUE(cursorWasBusy);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(control<QToolButton>(dialog, "cmdCreatDat")->isEnabled());
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(readFile(library + "/mame078.dat"), "earlier");
        EXPECT_TRUE(namesIn(library) == std::set<std::string>{"mame078.dat"}) << "temporary file left";
        ASSERT_TRUE(pids.has_value());
        EXPECT_TRUE(testsupport::processGoneWithin(pids->first, std::chrono::milliseconds(0)));
        EXPECT_TRUE(testsupport::processEndedWithin(pids->second, std::chrono::seconds(10)));
    }

    std::optional<std::pair<long long, long long>> pids;
    bool buttonsWereDisabled = false;
    bool cursorWasBusy = false;
};

TEST_F(FrmCreateStopTest, EscapeDuringACaptureEndsTheEmulatorsProcessesAndKeepsTheEarlierDat) {
    captureAndStop([&] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &escape);
    });
}

// What a SIGTERM or SIGINT to the program does (main.cpp).
TEST_F(FrmCreateStopTest, ClosingEveryWindowDuringACaptureStopsItAsWell) {
    captureAndStop([] { QApplication::closeAllWindows(); });
}

TEST_F(FrmCreateTest, UnwritableOutputIsReportedAndTheDialogStaysOpen) {
    std::filesystem::remove(library);
    ui.chooseOpen(emulator("emu", "out:41")).acknowledgeMessage();
    bool openAfterFailure = false;
    showAndDo([&] {
        chooseNameAndCreate("mame078");
        openAfterFailure = dialog.isVisible();
    });
    EXPECT_TRUE(openAfterFailure);
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].icon, core::MessageIcon::Critical);
    EXPECT_NE(ui.messages()[0].text.find(library + platform::kPathSeparator + "mame078.dat"),
              std::string::npos);
}

TEST_F(FrmCreateTest, ProgramThatCannotStartIsReportedAndTheDialogCloses) {
    std::filesystem::create_directory(folder / "emu");
    ui.chooseOpen(folder / "emu/mame").acknowledgeMessage();  // deleted after it was chosen
    showAndDo([&] {
        chooseNameAndCreate("mame078");
        EXPECT_FALSE(dialog.isVisible());
    });
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages()[0].text, "CreateProcess failed. Error: 2");
    EXPECT_TRUE(namesIn(library).empty());
}

}  // namespace
}  // namespace zfe::gui
