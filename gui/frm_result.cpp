#include "gui/frm_result.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QFontMetrics>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <span>
#include <utility>

#include "core/failure_messages.h"
#include "core/paths.h"
#include "core/shown_text.h"
#include "gui/form_controls.h"
#include "diff/diff_report.h"
#include "diff/report_csv.h"
#include "gui/report_table_model.h"

namespace zfe::gui {

namespace {

// Room for the tables' columns and for the six tabs' titles with their counts.
constexpr core::PixelSize kDefaultSize{900, 580};
constexpr core::PixelSize kMinimumSize{480, 360};

QString count(std::uint64_t value) {
    return QLocale(QLocale::Italian).toString(static_cast<qulonglong>(value));
}

QLabel* plainLabel(const QString& text, QWidget* parent, const char* name = nullptr) {
    auto* label = new QLabel(text, parent);
    // Set names and paths are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
    return label;
}

const std::array<const char*, diff::kReportCategories.size()> kListNames = {
    "lstAdded", "lstRemoved", "lstRenamed", "lstChanged", "lstStatus"};

// Room for a typical cell of the column, and for its title with the sort
// arrow; the description takes what is left.
int columnWidth(diff::ReportColumn column, const QFontMetrics& metrics) {
    using Column = diff::ReportColumn;
    const int characters = column == Column::Year                                       ? 6
                           : column == Column::OldStatus || column == Column::NewStatus ? 13
                           : column == Column::Manufacturer                             ? 30
                                                                                         : 14;
    const int title = metrics.horizontalAdvance(QString::fromUtf8(diff::columnTitle(column))) + 36;
    return std::max(title, metrics.averageCharWidth() * characters + 12);
}

}  // namespace

FrmResult::FrmResult(diff::DiffRequestResult result, core::UserInterface& ui,
                     core::SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), result_(std::move(result)), ui_(ui), settings_(settings) {
    setObjectName(QStringLiteral("frmResult"));
    setWindowTitle(QStringLiteral("ZandorelFE - Risultato"));
    setMinimumSize(kMinimumSize.width, kMinimumSize.height);

    if (std::optional<diff::DiffReport> read = diff::readDiffReport(result_.report)) {
        report_ = std::make_shared<const diff::DiffReport>(std::move(*read));
    }
    const diff::DiffReport* report = report_.get();
    auto* layout = new QVBoxLayout(this);

    QString summary;
    if (report) {
        const diff::ReportCounts& counts = report->counts;
        summary = QStringLiteral("Aggiunti: %1   Rimossi: %2   Rinominati: %3   Modificati: %4   Invariati: %5")
                      .arg(count(counts.added), count(counts.removed), count(counts.renamed),
                           count(counts.changed), count(counts.unchanged));
        if (!report->statusChanged.empty()) {
            const auto moved = [&](diff::StatusMove move) {
                return count(static_cast<std::uint64_t>(std::count_if(
                    report->statusChanged.begin(), report->statusChanged.end(),
                    [move](const diff::ReportSet& set) { return diff::statusMove(set.oldStatus, set.newStatus) == move; })));
            };
            summary += QStringLiteral("   Stato cambiato: %1 (%2 migliorati, %3 peggiorati)")
                           .arg(count(report->statusChanged.size()), moved(diff::StatusMove::Better),
                                moved(diff::StatusMove::Worse));
        }
    } else if (result_.report.empty()) {
        summary = QStringLiteral("Il programma di confronto non ha scritto un rapporto.");
    } else {
        summary = QStringLiteral("Il rapporto non ha la forma attesa: è mostrato così com'è.");
    }
    QLabel* summaryLabel = plainLabel(summary, this, "lblSummary");
    // The status changes make it longer than a narrow window.
    summaryLabel->setWordWrap(true);
    layout->addWidget(summaryLabel);

    auto* destinationRow = new QHBoxLayout;
    if (result_.outcome == diff::DiffOutcome::NothingToDeliver) {
        destinationRow->addWidget(plainLabel(
            QStringLiteral("Non c'è nulla da scaricare: il programma di confronto non ha scritto un "
                           "DiffDat, e la destinazione è rimasta com'era."),
            this, "lblDestination"));
    } else {
        destinationRow->addWidget(plainLabel(QStringLiteral("DiffDat creato in:"), this));
        QLabel* destination =
            plainLabel(fromUtf8(core::shownText(result_.destination)), this, "lblDestination");
        destination->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        destination->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        destinationRow->addWidget(destination, 1);
        auto* openFolder = new QPushButton(QStringLiteral("Apri cartella"), this);
        openFolder->setObjectName(QStringLiteral("cmdOpenFolder"));
        connect(openFolder, &QPushButton::clicked, this, &FrmResult::openDestinationFolder);
        destinationRow->addWidget(openFolder);
    }
    layout->addLayout(destinationRow);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("tabResult"));
    if (report) {
        auto* filterRow = new QHBoxLayout;
        filterRow->addWidget(plainLabel(QStringLiteral("Filtro:"), this));
        auto* filter = new QLineEdit(this);
        filter->setObjectName(QStringLiteral("txtFilter"));
        filter->setPlaceholderText(QStringLiteral("set, descrizione, anno, produttore, stato o voce"));
        filter->setClearButtonEnabled(true);
        connect(filter, &QLineEdit::textChanged, this, &FrmResult::applyFilter);
        filterRow->addWidget(filter, 1);
        layout->addLayout(filterRow);

        for (std::size_t i = 0; i < diff::kReportCategories.size(); ++i) {
            const diff::ReportCategory category = diff::kReportCategories[i];
            tabIndexes_[i] = tabs_->addTab(categoryTable(category, i), QString());
        }
        applyFilter(QString());
    }
    QWidget* page = reportPage();
    tabs_->addTab(page, QStringLiteral("Rapporto"));
    // A report of every set takes longer to lay out as text than the tables
    // take to open: it is laid out when first looked at.
    connect(tabs_, &QTabWidget::currentChanged, this, [this, page] {
        if (tabs_->currentWidget() == page) showReportText();
    });
    if (tabs_->currentWidget() == page) showReportText();
    layout->addWidget(tabs_, 1);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Salva rapporto..."), this);
    save->setObjectName(QStringLiteral("cmdSaveReport"));
    save->setEnabled(!result_.report.empty());
    connect(save, &QPushButton::clicked, this, &FrmResult::saveReport);
    buttons->addWidget(save);
    auto* exportCsv = new QPushButton(QStringLiteral("Esporta CSV..."), this);
    exportCsv->setObjectName(QStringLiteral("cmdExportCsv"));
    exportCsv->setEnabled(report != nullptr);
    connect(exportCsv, &QPushButton::clicked, this, &FrmResult::exportCsv);
    buttons->addWidget(exportCsv);
    buttons->addStretch(1);
    auto* closeButton = new QPushButton(QStringLiteral("Chiudi"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setDefault(true);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);

    core::PixelSize size = core::restoredResultSize(settings_, kMinimumSize).value_or(kDefaultSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize available = screen->availableGeometry().size();
        size.width = std::min(size.width, available.width());
        size.height = std::min(size.height, available.height());
    }
    resize(size.width, size.height);
}

QTreeView* FrmResult::categoryTable(diff::ReportCategory category, std::size_t slot) {
    auto* model = new ReportSetModel(report_, category, this);
    auto* proxy = new ReportSetFilter(model, this);
    filters_[slot] = proxy;
    auto* table = new QTreeView(this);
    table->setObjectName(QString::fromLatin1(kListNames[slot]));
    table->setUniformRowHeights(true);
    table->setAllColumnsShowFocus(true);
    table->setAlternatingRowColors(true);
    table->setRootIsDecorated(category == diff::ReportCategory::Changed);
    table->setModel(proxy);
    const std::span<const diff::ReportColumn> columns = diff::columnsOf(category);
    const auto sortColumn = std::find(columns.begin(), columns.end(), diff::defaultSortColumn(category));
    // Sorted once, as sorting is turned on.
    table->header()->setSortIndicator(static_cast<int>(sortColumn - columns.begin()), Qt::AscendingOrder);
    table->setSortingEnabled(true);

    QHeaderView* header = table->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    const QFontMetrics metrics(table->font());
    for (std::size_t column = 0; column < columns.size(); ++column) {
        const int section = static_cast<int>(column);
        if (columns[column] == diff::ReportColumn::Description) {
            header->setSectionResizeMode(section, QHeaderView::Stretch);
        } else {
            header->resizeSection(section, columnWidth(columns[column], metrics));
        }
    }
    // An entry detail is far wider than a set's name: it spans the row. Done
    // as a set opens, so that a large report costs nothing until then.
    connect(table, &QTreeView::expanded, table, [table](const QModelIndex& set) {
        for (int row = 0; row < table->model()->rowCount(set); ++row) table->setFirstColumnSpanned(row, set, true);
    });
    return table;
}

QWidget* FrmResult::reportPage() {
    auto* page = new QWidget(this);
    auto* layout = new QVBoxLayout(page);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(plainLabel(QStringLiteral("Trova:"), page));
    findText_ = new QLineEdit(page);
    findText_->setObjectName(QStringLiteral("txtFind"));
    connect(findText_, &QLineEdit::returnPressed, this, &FrmResult::findInReport);
    findRow->addWidget(findText_, 1);
    auto* findNext = new QPushButton(QStringLiteral("Trova successivo"), page);
    findNext->setObjectName(QStringLiteral("cmdFindNext"));
    connect(findNext, &QPushButton::clicked, this, &FrmResult::findInReport);
    findRow->addWidget(findNext);
    layout->addLayout(findRow);

    reportText_ = new QPlainTextEdit(page);
    reportText_->setObjectName(QStringLiteral("txtReport"));
    reportText_->setReadOnly(true);
    reportText_->setLineWrapMode(QPlainTextEdit::NoWrap);
    reportText_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(reportText_, 1);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this, page] {
        tabs_->setCurrentWidget(page);
        findText_->setFocus();
        findText_->selectAll();
    });
    return page;
}

