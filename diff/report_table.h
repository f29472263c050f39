#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diff/diff_report.h"

namespace zfe::diff {

// A report's sets as tables, for the result window and its CSV export: which
// columns each category has, what a cell holds, the order a column sorts in and
// the text a filter looks through. Kept apart from Qt so that the rules hold
// the same wherever they are used.

enum class ReportCategory { Added, Removed, Renamed, Changed, StatusChanged };

inline constexpr std::array<ReportCategory, 5> kReportCategories = {
    ReportCategory::Added, ReportCategory::Removed, ReportCategory::Renamed, ReportCategory::Changed,
    ReportCategory::StatusChanged};

const std::vector<ReportSet>& setsOf(const DiffReport& report, ReportCategory category);
const char* categoryTitle(ReportCategory category);  // "Aggiunti", ..., "Stato"

enum class ReportColumn { Set, OldName, NewName, OldStatus, NewStatus, Description, Year, Manufacturer };

// A renamed set has its old and new name where the others have "Set"; a status
// change has its old and new status after its name.
std::span<const ReportColumn> columnsOf(ReportCategory category);
const char* columnTitle(ReportColumn column);
// The cell's value as the report gives it (not yet made safe to show).
const std::string& cellOf(const ReportSet& set, ReportColumn column);
// The column a table is sorted by until the user picks another: the name, or
// for status changes the new status, which puts the promoted sets first.
ReportColumn defaultSortColumn(ReportCategory category);

// A driver status ranks good > imperfect > preliminary; any other value
// (empty, "protection", a misspelling) is neither better nor worse.
enum class StatusMove { Better, Neither, Worse };
StatusMove statusMove(std::string_view oldStatus, std::string_view newStatus);

// The ascending order of `column`: text without regard to ASCII case, an empty
// cell after every filled one; a status by rank, best first, unranked values
// after; the new status by its move (promoted, neither, demoted), then by
// rank. Sets equal there keep the order of their names.
bool sortsBefore(const ReportSet& left, const ReportSet& right, ReportColumn column);
// The places of `sets` in that order.
std::vector<int> sortedOrder(const std::vector<ReportSet>& sets, ReportColumn column);

// What the filter looks through for one set: the shown text of each of its
// cells and of each of its entry details, one a line, so that a match never
// spans two of them.
std::string filterText(const ReportSet& set, ReportCategory category);

}  // namespace zfe::diff
