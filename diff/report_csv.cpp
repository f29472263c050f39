#include "diff/report_csv.h"

#include <array>
#include <string_view>

#include "core/shown_text.h"
#include "diff/report_table.h"

namespace zfe::diff {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<ReportColumn, 7> kCsvColumns = {
    ReportColumn::Set,          ReportColumn::NewName,   ReportColumn::Description, ReportColumn::Year,
    ReportColumn::Manufacturer, ReportColumn::OldStatus, ReportColumn::NewStatus};

void appendField(std::string& csv, std::string_view value) {
    const std::string shown = core::shownText(value, true);
    const bool formula = !shown.empty() && std::string_view("=+-@\t\r").find(shown.front()) != std::string_view::npos;
    const std::string field = formula ? "'" + shown : shown;
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        csv += field;
        return;
    }
    csv += '"';
    for (const char c : field) {
        if (c == '"') csv += '"';
        csv += c;
    }
    csv += '"';
}

using Row = std::array<std::string_view, kCsvColumns.size() + 2>;  // the category, the columns, the details

void appendRow(std::string& csv, const Row& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) csv += ',';
        appendField(csv, fields[i]);
    }
    csv += "\r\n";
}

}  // namespace

std::string reportCsv(const DiffReport& report) {
    std::string csv(kByteOrderMark);
    Row header{"Categoria"};
    for (std::size_t i = 0; i < kCsvColumns.size(); ++i) header[i + 1] = columnTitle(kCsvColumns[i]);
    header.back() = "Dettagli";
    appendRow(csv, header);
    for (const ReportCategory category : kReportCategories) {
        for (const ReportSet& set : setsOf(report, category)) {
            std::string details;
            for (const std::string& detail : set.details) details += (details.empty() ? "" : "\n") + detail;
            Row row{categoryTitle(category)};
            for (std::size_t i = 0; i < kCsvColumns.size(); ++i) row[i + 1] = cellOf(set, kCsvColumns[i]);
            row.back() = details;
            appendRow(csv, row);
        }
    }
    return csv;
}

}  // namespace zfe::diff
