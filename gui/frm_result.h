#pragma once

#include <QWidget>
#include <array>
#include <string>

#include "core/settings.h"
#include "core/user_interface.h"
#include "diff/diff_request.h"

class QLineEdit;
class QPlainTextEdit;
class QSortFilterProxyModel;
class QTabWidget;

namespace zfe::gui {

// "ZandorelFE - Risultato": what a delivered diff found. The counts, the sets
// of each category (a changed set opens onto its entry details) narrowed by a
// filter as the user types, where the diff dat went, and the whole report,
// searchable and savable. A report that does not follow the tool's form is
// shown as text alone. Resizable; its size is kept in the settings.
class FrmResult : public QWidget {
    Q_OBJECT
public:
    // `ui` and `settings` must outlive the window.
    FrmResult(diff::DiffRequestResult result, core::UserInterface& ui, core::SettingsStore& settings,
              QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void applyFilter(const QString& text);
    void openDestinationFolder();
    void saveReport();
    void findInReport();

private:
    QWidget* reportPage();

    diff::DiffRequestResult result_;
    core::UserInterface& ui_;
    core::SettingsStore& settings_;
    QTabWidget* tabs_ = nullptr;
    QPlainTextEdit* reportText_ = nullptr;
    QLineEdit* findText_ = nullptr;
    std::array<QSortFilterProxyModel*, 4> filters_{};
    std::array<QString, 4> tabTitles_;
    std::array<int, 4> tabIndexes_{};
};

}  // namespace zfe::gui
