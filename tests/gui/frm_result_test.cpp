// The result window on its own: a report of our tool's form, one that is not,
// and the buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeView>
#include <QUrl>

#include "core/shown_text.h"
#include "gui/controls.h"
#include "gui/frm_result.h"
#include "gui/qt_settings_store.h"
#include "gui/report_table_model.h"
#include "tests/support/app_folder.h"
#include "tests/support/scripted_ui.h"
#include "tests/support/temp_folder.h"

namespace zfe::gui {
namespace {

// Takes the desktop's "open this folder" instead of a file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void openUrl(const QUrl& url) { opened.push_back(url); }
};

const char* const kReport =
    "zandorel 1.0.0\n"
    "\n"
    "Added (2)\n"
    "  pacman  Pac-Man  1980  Namco\n"
    "  galaga  Galaga  1981  \"Namco (Midway license)\"\n"
    "\n"
    "Removed (1)\n"
    "  puckman\n"
    "\n"
    "Renamed (0)\n"
    "\n"
    "Changed (1)\n"
    "  mspacman  \"Ms. Pac-Man\"  1981  Midway\n"
    "    added rom boot1 (size 4096, crc 12345678)\n"
    "\n"
    "Status changed (1)\n"
    "  mspacman  imperfect -> good  \"Ms. Pac-Man\"  1981  Midway\n"
    "\n"
    "Summary: 2 added, 1 removed, 0 renamed, 1 changed, 1234 unchanged; zandorel.dat holds 3 games; "
    "1 status changed (1 better, 0 worse)\n";

class ResultWindowTest : public ::testing::Test {
protected:
    FrmResult& open(const std::string& report) {
        diff::DiffRequestResult result;
        result.outcome = diff::DiffOutcome::Delivered;
        result.destination = folder / "diff.dat";
        result.report = report;
        window = std::make_unique<FrmResult>(std::move(result), ui, settings);
        return *window;
    }
    void TearDown() override { ui.expectScriptUsedUp(); }

