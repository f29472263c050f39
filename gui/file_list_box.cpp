#include "gui/file_list_box.h"

#include <QFocusEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "core/paths.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace zfe::gui {

namespace {

std::string withoutTrailingSeparators(std::string folder) {
    while (folder.size() > 1 && platform::isPathSeparator(folder.back()) &&
           !(folder.size() == 3 && folder[1] == ':')) {
        folder.pop_back();
    }
    return folder;
}

QList<QRegularExpression> patternExpressions(const QString& pattern) {
    QList<QRegularExpression> expressions;
    for (const QString& part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        expressions.append(
            QRegularExpression(QRegularExpression::wildcardToRegularExpression(part.trimmed()),
                               QRegularExpression::CaseInsensitiveOption));
    }
    return expressions;
}

}  // namespace

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setUniformItemSizes(true);
}

void FileListBox::setFolder(const std::string& folder) {
    folder_ = withoutTrailingSeparators(folder);
    readFolder({});
}

void FileListBox::setPattern(const QString& pattern) {
    pattern_ = pattern;
    readFolder({});
}

void FileListBox::refresh() {
    const QListWidgetItem* selected = selectedItems().isEmpty() ? nullptr : selectedItems().front();
    readFolder(selected != nullptr ? selected->data(Qt::UserRole).toByteArray() : QByteArray());
}

// An item view that gains the focus makes its first row current, and the
// current row is drawn with the focus frame, as if chosen; while nothing is
// selected no row is made current, and the arrow keys still start at the top.
void FileListBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    if (selectedItems().isEmpty() && currentIndex().isValid()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
}

// Not every style shows which list has the keyboard focus (the Windows style
// draws no frame for it, Fusion none around a list without a current row):
// the focus frame goes round the current row, or round the whole list while no
// row is current, whatever the style.
void FileListBox::paintEvent(QPaintEvent* event) {
    QListWidget::paintEvent(event);
    if (!hasFocus()) return;
    QStylePainter painter(viewport());
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
    const QModelIndex current = currentIndex();
    option.rect = current.isValid() ? visualRect(current) : viewport()->rect().adjusted(1, 1, -1, -1);
    option.backgroundColor = palette().color(current.isValid() && selectionModel()->isSelected(current)
                                                 ? QPalette::Highlight
                                                 : QPalette::Base);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

// Each entry keeps the name's own bytes beside the text shown, so that a name
// that is not valid UTF-8 (possible on Linux) is shown as well as it can be
// and still names its file.
void FileListBox::readFolder(const QByteArray& keepSelected) {
    struct Entry {
        QString shown;
        QByteArray name;
    };
    std::vector<Entry> entries;
    std::vector<std::string> names;
    if (!folder_.empty()) {
        try {
            names = platform::listFiles(folder_);
        } catch (const platform::OsError&) {
            // A folder that cannot be read shows as an empty list.
        }
    }
    const QList<QRegularExpression> expressions = patternExpressions(pattern_);
    for (const std::string& name : names) {
        if (platform::isHidden(folder_, name)) continue;
        const QString shown = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
        const bool matches =
            std::any_of(expressions.begin(), expressions.end(),
                        [&](const QRegularExpression& e) { return e.match(shown).hasMatch(); });
        if (matches) entries.push_back({shown, QByteArray(name.data(), static_cast<qsizetype>(name.size()))});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        const int folded = QString::compare(a.shown, b.shown, Qt::CaseInsensitive);
        if (folded != 0) return folded < 0;
        const int exact = QString::compare(a.shown, b.shown, Qt::CaseSensitive);
        return exact != 0 ? exact < 0 : a.name < b.name;
    });

    clear();
    int keep = -1;
    for (const Entry& entry : entries) {
        auto* item = new QListWidgetItem(entry.shown, this);
        item->setData(Qt::UserRole, entry.name);
        if (!keepSelected.isEmpty() && entry.name == keepSelected) keep = count() - 1;
    }
    setSelectedIndex(keep);
}

int FileListBox::selectedIndex() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

void FileListBox::setSelectedIndex(int index) {
    if (index < 0 || index >= count()) {
        clearSelection();
        setCurrentRow(-1);
        return;
    }
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

std::string FileListBox::selectedFileName() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty()) return {};
    const QByteArray name = selected.front()->data(Qt::UserRole).toByteArray();
    return std::string(name.constData(), static_cast<std::size_t>(name.size()));
}

QStringList FileListBox::fileNames() const {
    QStringList names;
    for (int i = 0; i < count(); ++i) names.append(item(i)->text());
    return names;
}

}  // namespace zfe::gui
