#pragma once

#include <QAbstractItemModel>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <memory>
#include <vector>

#include "diff/report_table.h"

namespace zfe::gui {

// One category of a report as a table: a row a set, its columns those of
// diff::columnsOf, a changed set's entry details as its children (in the first
// column). The model shares the report with its window. It sorts itself (by
// diff::sortedOrder), so that the view's filter need never sort: a key typed
// in the filter then costs one pass over the sets. The status change of a
// promoted set is marked by an arrow and a colour, a demoted one's likewise,
// so that neither depends on colour alone.
class ReportSetModel : public QAbstractItemModel {
    Q_OBJECT
public:
    ReportSetModel(std::shared_ptr<const diff::DiffReport> report, diff::ReportCategory category,
                   QObject* parent = nullptr);

    diff::ReportColumn column(int section) const { return columns_[static_cast<std::size_t>(section)]; }
    // The lowercase text the filter looks through for the set of a row
    // (diff::filterText).
    const QString& haystack(int row) const { return haystacks_[order_[static_cast<std::size_t>(row)]]; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Column -1: the report's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    const diff::ReportSet& setAt(int row) const { return sets_[static_cast<std::size_t>(order_[static_cast<std::size_t>(row)])]; }

    std::shared_ptr<const diff::DiffReport> report_;
    const std::vector<diff::ReportSet>& sets_;
    diff::ReportCategory category_;
    std::span<const diff::ReportColumn> columns_;
    // Made once, so that each key typed in the filter costs a search per set
    // and nothing more. By the set's place in the report.
    QStringList haystacks_;
    std::vector<int> order_;  // a row's set, by its place in the report
    std::vector<int> rowOf_;  // the other way round
};

// A view's filter over a ReportSetModel: the sets whose haystack holds the
// filter's text, without regard to case, with all their details. Sorting is
// passed on to the model.
class ReportSetFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ReportSetFilter(ReportSetModel* source, QObject* parent = nullptr);
    void setFilterText(const QString& text);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    ReportSetModel& source_;
    QString needle_;
};

}  // namespace zfe::gui
