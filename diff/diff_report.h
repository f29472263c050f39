#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::diff {

// The diff tool's report, read back for the result window. The report is
// plain text for people and for grep: a header, the sections "Added",
// "Removed", "Renamed" and "Changed" (each headed by its count, one set a
// line, a changed set's entry details indented below it) and a summary line.

struct ReportSet {
    std::string name;                  // the set's name (the old one of a renamed set)
    std::string newName;               // a renamed set's new name; empty otherwise
    std::vector<std::string> details;  // a changed set's entry lines, as written
};

struct ReportCounts {
    std::uint64_t added = 0;
    std::uint64_t removed = 0;
    std::uint64_t renamed = 0;
    std::uint64_t changed = 0;
    std::uint64_t unchanged = 0;
};

struct DiffReport {
    std::vector<std::string> header;  // the lines before the first section
    std::vector<ReportSet> added;
    std::vector<ReportSet> removed;
    std::vector<ReportSet> renamed;
    std::vector<ReportSet> changed;
    ReportCounts counts;  // from the summary line
    // False when the summary says that no diff dat was written (it would have
    // held no game); an earlier file of its name is then not this run's.
    bool diffDatWritten = true;
};

// The report's parts, or nothing when the text does not follow the form
// (another tool's report, a cut or damaged file): a section missing or out of
// order, a line in a section that is not a set's or an entry's, a count that
// disagrees with its section's lines, no summary line. The caller then shows
// the text as it stands.
std::optional<DiffReport> readDiffReport(std::string_view text);

}  // namespace zfe::diff
