#include "gui/frm_main.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QCheckBox>
#include <QAbstractButton>
#include <algorithm>
#include <QGroupBox>
#include <QKeyEvent>
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <vector>

#include "gui/main_window_fixture.h"
#include "gui/controls.h"
#include "gui/pictures.h"

namespace zfe::gui {
namespace {

struct ControlRow {
    const char* name;
    const char* container;
    const char* caption;
    int left, top, width, height;  // twips
};

// The window's controls as they were designed.
const ControlRow kControls[] = {
    {"fraMain", "frmMain", " Origine : ", 120, 120, 8175, 3615},
    {"cmdCreateDat", "fraMain", "&Crea ...", 3480, 1080, 1215, 495},
    {"filOld", "fraMain", nullptr, 240, 600, 3015, 2820},
    {"filNew", "fraMain", nullptr, 4920, 600, 3015, 2820},
    {"cmdImport", "fraMain", "&Importa ...", 3480, 1680, 1215, 495},
    {"cmdDelete", "fraMain", "&Elimina", 3480, 2280, 1215, 495},
    {"Label2(1)", "fraMain", "Nuovo Dat:", 5040, 360, 2895, 255},
    {"Label2(0)", "fraMain", "Vecchio Dat:", 360, 360, 2895, 255},
    {"Frame2", "frmMain", " Destinazione : ", 120, 3840, 8175, 855},
    {"cmdBrowse", "Frame2", "&Sfoglia...", 6960, 360, 1095, 255},
    {"lblFileDest", "Frame2", "", 240, 360, 6615, 255},
    {"Frame1", "frmMain", "", 6600, 4800, 1695, 735},
    {"cmdCrea", "Frame1", "Crea DiffDat", 120, 165, 1455, 495},
    {"fraOpt", "frmMain", " Tipo di Set : ", 120, 4800, 6375, 735},
    {"chkTiny", "fraOpt", "Compatto", 5205, 240, 1110, 375},
    {"optSetType(0)", "fraOpt", "Split", 120, 315, 750, 255},
    {"optSetType(1)", "fraOpt", "Merged", 960, 315, 975, 255},
    {"optSetType(2)", "fraOpt", "Non merged", 2025, 315, 1350, 255},
    {"optSetType(3)", "fraOpt", "Full non merged", 3465, 315, 1650, 255},
};

bool sameImage(const QIcon& a, const QIcon& b) {
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

QString captionOf(const QWidget* control) {
    if (const auto* box = qobject_cast<const QGroupBox*>(control)) return box->title();
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(control)) return label->text();
    return {};
}

TEST_F(MainWindowTest, EveryControlInItsPlaceWithItsCaption) {
    FrmMain& frm = open();
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("Zandorel FE"));
    EXPECT_EQ(frm.minimumSize(), QSize(561, 379));
    EXPECT_EQ(frm.maximumSize(), QSize(561, 379));
    EXPECT_TRUE(frm.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(frm.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frm.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(frm.windowIcon().pixmap(16, 16).toImage().isNull());
    EXPECT_TRUE(sameImage(frm.windowIcon(), applicationIcon()));

    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const auto* control = frm.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(control, nullptr);
        ASSERT_NE(control->parentWidget(), nullptr);
        EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(row.container));
        EXPECT_EQ(control->geometry(),
                  QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15));
        if (row.caption != nullptr) {
            EXPECT_EQ(captionOf(control), QString::fromLatin1(row.caption));
        }
    }
    EXPECT_EQ(frm.findChild<QLabel*>(QStringLiteral("lblFileDest"))->frameShape(), QFrame::Box);
    // A path is shown as it is, never as markup.
    EXPECT_EQ(frm.findChild<QLabel*>(QStringLiteral("lblFileDest"))->textFormat(), Qt::PlainText);
}