    testsupport::TempFolder folder;
    QtSettingsStore settings{QString::fromStdString(folder / "settings.ini")};
    testsupport::ScriptedUi ui;
    std::unique_ptr<FrmResult> window;
};

TEST_F(ResultWindowTest, ListsEachCategoryAndTheFilterNarrowsEveryList) {
    FrmResult& frm = open(kReport);
    EXPECT_EQ(frm.windowTitle(), "ZandorelFE - Risultato");
    EXPECT_EQ(control<QLabel>(frm, "lblSummary")->text(),
              "Aggiunti: 2   Rimossi: 1   Rinominati: 0   Modificati: 1   Invariati: 1.234   "
              "Stato cambiato: 1 (1 migliorati, 0 peggiorati)");
    auto* tabs = control<QTabWidget>(frm, "tabResult");
    EXPECT_EQ(tabs->tabText(0), "Aggiunti (2)");
    const QAbstractItemModel* status = control<QTreeView>(frm, "lstStatus")->model();
    EXPECT_EQ(status->index(0, 2).data().toString().toStdString(), "\u25B2 " + core::shownName("good"));
    EXPECT_EQ(status->index(0, 5).data().toString().toStdString(), core::shownName("Midway"));

    // Every column: a manufacturer, a year.
    control<QLineEdit>(frm, "txtFilter")->setText(QStringLiteral("midway"));
    EXPECT_EQ(control<QTreeView>(frm, "lstAdded")->model()->rowCount(), 1);
    EXPECT_EQ(status->rowCount(), 1);
    control<QLineEdit>(frm, "txtFilter")->setText(QStringLiteral("1980"));
    EXPECT_EQ(control<QTreeView>(frm, "lstAdded")->model()->rowCount(), 1);
    EXPECT_EQ(tabs->tabText(4), "Stato (0 di 1)");

    // "man" is in every set's name; "boot1" only in a changed set's entry.
    control<QLineEdit>(frm, "txtFilter")->setText(QStringLiteral("BOOT1"));
    EXPECT_EQ(control<QTreeView>(frm, "lstAdded")->model()->rowCount(), 0);
    EXPECT_EQ(control<QTreeView>(frm, "lstChanged")->model()->rowCount(), 1);
    EXPECT_EQ(tabs->tabText(0), "Aggiunti (0 di 2)");
    control<QLineEdit>(frm, "txtFilter")->setText(QStringLiteral("pac"));
    EXPECT_EQ(control<QTreeView>(frm, "lstAdded")->model()->rowCount(), 1);
    EXPECT_EQ(control<QTreeView>(frm, "lstRemoved")->model()->rowCount(), 0);
    EXPECT_EQ(control<QTreeView>(frm, "lstChanged")->model()->rowCount(), 1);
    tabs->setCurrentIndex(tabs->count() - 1);
    EXPECT_EQ(control<QPlainTextEdit>(frm, "txtReport")->toPlainText().toStdString(), kReport);
}

// A name that holds a right-to-left override or a line break shows as the
// name it is: escaped and isolated in the lists, escaped in the report.
TEST_F(ResultWindowTest, NamesCannotTurnTextAroundOrMakeLinesOfTheirOwn) {
    FrmResult& frm = open("Added (2)\n  gal\u202Eaga\n  \"two\\nlines\"\n\nRemoved (0)\n\nRenamed (0)\n\n"
                          "Changed (0)\n\nSummary: 2 added, 0 removed, 0 renamed, 0 changed, 0 unchanged\n");
    const QAbstractItemModel* added = control<QTreeView>(frm, "lstAdded")->model();
    EXPECT_EQ(added->index(0, 0).data().toString().toStdString(), core::shownName("gal\u202Eaga"));
    EXPECT_EQ(added->index(1, 0).data().toString().toStdString(), core::shownName("two\nlines"));
    control<QTabWidget>(frm, "tabResult")->setCurrentIndex(5);
    EXPECT_TRUE(control<QPlainTextEdit>(frm, "txtReport")->toPlainText().contains(QStringLiteral("gal\\u202eaga")));
}

TEST_F(ResultWindowTest, AReportNotOfOurFormIsShownWholeAsText) {
    const std::string other = "another tool's log\nwith two lines\n";
    FrmResult& frm = open(other);
    auto* tabs = control<QTabWidget>(frm, "tabResult");
    ASSERT_EQ(tabs->count(), 1);
    EXPECT_EQ(tabs->tabText(0), "Rapporto");
    EXPECT_EQ(control<QPlainTextEdit>(frm, "txtReport")->toPlainText().toStdString(), other);
    EXPECT_EQ(frm.findChild<QLineEdit*>(QStringLiteral("txtFilter")), nullptr);
}

// A built report, whatever form the tool writes it in.
TEST(ReportSetModelTest, ShowsEachColumnMarksTheMovesSortsAndFiltersOverEveryColumnAndDetail) {
    auto report = std::make_shared<diff::DiffReport>();
    const auto statusChange = [](const char* name, const char* description, const char* from, const char* to) {
        diff::ReportSet set;
        set.name = name;
        set.description = description;
        set.year = "1981";
        set.manufacturer = "Namco";
        set.oldStatus = from;
        set.newStatus = to;
        set.details = {std::string("added rom of ") + name};
        return set;
    };
    report->statusChanged = {statusChange("worse", "Down", "good", "imperfect"),
                             statusChange("up", "Galaxian Part X", "preliminary", "good")};
    ReportSetModel model(report, diff::ReportCategory::StatusChanged);
    ReportSetFilter table(&model);
    table.sort(2);
    ASSERT_EQ(table.columnCount(), 6);
    QStringList headers;
    for (int column = 0; column < table.columnCount(); ++column) {
        headers << table.headerData(column, Qt::Horizontal).toString();
    }
    EXPECT_EQ(headers.join(','), "Set,Stato prima,Stato dopo,Descrizione,Anno,Produttore");
    const auto cell = [&](int row, int column) { return table.index(row, column).data().toString().toStdString(); };
    EXPECT_EQ(cell(0, 0), core::shownName("up"));
    EXPECT_EQ(cell(0, 2), "\u25B2 " + core::shownName("good"));
    EXPECT_EQ(cell(1, 2), "\u25BC " + core::shownName("imperfect"));
    EXPECT_EQ(cell(0, 3), core::shownName("Galaxian Part X"));
    EXPECT_NE(table.index(0, 0).data(Qt::ForegroundRole), table.index(1, 0).data(Qt::ForegroundRole));
    EXPECT_EQ(table.rowCount(table.index(0, 0)), 1) << "a set's entry details";

    table.sort(0, Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 0), core::shownName("worse"));
    EXPECT_EQ(table.index(0, 0, table.index(0, 0)).data().toString().toStdString(),
              core::shownName("added rom of worse"));
    table.setFilterText(QStringLiteral("PART x"));
    EXPECT_EQ(table.rowCount(), 1);
    table.setFilterText(QString());

