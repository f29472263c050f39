#include "gui/frm_result.h"

#include <QCloseEvent>
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
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <optional>
#include <utility>

#include "core/failure_messages.h"
#include "core/paths.h"
#include "core/shown_text.h"
#include "diff/diff_report.h"

namespace zfe::gui {

namespace {

constexpr core::PixelSize kDefaultSize{760, 540};
constexpr core::PixelSize kMinimumSize{480, 360};

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

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

struct Category {
    const char* listName;
    const char* title;
    const std::vector<diff::ReportSet> diff::DiffReport::*sets;
};

constexpr std::array<Category, 4> kCategories = {{
    {"lstAdded", "Aggiunti", &diff::DiffReport::added},
    {"lstRemoved", "Rimossi", &diff::DiffReport::removed},
    {"lstRenamed", "Rinominati", &diff::DiffReport::renamed},
    {"lstChanged", "Modificati", &diff::DiffReport::changed},
}};

// One category's sets; a changed set holds its entry details as children, so
// that the filter finds a set by one of its entries too.
QStandardItemModel* setModel(const std::vector<diff::ReportSet>& sets, QObject* parent) {
    auto* model = new QStandardItemModel(parent);
    QStandardItem* root = model->invisibleRootItem();
    for (const diff::ReportSet& set : sets) {
        QString text = fromUtf8(core::shownName(set.name));
        if (!set.newName.empty()) text += QStringLiteral(" \u2192 ") + fromUtf8(core::shownName(set.newName));
        auto* item = new QStandardItem(text);
        item->setEditable(false);
        for (const std::string& detail : set.details) {
            auto* child = new QStandardItem(fromUtf8(core::shownName(detail)));
            child->setEditable(false);
            item->appendRow(child);
        }
        root->appendRow(item);
    }
    return model;
}

}  // namespace

FrmResult::FrmResult(diff::DiffRequestResult result, core::UserInterface& ui,
                     core::SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window), result_(std::move(result)), ui_(ui), settings_(settings) {
    setObjectName(QStringLiteral("frmResult"));
    setWindowTitle(QStringLiteral("ZandorelFE - Risultato"));
    setMinimumSize(kMinimumSize.width, kMinimumSize.height);

    const std::optional<diff::DiffReport> report = diff::readDiffReport(result_.report);
    auto* layout = new QVBoxLayout(this);

    QString summary;
    if (report) {
        const diff::ReportCounts& counts = report->counts;
        summary = QStringLiteral("Aggiunti: %1   Rimossi: %2   Rinominati: %3   Modificati: %4   Invariati: %5")
                      .arg(count(counts.added), count(counts.removed), count(counts.renamed),
                           count(counts.changed), count(counts.unchanged));
    } else if (result_.report.empty()) {
        summary = QStringLiteral("Il programma di confronto non ha scritto un rapporto.");
    } else {
        summary = QStringLiteral("Il rapporto non ha la forma attesa: è mostrato così com'è.");
    }
    layout->addWidget(plainLabel(summary, this, "lblSummary"));

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
        filter->setPlaceholderText(QStringLiteral("nome di un set o di una sua voce"));
        filter->setClearButtonEnabled(true);
        connect(filter, &QLineEdit::textChanged, this, &FrmResult::applyFilter);
        filterRow->addWidget(filter, 1);
        layout->addLayout(filterRow);

        for (std::size_t i = 0; i < kCategories.size(); ++i) {
            const Category& category = kCategories[i];
            auto* proxy = new QSortFilterProxyModel(this);
            proxy->setSourceModel(setModel((*report).*category.sets, proxy));
            proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
            proxy->setRecursiveFilteringEnabled(true);
            filters_[i] = proxy;
            auto* list = new QTreeView(this);
            list->setObjectName(QString::fromLatin1(category.listName));
            list->setHeaderHidden(true);
            list->setUniformRowHeights(true);
            list->setRootIsDecorated(category.sets == &diff::DiffReport::changed);
            list->setModel(proxy);
            tabTitles_[i] = QString::fromLatin1(category.title);
            tabIndexes_[i] = tabs_->addTab(list, QString());
        }
        applyFilter(QString());
    }
    tabs_->addTab(reportPage(), QStringLiteral("Rapporto"));
    layout->addWidget(tabs_, 1);

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(QStringLiteral("Salva rapporto..."), this);
    save->setObjectName(QStringLiteral("cmdSaveReport"));
    save->setEnabled(!result_.report.empty());
    connect(save, &QPushButton::clicked, this, &FrmResult::saveReport);
    buttons->addWidget(save);
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
    reportText_->setPlainText(fromUtf8(core::shownText(result_.report, true)));
    layout->addWidget(reportText_, 1);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this, page] {
        tabs_->setCurrentWidget(page);
        findText_->setFocus();
        findText_->selectAll();
    });
    return page;
}

void FrmResult::applyFilter(const QString& text) {
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        if (filters_[i] == nullptr) continue;
        filters_[i]->setFilterFixedString(text);
        const int total = filters_[i]->sourceModel()->rowCount();
        const int shown = filters_[i]->rowCount();
        const QString counts = text.isEmpty() ? count(static_cast<std::uint64_t>(total))
                                              : count(static_cast<std::uint64_t>(shown)) +
                                                    QStringLiteral(" di ") +
                                                    count(static_cast<std::uint64_t>(total));
        tabs_->setTabText(tabIndexes_[i], tabTitles_[i] + QStringLiteral(" (") + counts + QLatin1Char(')'));
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

void FrmResult::closeEvent(QCloseEvent* event) {
    core::saveResultSize(settings_, {width(), height()});
    QWidget::closeEvent(event);
}

}  // namespace zfe::gui
