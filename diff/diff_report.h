#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zfe::diff {

// The diff tool's report, read back for the result window. The report is
// plain text for people and for grep: a header, the sections "Added",
// "Removed", "Renamed", "Changed" and "Status changed" (each headed by its
// count, one set a line, a changed set's entry details indented below it) and
// a summary line. A set's line gives its name, then, when the dat gives any of
// them, its description, year and manufacturer; a report written before they
// were given has names alone, and reads as such.

struct ReportSet {
    std::string name;                  // the set's name (the old one of a renamed set)
    std::string newName;               // a renamed set's new name; empty otherwise
    std::string description;           // NEW's (OLD's for a removed set); empty when not given
    std::string year;
    std::string manufacturer;
    // Under "Status changed": the driver status in OLD and in NEW ("good",
    // "imperfect", "preliminary", or whatever the dat says); empty elsewhere.
    std::string oldStatus;
    std::string newStatus;
    std::vector<std::string> details;  // a changed set's entry lines, as written
};

struct ReportCounts {
    std::uint64_t added = 0;
    std::uint64_t removed = 0;
    std::uint64_t renamed = 0;
    std::uint64_t changed = 0;
    std::uint64_t unchanged = 0;
    std::uint64_t statusChanged = 0;  // 0 in a report that has no such section
};

struct DiffReport {
    std::vector<std::string> header;  // the lines before the first section
    std::vector<ReportSet> added;
    std::vector<ReportSet> removed;
    std::vector<ReportSet> renamed;
    std::vector<ReportSet> changed;
    std::vector<ReportSet> statusChanged;
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