TEST_F(MainWindowTest, CaptionsAreNotCutWithALargerFont) {
    FrmMain& frm = open();
    QFont larger = frm.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.6);
    frm.setFont(larger);
    EXPECT_GT(frm.width(), 561);
    for (const ControlRow& row : kControls) {
        auto* control = frm.findChild<QWidget*>(QString::fromLatin1(row.name));
        if (qobject_cast<QAbstractButton*>(control) == nullptr && !QString::fromLatin1(row.name).startsWith("Label2")) {
            continue;
        }
        SCOPED_TRACE(row.name);
        EXPECT_GE(control->x(), row.left / 15);
        // The caption's text fits in what the style leaves of the control.
        const QString caption = captionOf(control).remove(QLatin1Char('&'));
        EXPECT_GE(control->width(), std::min(QFontMetrics(control->font()).horizontalAdvance(caption) + 16,
                                             control->parentWidget()->width() - control->x()));
        EXPECT_GE(control->height(), QFontMetrics(control->font()).height());
    }
    EXPECT_EQ(control<QToolButton>(frm, "cmdBrowse")->geometry().top(),
              control<QLabel>(frm, "lblFileDest")->geometry().top());
}

TEST_F(MainWindowTest, ImageButtonsAreFlatWithTheirPictures) {
    FrmMain& frm = open();
    for (QToolButton* button :
         {control<QToolButton>(frm, "cmdCreateDat"), control<QToolButton>(frm, "cmdImport"), control<QToolButton>(frm, "cmdDelete"), control<QToolButton>(frm, "cmdBrowse"), control<QToolButton>(frm, "cmdCrea")}) {
        SCOPED_TRACE(button->objectName().toStdString());
        EXPECT_TRUE(button->autoRaise());
        EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_FALSE(button->icon().pixmap(16, 16).toImage().isNull());
    }
    EXPECT_TRUE(sameImage(control<QToolButton>(frm, "cmdBrowse")->icon(), imageListPicture(1)));
    EXPECT_TRUE(sameImage(control<QToolButton>(frm, "cmdCrea")->icon(), imageListPicture(4)));
    EXPECT_TRUE(sameImage(control<QToolButton>(frm, "cmdCreateDat")->icon(), imageListPicture(4)));
    EXPECT_TRUE(sameImage(control<QToolButton>(frm, "cmdImport")->icon(), imageListPicture(5)));
    EXPECT_TRUE(sameImage(control<QToolButton>(frm, "cmdDelete")->icon(), imageListPicture(6)));
    // Six distinct pictures in the list.
    for (int a = 1; a <= 6; ++a) {
        for (int b = a + 1; b <= 6; ++b) {
            EXPECT_FALSE(sameImage(imageListPicture(a), imageListPicture(b))) << a << " " << b;
        }
    }
}

// The Tab key walks the controls in the order of their tab indexes; the
// image buttons show the focus; the new list, focused at start, shows no row
// as chosen while nothing is.
TEST_F(MainWindowTest, TabFollowsTheTabIndexesAndTheFocusShows) {
    addDat("a.dat");
    addDat("b.dat");
    FrmMain& frm = open();
    control<QRadioButton>(frm, "optSetType(1)")->setChecked(true);
    frm.show();
    QApplication::setActiveWindow(&frm);
    QApplication::processEvents();
    auto* newList = control<FileListBox>(frm, "filNew");
    ASSERT_EQ(QApplication::focusWidget(), newList);
    EXPECT_FALSE(newList->currentIndex().isValid()) << "a row looks chosen";

    const auto pressTab = [] {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
    };
    std::vector<std::string> walked = {"filNew"};
    for (int i = 0; i < 10; ++i) {
        pressTab();
        walked.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    // The set-type options are one group: Tab enters it at its selected option
    // and leaves it at once; the arrow keys move within it.
    EXPECT_EQ(walked, (std::vector<std::string>{"filNew", "filOld", "cmdCreateDat", "cmdImport", "cmdBrowse",
                                                "optSetType(1)", "cmdDelete", "cmdCrea", "chkTiny", "filNew",
                                                "filOld"}));

    // Backwards too, through the group at its selected option.
    control<QToolButton>(frm, "cmdDelete")->setFocus(Qt::TabFocusReason);
    std::vector<std::string> back;
    for (int i = 0; i < 2; ++i) {
        QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QApplication::sendEvent(QApplication::focusWidget(), &backtab);
        back.push_back(QApplication::focusWidget()->objectName().toStdString());
    }
    EXPECT_EQ(back, (std::vector<std::string>{"optSetType(1)", "cmdBrowse"}));

    control<FileListBox>(frm, "filOld")->setFocus(Qt::TabFocusReason);
    auto* button = control<QToolButton>(frm, "cmdCreateDat");
    pressTab();
    ASSERT_EQ(QApplication::focusWidget(), button);
    const QImage focused = button->grab().toImage();
    pressTab();
    EXPECT_NE(button->grab().toImage(), focused) << "the focus does not show";
}

TEST_F(MainWindowTest, FirstRunOpensWithTheDefaultsWhereThePlatformPutsIt) {
    FrmMain& frm = open();
    EXPECT_TRUE(control<QRadioButton>(frm, "optSetType(0)")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(frm, "optSetType(1)")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(frm, "optSetType(2)")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(frm, "chkTiny")->isChecked());
    EXPECT_EQ(control<QLabel>(frm, "lblFileDest")->text(), QString());
    EXPECT_FALSE(frm.testAttribute(Qt::WA_Moved)) << "the window was pinned to a position";
    EXPECT_FALSE(QFile::exists(settingsPath)) << "loading wrote settings";
}

TEST_F(MainWindowTest, LoadListsTheDatsOfTheLibraryInBothListsUnselected) {
    addDat("zeta.dat");
    addDat("Alpha.DAT");
    addDat("mid.Dat");
    addDat("notes.txt");
    addDat("old.dat.bak");
    addDat("mame0228.xml");
    addDat("B.XML");
    FrmMain& frm = open();
    const QStringList expected{"Alpha.DAT", "B.XML", "mame0228.xml", "mid.Dat", "zeta.dat"};
    for (FileListBox* list : {control<FileListBox>(frm, "filOld"), control<FileListBox>(frm, "filNew")}) {
        SCOPED_TRACE(list->objectName().toStdString());
        EXPECT_EQ(list->fileNames(), expected);
        EXPECT_EQ(list->selectedIndex(), -1);
        EXPECT_EQ(list->selectedFileName(), "");
        EXPECT_EQ(list->pattern(), QStringLiteral("*.dat;*.xml"));
        EXPECT_EQ(list->folder(), library.string());
    }
    // Separate selections.
    control<FileListBox>(frm, "filOld")->setSelectedIndex(1);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->selectedIndex(), -1);
}