    // An open set stays open, and alone so, as the rows move under it.
    QTreeView view;
    view.setModel(&table);
    view.expand(table.index(1, 0));
    const auto openSets = [&] {
        std::string names;
        for (int row = 0; row < table.rowCount(); ++row) {
            if (view.isExpanded(table.index(row, 0))) names += cell(row, 0);
        }
        return names;
    };
    ASSERT_EQ(openSets(), core::shownName("up"));
    table.sort(0, Qt::AscendingOrder);
    table.setFilterText(QStringLiteral("x"));
    EXPECT_EQ(openSets(), core::shownName("up"));
    table.setFilterText(QString());
    EXPECT_EQ(openSets(), core::shownName("up"));
    for (const char* text : {"ROM OF", "namco", "1981", "prelim"}) {
        table.setFilterText(QString::fromUtf8(text));
        EXPECT_EQ(table.rowCount(), text == std::string("prelim") ? 1 : 2) << text;
    }
}

TEST_F(ResultWindowTest, HeadersSortTheTablesAndEscCloses) {
    FrmResult& frm = open(kReport);
    frm.show();
    auto* tabs = control<QTabWidget>(frm, "tabResult");
    EXPECT_EQ(tabs->widget(4), control<QTreeView>(frm, "lstStatus"));

    auto* added = control<QTreeView>(frm, "lstAdded");
    tabs->setCurrentWidget(added);
    const auto first = [&] { return added->model()->index(0, 0).data().toString().toStdString(); };
    EXPECT_EQ(first(), core::shownName("galaga"));
    QWidget* header = added->header()->viewport();
    const QPointF onSet(added->header()->sectionViewportPosition(0) + 5, header->height() / 2);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, onSet, header->mapToGlobal(onSet), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(header, &click);
    }
    EXPECT_EQ(first(), core::shownName("pacman")) << "a click on the sorted column turns its order";

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(control<QLineEdit>(frm, "txtFilter"), &escape);
    EXPECT_FALSE(frm.isVisible());
}

TEST_F(ResultWindowTest, OpensTheFolderSavesTheReportAndKeepsItsSize) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "openUrl");
    FrmResult& frm = open(kReport);
    control<QPushButton>(frm, "cmdOpenFolder")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_TRUE(testsupport::samePlace(catcher.opened[0].toLocalFile().toStdString(), folder.path()));

    ui.chooseSave(folder / "saved.log");
    control<QPushButton>(frm, "cmdSaveReport")->click();
    ASSERT_EQ(ui.dialogs().size(), 1u);
    EXPECT_EQ(ui.dialogs()[0].request.initialFileName, folder / "diff.log");
    EXPECT_EQ(testsupport::readFile(folder / "saved.log"), kReport);

    ui.chooseSave(folder / "saved.csv");
    control<QPushButton>(frm, "cmdExportCsv")->click();
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[1].request.initialFileName, folder / "diff.csv");
    const std::string csv = testsupport::readFile(folder / "saved.csv");
    EXPECT_EQ(csv.rfind("\xEF\xBB\xBF" "Categoria,Set,", 0), 0u);
    EXPECT_NE(csv.find("\r\nModificati,mspacman,,Ms. Pac-Man,1981,Midway,,,"
                       "\"added rom boot1 (size 4096, crc 12345678)\"\r\n"),
              std::string::npos);
    ui.chooseSave(folder / "no such folder/saved.csv").acknowledgeMessage();
    control<QPushButton>(frm, "cmdExportCsv")->click();
    EXPECT_EQ(ui.onlyCriticalMessageText().rfind("Impossibile salvare il CSV in ", 0), 0u);

    frm.resize(700, 500);
    frm.close();
    FrmResult& again = open(kReport);
    EXPECT_EQ(again.size(), QSize(700, 500));
}

}  // namespace
}  // namespace zfe::gui

#include "frm_result_test.moc"