void FrmResult::showReportText() {
    if (reportShown_) return;
    reportShown_ = true;
    reportText_->setPlainText(fromUtf8(core::shownText(result_.report, true)));
}

void FrmResult::applyFilter(const QString& text) {
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        if (filters_[i] == nullptr) continue;
        filters_[i]->setFilterText(text);
        const auto total = static_cast<std::uint64_t>(filters_[i]->sourceModel()->rowCount());
        const auto shown = static_cast<std::uint64_t>(filters_[i]->rowCount());
        const QString counts = text.isEmpty() ? count(total) : count(shown) + QStringLiteral(" di ") + count(total);
        tabs_->setTabText(tabIndexes_[i], QString::fromUtf8(diff::categoryTitle(diff::kReportCategories[i])) +
                                              QStringLiteral(" (") + counts + QLatin1Char(')'));
    }
}

void FrmResult::openDestinationFolder() {
    const std::string folder = core::folderOf(result_.destination);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(fromUtf8(folder)))) {
        ui_.showMessage(core::criticalMessage("Impossibile aprire la cartella " + core::inQuotes(folder) + "."));
    }
}

void FrmResult::saveReport() {
    core::FileDialogRequest request;
    request.initialFileName = diff::reportPathFor(result_.destination);
    request.filter = core::FileFilter{"Rapporto (*.log)", "*.log"};
    if (const std::optional<std::string> path = ui_.showSaveDialog(request)) {
        diff::saveReport(ui_, *path, result_.report);
    }
}

void FrmResult::exportCsv() {
    if (!report_) return;  // the button is off then
    core::FileDialogRequest request;
    request.initialFileName = diff::csvPathFor(result_.destination);
    request.filter = core::FileFilter{"CSV (*.csv)", "*.csv"};
    if (const std::optional<std::string> path = ui_.showSaveDialog(request)) {
        diff::saveWhole(ui_, *path, diff::reportCsv(*report_), "il CSV");
    }
}

void FrmResult::findInReport() {
    const QString text = findText_->text();
    if (text.isEmpty()) return;
    tabs_->setCurrentWidget(reportText_->parentWidget());
    if (!reportText_->find(text)) {
        // From the top once more, so that the search goes round.
        QTextCursor start = reportText_->textCursor();
        start.movePosition(QTextCursor::Start);
        reportText_->setTextCursor(start);
        reportText_->find(text);
    }
}

// Esc closes the window as it cancels a dialog: when the control that has the
// focus leaves the key alone.
void FrmResult::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FrmResult::closeEvent(QCloseEvent* event) {
    core::saveResultSize(settings_, {width(), height()});
    QWidget::closeEvent(event);
}

}  // namespace zfe::gui