TEST_F(MainWindowTest, StoredPositionAndOptionsAreRestored) {
    settings->save("Position", "Left", "1440");
    settings->save("Position", "Top", "960");
    settings->save("Options", "SetType", "1");
    settings->save("Options", "chkTiny", "1");
    FrmMain& frm = open();
    EXPECT_EQ(frm.pos(), QPoint(96, 64));
    EXPECT_FALSE(control<QRadioButton>(frm, "optSetType(0)")->isChecked());
    EXPECT_TRUE(control<QRadioButton>(frm, "optSetType(1)")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(frm, "optSetType(2)")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(frm, "chkTiny")->isChecked());
}

// As a position saved at a smaller scale factor, or on a wider screen, would.
TEST_F(MainWindowTest, StoredPositionIsMovedSoThatTheWholeTitleBarIsOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    settings->save("Position", "Left", std::to_string((screen.x() + screen.width() - 100) * 15));
    settings->save("Position", "Top", std::to_string((screen.y() + 10) * 15));
    FrmMain& frm = open();
    EXPECT_LE(frm.pos().x() + frm.width(), screen.x() + screen.width());
    EXPECT_GE(frm.pos().x(), screen.x());
    EXPECT_EQ(frm.pos().y(), screen.y() + 10);
}

TEST_F(MainWindowTest, BadStoredValuesFallBackToTheDefaults) {
    settings->save("Position", "Left", "altrove");
    settings->save("Position", "Top", "99999999");
    settings->save("Options", "SetType", "5");
    settings->save("Options", "chkTiny", "sì");
    FrmMain& frm = open();
    EXPECT_FALSE(frm.testAttribute(Qt::WA_Moved));
    EXPECT_TRUE(control<QRadioButton>(frm, "optSetType(0)")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(frm, "chkTiny")->isChecked());
}

TEST_F(MainWindowTest, ClosingWritesTheFourKeysAndTheNextRunRestoresThem) {
    {
        FrmMain& frm = open();
        frm.move(96, 64);
        control<QRadioButton>(frm, "optSetType(2)")->setChecked(true);
        control<QCheckBox>(frm, "chkTiny")->setChecked(true);
        frm.show();
        closeWindow();
    }
    EXPECT_EQ(stored("Options", "SetType"), "2");
    EXPECT_EQ(stored("Options", "chkTiny"), "1");
    EXPECT_EQ(stored("Position", "Left"), "1440");
    EXPECT_EQ(stored("Position", "Top"), "960");

    FrmMain& again = open();
    EXPECT_EQ(again.pos(), QPoint(96, 64));
    EXPECT_TRUE(control<QRadioButton>(again, "optSetType(2)")->isChecked());
    EXPECT_FALSE(control<QRadioButton>(again, "optSetType(0)")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(again, "chkTiny")->isChecked());
}

