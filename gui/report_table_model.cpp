#include "gui/report_table_model.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <algorithm>
#include <numeric>
#include <utility>

#include "core/shown_text.h"
#include "gui/form_controls.h"

namespace zfe::gui {

namespace {

// Dark enough to read on the light views of the Fusion and the Windows style.
const QColor kBetterColour(0x1a, 0x7f, 0x37);
const QColor kWorseColour(0xb3, 0x26, 0x1e);

// A child's internal id is its set's row + 1; a set's is 0.
constexpr quintptr kSetId = 0;

}  // namespace

ReportSetModel::ReportSetModel(std::shared_ptr<const diff::DiffReport> report, diff::ReportCategory category,
                               QObject* parent)
    : QAbstractItemModel(parent),
      report_(std::move(report)),
      sets_(diff::setsOf(*report_, category)),
      category_(category),
      columns_(diff::columnsOf(category)),
      order_(sets_.size()),
      rowOf_(sets_.size()) {
    haystacks_.reserve(static_cast<qsizetype>(sets_.size()));
    for (const diff::ReportSet& set : sets_) haystacks_.push_back(fromUtf8(diff::filterText(set, category)).toLower());
    std::iota(order_.begin(), order_.end(), 0);
    std::iota(rowOf_.begin(), rowOf_.end(), 0);
}

QModelIndex ReportSetModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, kSetId);
    // A detail names its set by the set's place in the report, which sorting
    // leaves alone.
    return createIndex(row, column, static_cast<quintptr>(order_[static_cast<std::size_t>(parent.row())]) + 1);
}

QModelIndex ReportSetModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == kSetId) return {};
    return createIndex(rowOf_[child.internalId() - 1], 0, kSetId);
}

int ReportSetModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) return static_cast<int>(sets_.size());
    if (parent.internalId() != kSetId || parent.column() != 0) return 0;
    return static_cast<int>(setAt(parent.row()).details.size());
}

int ReportSetModel::columnCount(const QModelIndex&) const { return static_cast<int>(columns_.size()); }

QVariant ReportSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (index.internalId() != kSetId) {
        if (role != Qt::DisplayRole || index.column() != 0) return {};
        const diff::ReportSet& owner = sets_[index.internalId() - 1];
        return fromUtf8(core::shownName(owner.details[static_cast<std::size_t>(index.row())]));
    }
    const diff::ReportSet& shown = setAt(index.row());
    const diff::ReportColumn column = this->column(index.column());
    const diff::StatusMove move = category_ == diff::ReportCategory::StatusChanged
                                      ? diff::statusMove(shown.oldStatus, shown.newStatus)
                                      : diff::StatusMove::Neither;
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const std::string& cell = diff::cellOf(shown, column);
            if (cell.empty()) return {};
            QString text = fromUtf8(core::shownName(cell));
            if (column == diff::ReportColumn::NewStatus && move != diff::StatusMove::Neither) {
                text.prepend(move == diff::StatusMove::Better ? QStringLiteral("\u25B2 ") : QStringLiteral("\u25BC "));
            }
            return text;
        }
        case Qt::ForegroundRole:
            if (move == diff::StatusMove::Neither) return {};
            return QBrush(move == diff::StatusMove::Better ? kBetterColour : kWorseColour);
        case Qt::FontRole:
            if (move != diff::StatusMove::Better || column != diff::ReportColumn::NewStatus) return {};
            {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
        default:
            return {};
    }
}

QVariant ReportSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount()) {
        return {};
    }
    return QString::fromUtf8(diff::columnTitle(column(section)));
}

void ReportSetModel::sort(int column, Qt::SortOrder order) {
    if (column >= columnCount()) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> setsBefore;
    setsBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        setsBefore.push_back(index.internalId() == kSetId ? order_[static_cast<std::size_t>(index.row())] : -1);
    }
    if (column < 0) {
        std::iota(order_.begin(), order_.end(), 0);
    } else {
        order_ = diff::sortedOrder(sets_, this->column(column));
        if (order == Qt::DescendingOrder) std::reverse(order_.begin(), order_.end());
    }
    for (std::size_t row = 0; row < order_.size(); ++row) rowOf_[static_cast<std::size_t>(order_[row])] = static_cast<int>(row);
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int set = setsBefore[static_cast<std::size_t>(i)];
        after.push_back(set < 0 ? before[i] : createIndex(rowOf_[static_cast<std::size_t>(set)], before[i].column(), kSetId));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

ReportSetFilter::ReportSetFilter(ReportSetModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), source_(*source) {
    setSourceModel(source);
}

void ReportSetFilter::setFilterText(const QString& text) {
    const QString needle = text.toLower();
    if (needle == needle_) return;
    needle_ = needle;
    // Mapped afresh in one pass: Qt's narrowing of a mapping row range by row
    // range costs a pass over the rows for each range, thousands on a key.
    invalidate();
}

void ReportSetFilter::sort(int column, Qt::SortOrder order) { source_.sort(column, order); }

bool ReportSetFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    // A set shown is shown with all its details.
    if (sourceParent.isValid() || needle_.isEmpty()) return true;
    return source_.haystack(sourceRow).contains(needle_);
}

}  // namespace zfe::gui
