#include "diff/report_table.h"

#include <algorithm>
#include <numeric>
#include <tuple>

#include "core/shown_text.h"

namespace zfe::diff {

namespace {

using Column = ReportColumn;

constexpr std::array kPlainColumns = {Column::Set, Column::Description, Column::Year, Column::Manufacturer};
constexpr std::array kRenamedColumns = {Column::OldName, Column::NewName, Column::Description, Column::Year,
                                        Column::Manufacturer};
constexpr std::array kStatusColumns = {Column::Set,         Column::OldStatus, Column::NewStatus,
                                       Column::Description, Column::Year,      Column::Manufacturer};

char foldedAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// <0, 0, >0 as strcmp, with ASCII letters of either case alike; the bytes
// decide between texts alike so, so that the order is total.
int compareText(std::string_view left, std::string_view right) {
    const auto folded = std::lexicographical_compare_three_way(
        left.begin(), left.end(), right.begin(), right.end(),
        [](char l, char r) { return foldedAscii(l) <=> foldedAscii(r); });
    if (folded != 0) return folded < 0 ? -1 : 1;
    return left.compare(right);
}

// A cell's text with the empty ones after every filled one.
int compareCells(std::string_view left, std::string_view right) {
    if (left.empty() != right.empty()) return left.empty() ? 1 : -1;
    return compareText(left, right);
}

// 0 good, 1 imperfect, 2 preliminary, 3 any other value.
int statusRank(std::string_view status) {
    constexpr std::array<std::string_view, 3> kRanked = {"good", "imperfect", "preliminary"};
    return static_cast<int>(std::find(kRanked.begin(), kRanked.end(), status) - kRanked.begin());
}

int compareStatus(std::string_view left, std::string_view right) {
    const int leftRank = statusRank(left);
    const int rightRank = statusRank(right);
    if (leftRank != rightRank) return leftRank < rightRank ? -1 : 1;
    return compareCells(left, right);
}

int compareBy(const ReportSet& left, const ReportSet& right, Column column) {
    switch (column) {
        case Column::OldStatus:
            return compareStatus(left.oldStatus, right.oldStatus);
        case Column::NewStatus: {
            const auto leftMove = statusMove(left.oldStatus, left.newStatus);
            const auto rightMove = statusMove(right.oldStatus, right.newStatus);
            if (leftMove != rightMove) return leftMove < rightMove ? -1 : 1;
            return compareStatus(left.newStatus, right.newStatus);
        }
        default:
            return compareCells(cellOf(left, column), cellOf(right, column));
    }
}

}  // namespace

const std::vector<ReportSet>& setsOf(const DiffReport& report, ReportCategory category) {
    switch (category) {
        case ReportCategory::Added: return report.added;
        case ReportCategory::Removed: return report.removed;
        case ReportCategory::Renamed: return report.renamed;
        case ReportCategory::Changed: return report.changed;
        case ReportCategory::StatusChanged: break;
    }
    return report.statusChanged;
}

const char* categoryTitle(ReportCategory category) {
    switch (category) {
        case ReportCategory::Added: return "Aggiunti";
        case ReportCategory::Removed: return "Rimossi";
        case ReportCategory::Renamed: return "Rinominati";
        case ReportCategory::Changed: return "Modificati";
        case ReportCategory::StatusChanged: break;
    }
    return "Stato";
}

std::span<const ReportColumn> columnsOf(ReportCategory category) {
    if (category == ReportCategory::Renamed) return kRenamedColumns;
    if (category == ReportCategory::StatusChanged) return kStatusColumns;
    return kPlainColumns;
}

const char* columnTitle(ReportColumn column) {
    switch (column) {
        case Column::Set: return "Set";
        case Column::OldName: return "Vecchio nome";
        case Column::NewName: return "Nuovo nome";
        case Column::OldStatus: return "Stato prima";
        case Column::NewStatus: return "Stato dopo";
        case Column::Description: return "Descrizione";
        case Column::Year: return "Anno";
        case Column::Manufacturer: break;
    }
    return "Produttore";
}

const std::string& cellOf(const ReportSet& set, ReportColumn column) {
    switch (column) {
        case Column::Set:
        case Column::OldName: return set.name;
        case Column::NewName: return set.newName;
        case Column::OldStatus: return set.oldStatus;
        case Column::NewStatus: return set.newStatus;
        case Column::Description: return set.description;
        case Column::Year: return set.year;
        case Column::Manufacturer: break;
    }
    return set.manufacturer;
}

ReportColumn defaultSortColumn(ReportCategory category) {
    return category == ReportCategory::StatusChanged ? Column::NewStatus : columnsOf(category).front();
}

StatusMove statusMove(std::string_view oldStatus, std::string_view newStatus) {
    const int oldRank = statusRank(oldStatus);
    const int newRank = statusRank(newStatus);
    if (oldRank == 3 || newRank == 3 || oldRank == newRank) return StatusMove::Neither;
    return newRank < oldRank ? StatusMove::Better : StatusMove::Worse;
}

bool sortsBefore(const ReportSet& left, const ReportSet& right, ReportColumn column) {
    if (const int order = compareBy(left, right, column); order != 0) return order < 0;
    return std::forward_as_tuple(left.name, left.newName) < std::forward_as_tuple(right.name, right.newName);
}

std::vector<int> sortedOrder(const std::vector<ReportSet>& sets, ReportColumn column) {
    std::vector<int> order(sets.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int left, int right) {
        return sortsBefore(sets[static_cast<std::size_t>(left)], sets[static_cast<std::size_t>(right)], column);
    });
    return order;
}

std::string filterText(const ReportSet& set, ReportCategory category) {
    std::string text;
    for (const ReportColumn column : columnsOf(category)) {
        text += core::shownText(cellOf(set, column));
        text += '\n';
    }
    for (const std::string& detail : set.details) {
        text += core::shownText(detail);
        text += '\n';
    }
    return text;
}

}  // namespace zfe::diff