TEST_F(MainWindowTest, FirstRunClosedUnchangedStillWritesEveryKey) {
    open().show();
    closeWindow();
    EXPECT_EQ(stored("Options", "SetType"), "0");
    EXPECT_EQ(stored("Options", "chkTiny"), "0");
    EXPECT_NE(stored("Position", "Left"), "<missing>");
    EXPECT_NE(stored("Position", "Top"), "<missing>");
}

// Restored, the same position is moved onto the screen (the test has one
// screen, at 0, 0) so that the whole title bar shows.
TEST_F(MainWindowTest, NegativeLeftEdgeIsStoredWithItsSignAndRestoredOnTheScreen) {
    FrmMain& frm = open();
    frm.move(-20, 64);
    frm.show();
    closeWindow();
    EXPECT_EQ(stored("Position", "Left"), "-300");
    EXPECT_EQ(stored("Position", "Top"), "960");
    EXPECT_EQ(open().pos(), QPoint(0, 64));
}

TEST_F(MainWindowTest, UnwritableSettingsAreIgnoredWithoutAMessage) {
    const std::filesystem::path blocker = root / "blocker";
    testsupport::writeFile(blocker, "x");
    QtSettingsStore unwritable(QString::fromStdString((blocker / "zfe.ini").string()));
    auto frm = std::make_unique<FrmMain>(program.string(), ui, unwritable);
    frm->show();
    EXPECT_TRUE(frm->close());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(MainWindowTest, BrowseButtonFollowsTheDestinationLabelAfterMinimizeAndRestore) {
    FrmMain& frm = open();
    frm.show();
    // The label grows, as it would to fit a long path.
    control<QLabel>(frm, "lblFileDest")->setGeometry(16, 20, 441, 30);
    frm.showMinimized();
    QApplication::processEvents();
    frm.showNormal();
    QApplication::processEvents();
    EXPECT_EQ(control<QToolButton>(frm, "cmdBrowse")->y(), control<QLabel>(frm, "lblFileDest")->y());
    EXPECT_EQ(control<QToolButton>(frm, "cmdBrowse")->height(), control<QLabel>(frm, "lblFileDest")->height());
    EXPECT_EQ(control<QToolButton>(frm, "cmdBrowse")->x(), 464);
    EXPECT_EQ(control<QToolButton>(frm, "cmdBrowse")->width(), 73);
}

TEST_F(MainWindowTest, MissingFoldersAreNamedOnceAndTheWindowOpensEmpty) {
    std::filesystem::remove_all(library);
    std::filesystem::remove_all(program / "zdrl");
    ui.acknowledgeMessage();
    FrmMain& frm = open();
    ASSERT_EQ(ui.messages().size(), 1u);
    const core::Message& warning = ui.messages().front();
    EXPECT_EQ(warning.title, "Attenzione...");
    EXPECT_EQ(warning.icon, core::MessageIcon::Warning);
    EXPECT_EQ(warning.buttons, core::MessageButtons::Ok);
    for (const char* folder : {"datfiles", "zdrl"}) {
        const std::string named = (program / folder).string() + platform::kPathSeparator;
        EXPECT_NE(warning.text.find(named), std::string::npos) << warning.text;
    }
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->count(), 0);
    EXPECT_EQ(control<FileListBox>(frm, "filNew")->count(), 0);
    EXPECT_FALSE(std::filesystem::exists(library));
    EXPECT_FALSE(std::filesystem::exists(program / "zdrl"));
}

TEST_F(MainWindowTest, MissingToolFolderAloneStillListsTheLibrary) {
    addDat("a.dat");
    std::filesystem::remove_all(program / "zdrl");
    ui.acknowledgeMessage();
    FrmMain& frm = open();
    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_EQ(ui.messages().front().text.find("datfiles"), std::string::npos);
    EXPECT_EQ(control<FileListBox>(frm, "filOld")->fileNames(), QStringList{"a.dat"});
}

}  // namespace
}  // namespace zfe::gui
