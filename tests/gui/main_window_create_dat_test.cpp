// The create-dat dialog as the main window opens it from "&Crea ...".
#include <QTimer>
#include <filesystem>
#include <functional>

#include "gui/frm_create.h"
#include "gui/main_window_fixture.h"
#include "support/child_processes.h"
#include "support/stand_in_emulator.h"
#include "gui/controls.h"

namespace zfe::gui {
namespace {

class MainWindowCreateDatTest : public MainWindowTest {
protected:
    // Presses "&Crea ..." and, while the dialog is open, does what the user
    // would; a dialog still open afterwards is closed with its close button.
    void pressCreateDatAndDo(const std::function<void(gui::FrmCreate&)>& userActions) {
        QTimer::singleShot(0, window.get(), [&] {
            auto* dialog = window->findChild<gui::FrmCreate*>(QStringLiteral("frmCreate"));
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(dialog->isVisible());
            userActions(*dialog);
            if (dialog->isVisible()) dialog->close();
        });
        control<QToolButton>(*window, "cmdCreateDat")->click();
    }
};

TEST_F(MainWindowCreateDatTest, NewDatShowsInBothListsOnceTheDialogCloses) {
    FrmMain& frm = open();
    addDat("old.dat");
    frm.refreshLists();
    const std::string mame = testsupport::installEmulator((root / "My Emus").string(), "mame");
    ui.chooseOpen(mame).acknowledgeMessage();

    pressCreateDatAndDo([&](gui::FrmCreate& dialog) {
        control<QToolButton>(dialog, "cpvButton1")->click();
        control<QLineEdit>(dialog, "txtDatFile")->setText("mame078");
        control<QToolButton>(dialog, "cmdCreatDat")->click();
        EXPECT_FALSE(dialog.isVisible());
        // The lists are read again only after the dialog has returned.
        EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"old.dat"});
    });

    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), (QStringList{"mame078.dat", "old.dat"}));
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), (QStringList{"mame078.dat", "old.dat"}));
    EXPECT_EQ(testsupport::readFile((library / "mame078.dat").string()), testsupport::listXmlOf(mame));
}

TEST_F(MainWindowCreateDatTest, WithTheDataApartTheNewDatGoesToTheUsersLibrary) {
    const std::filesystem::path installed = library;
    FrmMain& frm = openWithDataApart();
    ui.chooseOpen(ZFE_STAND_IN_CHILD).acknowledgeMessage();
    pressCreateDatAndDo([&](gui::FrmCreate& dialog) {
        control<QToolButton>(dialog, "cpvButton1")->click();
        control<QLineEdit>(dialog, "txtDatFile")->setText("mame078");
        control<QToolButton>(dialog, "cmdCreatDat")->click();
    });
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"mame078.dat"});
    EXPECT_TRUE(std::filesystem::is_regular_file(library / "mame078.dat"));
    EXPECT_TRUE(testsupport::namesIn(installed.string()).empty());
}

TEST_F(MainWindowCreateDatTest, CloseButtonMakesNoDatButTheListsAreReadAgain) {
    FrmMain& frm = open();
    pressCreateDatAndDo([&](gui::FrmCreate& dialog) {
        addDat("copied meanwhile.dat");  // another program adds a dat
        dialog.close();
    });
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"copied meanwhile.dat"});
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->fileNames(), QStringList{"copied meanwhile.dat"});
    EXPECT_EQ(testsupport::namesIn(library.string()),
              std::set<std::string>{"copied meanwhile.dat"});
}

TEST_F(MainWindowCreateDatTest, OneDialogServesEveryPressAndStartsEmptyEachTime) {
    open();
    pressCreateDatAndDo([](gui::FrmCreate& dialog) { control<QLineEdit>(dialog, "txtDatFile")->setText("half"); });
    pressCreateDatAndDo(
        [](gui::FrmCreate& dialog) { EXPECT_EQ(control<QLineEdit>(dialog, "txtDatFile")->text(), ""); });
    EXPECT_EQ(window->findChildren<gui::FrmCreate*>().size(), 1);
}

}  // namespace
}  // namespace zfe::gui
