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
// column). The model shares the report with its window. The status
// change of a promoted set is marked by an arrow and a colour, a demoted one's
// likewise, so that neither depends on colour alone.
class ReportSetModel : public QAbstractItemModel {
    Q_OBJECT
public:
    ReportSetModel(std::shared_ptr<const diff::DiffReport> report, diff::ReportCategory category,
                   QObject* parent = nullptr);

    diff::ReportCategory category() const { return category_; }
    const diff::ReportSet& set(int row) const { return sets_[static_cast<std::size_t>(row)]; }
    diff::ReportColumn column(int section) const { return columns_[static_cast<std::size_t>(section)]; }
    // The lowercase text the filter looks through for a set (diff::filterText).
    const QString& haystack(int row) const { return haystacks_[row]; }
    // The set's place in the ascending order of the column (diff::sortRanks),
    // worked out the first time the column is asked for.
    int sortRank(int row, int section) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::shared_ptr<const diff::DiffReport> report_;
    const std::vector<diff::ReportSet>& sets_;
    diff::ReportCategory category_;
    std::span<const diff::ReportColumn> columns_;
    // Made once, so that each key typed in the filter costs a search per set
    // and nothing more.
    QStringList haystacks_;
    mutable std::vector<std::vector<int>> sortRanks_;  // by section; empty until asked for
};

// A view's sorting and filtering of a ReportSetModel: the sets whose haystack
// holds the filter's text, without regard to case, with all their details;
// sorted by diff::sortsBefore, the details staying in the report's order.
class ReportSetFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit ReportSetFilter(ReportSetModel* source, QObject* parent = nullptr);
    void setFilterText(const QString& text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    const ReportSetModel& source_;
    QString needle_;
};

}  // namespace zfe::gui
