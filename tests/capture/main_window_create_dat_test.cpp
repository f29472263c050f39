// The create-dat dialog as the main window opens it from "&Crea ...".
#include <QTimer>
#include <filesystem>
#include <functional>

#include "capture/ui/frm_create.h"
#include "tests/app/main_window_fixture.h"
#include "tests/capture/capture_test_support.h"

namespace zfe::ui {
namespace {

class MainWindowCreateDatTest : public MainWindowTest {
protected:
    // Presses "&Crea ..." and, while the dialog is open, does what the user
    // would; a dialog still open afterwards is closed with its close button.
    void pressCreateDatAndDo(const std::function<void(capture::FrmCreate&)>& userActions) {
        QTimer::singleShot(0, window.get(), [&] {
            auto* dialog = window->findChild<capture::FrmCreate*>(QStringLiteral("frmCreate"));
            ASSERT_NE(dialog, nullptr);
            ASSERT_TRUE(dialog->isVisible());
            userActions(*dialog);
            if (dialog->isVisible()) dialog->close();
        });
        window->cmdCreateDat->click();
    }
};

TEST_F(MainWindowCreateDatTest, NewDatShowsInBothListsOnceTheDialogCloses) {
    FrmMain& frm = open();
    addDat("old.dat");
    frm.refreshLists();
    const std::filesystem::path emus = root / "My Emus";
    std::filesystem::create_directory(emus);
    std::filesystem::copy_file(ZFE_STAND_IN_CHILD, emus / "mame");
    ui.chooseOpen((emus / "mame").string());

    pressCreateDatAndDo([&](capture::FrmCreate& dialog) {
        dialog.cpvButton1->click();
        dialog.txtDatFile->setText("mame078");
        dialog.cmdCreatDat->click();
        EXPECT_FALSE(dialog.isVisible());
        // The lists are read again only after the dialog has returned.
        EXPECT_EQ(frm.filOld->fileNames(), QStringList{"old.dat"});
    });

    EXPECT_EQ(frm.filOld->fileNames(), (QStringList{"mame078.dat", "old.dat"}));
    EXPECT_EQ(frm.filNew->fileNames(), (QStringList{"mame078.dat", "old.dat"}));
    EXPECT_NE(testsupport::readFile((library / "mame078.dat").string())
                  .find("My Emus/mame with 1 argument(s)"),
              std::string::npos);
}

TEST_F(MainWindowCreateDatTest, CloseButtonMakesNoDatButTheListsAreReadAgain) {
    FrmMain& frm = open();
    pressCreateDatAndDo([&](capture::FrmCreate& dialog) {
        addDat("copied meanwhile.dat");  // another program adds a dat
        dialog.close();
    });
    EXPECT_EQ(frm.filOld->fileNames(), QStringList{"copied meanwhile.dat"});
    EXPECT_EQ(frm.filNew->fileNames(), QStringList{"copied meanwhile.dat"});
    EXPECT_EQ(testsupport::namesIn(library.string()),
              std::set<std::string>{"copied meanwhile.dat"});
}

TEST_F(MainWindowCreateDatTest, OneDialogServesEveryPressAndStartsEmptyEachTime) {
    open();
    pressCreateDatAndDo([](capture::FrmCreate& dialog) { dialog.txtDatFile->setText("half"); });
    pressCreateDatAndDo(
        [](capture::FrmCreate& dialog) { EXPECT_EQ(dialog.txtDatFile->text(), ""); });
    EXPECT_EQ(window->findChildren<capture::FrmCreate*>().size(), 1);
}

}  // namespace
}  // namespace zfe::ui
