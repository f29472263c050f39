#pragma once

#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "core/settings.h"
#include "core/user_interface.h"
#include "diff/diff_request.h"
#include "diff/report_table.h"

class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTreeView;

namespace zfe::gui {

class ReportSetFilter;

// "ZandorelFE - Risultato": what a delivered diff found. The counts, each
// category's sets as a sortable table (a changed set opens onto its entry
// details; a tab "Stato" for the driver status changes, the promoted first)
// narrowed by a filter over every column as the user types, where the diff dat
// went, and the whole report, searchable, savable and exportable as CSV. A
// report that does not follow the tool's form is shown as text alone.
// Resizable; its size is kept in the settings. Esc closes it.
class FrmResult : public QWidget {
    Q_OBJECT
public:
    // `ui` and `settings` must outlive the window.
    FrmResult(diff::DiffRequestResult result, core::UserInterface& ui, core::SettingsStore& settings,
              QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void applyFilter(const QString& text);
    void openDestinationFolder();
    void saveReport();
    void exportCsv();
    void findInReport();

private:
    QWidget* reportPage();
    void showReportText();
    QTreeView* categoryTable(diff::ReportCategory category, std::size_t slot);

    diff::DiffRequestResult result_;
    std::shared_ptr<const diff::DiffReport> report_;  // none when the report is not of the tool's form
    core::UserInterface& ui_;
    core::SettingsStore& settings_;
    QTabWidget* tabs_ = nullptr;
    QPlainTextEdit* reportText_ = nullptr;
    QLineEdit* findText_ = nullptr;
    bool reportShown_ = false;
    std::array<ReportSetFilter*, diff::kReportCategories.size()> filters_{};
    std::array<int, diff::kReportCategories.size()> tabIndexes_{};
};

}  // namespace zfe::gui
