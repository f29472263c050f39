#include "gui/file_list_box.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

#include "core/paths.h"
#include "platform/file_names.h"

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
    readFolder(selected != nullptr ? selected->text() : QString());
}

void FileListBox::readFolder(const QString& keepSelected) {
    QStringList names;
    if (!folder_.empty()) {
        // Without QDir::Hidden, hidden files stay out; links to files count as
        // files.
        const QDir dir(QString::fromStdString(folder_));
        const QList<QRegularExpression> expressions = patternExpressions(pattern_);
        for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot)) {
            const bool matches =
                std::any_of(expressions.begin(), expressions.end(),
                            [&](const QRegularExpression& e) { return e.match(name).hasMatch(); });
            if (matches) names.append(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });

    clear();
    addItems(names);
    const int keep = keepSelected.isEmpty() ? -1 : static_cast<int>(names.indexOf(keepSelected));
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
    return selected.isEmpty() ? std::string() : selected.front()->text().toStdString();
}

QStringList FileListBox::fileNames() const {
    QStringList names;
    for (int i = 0; i < count(); ++i) names.append(item(i)->text());
    return names;
}

}  // namespace zfe::gui
