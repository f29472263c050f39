#include "diff/diff_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diff/command_runner.h"
#include "diff/diff_request.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"
#include "tools/datgen/datgen.h"

namespace zfe::diff {
namespace {

std::vector<std::string> namesOf(const std::vector<ReportSet>& sets) {
    std::vector<std::string> names;
    for (const ReportSet& set : sets) names.push_back(set.name);
    std::sort(names.begin(), names.end());
    return names;
}

// `text` with its first `from` replaced by `to`.
std::string replacedIn(std::string text, std::string_view from, std::string_view to) {
    text.replace(text.find(from), from.size(), to);
    return text;
}

constexpr std::string_view kDatWritten = "zandorel.dat holds 4 games";
constexpr std::string_view kNoDat = "no diff dat written, as it would hold no game";

const char* const kReport =
    "zandorel 1.0.0\r\n"
    "Old: old.dat (XML, 3 games, 3 sets)\r\n"
    "Duplicate: new.dat:9: game b left out, the first of that name is at line 2\r\n"
    "\r\n"
    "Added (2)\r\n"
    "  \"new \\\"game\\\"\\x01\\u202e\"\r\n"
    "  z\r\n"
    "\r\n"
    "Removed (0)\r\n"
    "\r\n"
    "Renamed (1)\r\n"
    "  \"old one\" -> new\r\n"
    "\r\n"
    "Changed (1)\r\n"
    "  pacman\r\n"
    "    added rom pm.6f (size 4096, crc 12345678)\r\n"
    "    removed rom \"a b\"\r\n"
    "    changed rom c (size 2, crc 0000000a), was size 1, md5 0123\r\n"
    "    renamed disk d (sha1 \"x y\") -> e\r\n"
    "\r\n"
    "Summary: 2 added, 0 removed, 1 renamed, 1 changed, 7 unchanged; zandorel.dat holds 4 games\r\n";

TEST(DiffReport, ReadsEverySectionWithQuotedNamesAndEntryDetails) {
    const auto report = readDiffReport(kReport);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->header.size(), 3u);
    EXPECT_EQ(namesOf(report->added),
              (std::vector<std::string>{"new \"game\"\x01\xe2\x80\xae", "z"}));
    EXPECT_TRUE(report->removed.empty());
    ASSERT_EQ(report->renamed.size(), 1u);
    EXPECT_EQ(report->renamed[0].name, "old one");
    EXPECT_EQ(report->renamed[0].newName, "new");
    ASSERT_EQ(report->changed.size(), 1u);
    EXPECT_EQ(report->changed[0].details,
              (std::vector<std::string>{"added rom pm.6f (size 4096, crc 12345678)", "removed rom \"a b\"",
                                        "changed rom c (size 2, crc 0000000a), was size 1, md5 0123",
                                        "renamed disk d (sha1 \"x y\") -> e"}));
    EXPECT_EQ(report->counts.unchanged, 7u);
    EXPECT_TRUE(report->diffDatWritten);

    const auto withoutDat = readDiffReport(replacedIn(kReport, kDatWritten, kNoDat));
    ASSERT_TRUE(withoutDat.has_value());
    EXPECT_FALSE(withoutDat->diffDatWritten);
}

// A set's description, year and manufacturer, and the status changes with the
// summary's count of them.
const char* const kReportWithFields =
    "Added (2)\n"
    "  \"new \\\"game\\\"\"  \"Quoted \\\"Game\\\" \\u202e\"  198?  \"Namco (Atari license)\"\n"
    "  z\n"
    "\n"
    "Removed (1)\n"
    "  old  \"\"  1981  \"\"\n"
    "\n"
    "Renamed (1)\n"
    "  \"old one\" -> new  \"New One\"  1990  Konami\n"
    "\n"
    "Changed (1)\n"
    "  pacman  Pac-Man  1980  Namco\n"
    "    removed rom \"a b\"\n"
    "\n"
    "Status changed (3)\n"
    "  pacman  imperfect -> good  Pac-Man  1980  Namco\n"
    "  dkong  good -> preliminary\n"
    "  \"a b\"  good -> \"very bad\"  \"\u014ckami\"  2006  Capcom\n"
    "\n"
    "Summary: 2 added, 1 removed, 1 renamed, 1 changed, 7 unchanged; zandorel.dat holds 4 games; "
    "3 status changed (1 better, 1 worse)\n";

// Each set of the sections as one line, its fields apart by '|'.
std::vector<std::string> fieldsOf(const DiffReport& report) {
    std::vector<std::string> lines;
    for (const auto* sets : {&report.added, &report.removed, &report.renamed, &report.changed,
                             &report.statusChanged}) {
        for (const ReportSet& set : *sets) {
            lines.push_back(set.name + "|" + set.newName + "|" + set.description + "|" + set.year +
                            "|" + set.manufacturer + "|" + set.oldStatus + "|" + set.newStatus);
        }
    }
    return lines;
}

TEST(DiffReport, ReadsTheSetsFieldsAndTheStatusChanges) {
    const auto report = readDiffReport(kReportWithFields);
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(fieldsOf(*report),
              (std::vector<std::string>{
                  "new \"game\"||Quoted \"Game\" \xe2\x80\xae|198?|Namco (Atari license)||",
                  "z||||||",
                  "old|||1981|||",
                  "old one|new|New One|1990|Konami||",
                  "pacman||Pac-Man|1980|Namco||",
                  "pacman||Pac-Man|1980|Namco|imperfect|good",
                  "dkong|||||good|preliminary",
                  "a b||\xc5\x8ckami|2006|Capcom|good|very bad",
              }));
    EXPECT_EQ(report->changed.at(0).details.size(), 1u);
    EXPECT_EQ(report->counts.statusChanged, 3u);
    EXPECT_TRUE(report->diffDatWritten);

    const auto withoutDat = readDiffReport(replacedIn(kReportWithFields, kDatWritten, kNoDat));
    ASSERT_TRUE(withoutDat.has_value());
    EXPECT_FALSE(withoutDat->diffDatWritten);
    EXPECT_EQ(withoutDat->counts.statusChanged, 3u);
}

// Anything but our own form is left to be shown as text.
TEST(DiffReport, RefusesWhatDoesNotFollowTheForm) {
    const std::string whole = kReport;
    const auto changed = [&](std::string_view from, std::string_view to) {
        return replacedIn(whole, from, to);
    };
    const std::vector<std::string> damaged = {
        "",
        "some other tool's output\n",
        changed("Added (2)", "Added (3)"),
        changed("2 added,", "5 added,"),
        changed("Summary:", "Total:"),
        changed("\"old one\" -> new", "\"old one -> new"),
        changed("  z\r\n", "z\r\n"),
        changed("Removed (0)\r\n\r\n", ""),
        whole.substr(0, whole.find("\r\nSummary")),
        whole + "trailing text\n",
        // A hash that held a line break, written bare by an older tool: the
        // second line would pass for an entry of its own.
        changed("crc 12345678)", "sha1 x\r\n    removed rom r (size 1, crc 00000001))"),
        changed("removed rom \"a b\"", "not an entry"),
        changed("md5 0123", "md5 0123)"),
    };
    for (const std::string& text : damaged) {
        EXPECT_FALSE(readDiffReport(text).has_value()) << text;
    }

    const auto changedFields = [&](std::string_view from, std::string_view to) {
        return replacedIn(kReportWithFields, from, to);
    };
    const std::vector<std::string> damagedFields = {
        changedFields("  198?  \"Namco", "  198? \"Namco"),
        changedFields("  1980  Namco\n    removed", "  1980\n    removed"),
        changedFields("  \"\"  1981", "    1981"),
        changedFields("dkong  good -> preliminary", "dkong  good preliminary"),
        changedFields("Status changed (3)", "Status changed (2)"),
        changedFields("; 3 status changed (1 better, 1 worse)", ""),
        changedFields("3 status changed (1 better, 1 worse)",
                      "2 status changed (1 better, 1 worse)"),
        changedFields("(1 better, 1 worse)", "(2 better, 2 worse)"),
    };
    for (const std::string& text : damagedFields) {
        EXPECT_FALSE(readDiffReport(text).has_value()) << text;
    }
}

// The report of our own diff tool on a generated pair of real-looking MAME
// dats, read back: its categories are what the generator changed.
TEST(DiffReport, ReadsTheToolsReportOnRealLookingDats) {
    testsupport::TempFolder folder;
    datgen::Options options;
#ifdef ZFE_TOOL_READS_XML
    options.format = datgen::Format::listxml;
#endif
    options.games = 1500;
    testsupport::writeFile(folder / "old.xml", datgen::generate(options).text);
    options.nextVersion = true;
    const datgen::Generated next = datgen::generate(options);
    testsupport::writeFile(folder / "new.xml", next.text);

    RunAndWait({ZFE_ZANDOREL_PATH, {"-N", "old.xml", "new.xml"}, folder.path()});
    const auto report = readDiffReport(testsupport::readFile(folder / "zandorel.log"));
    ASSERT_TRUE(report.has_value()) << testsupport::readFile(folder / "zandorel.log");

    const datgen::Changes& changes = next.changes;
    ASSERT_FALSE(changes.added.empty());
    EXPECT_EQ(namesOf(report->added), changes.added);
    EXPECT_EQ(namesOf(report->removed), changes.removed);
    std::vector<std::pair<std::string, std::string>> renamed;
    for (const ReportSet& set : report->renamed) renamed.emplace_back(set.name, set.newName);
    std::sort(renamed.begin(), renamed.end());
    EXPECT_EQ(renamed, changes.renamed);
    ASSERT_FALSE(report->changed.empty());
    for (const ReportSet& set : report->changed) EXPECT_FALSE(set.details.empty()) << set.name;
    EXPECT_GT(report->counts.unchanged, 0u);
    for (const ReportSet& set : report->added) EXPECT_FALSE(set.description.empty()) << set.name;

    // The status changes, the better ones first.
    const std::string ranks = "preliminary imperfect good";
    const auto better = [&](const datgen::StatusChange& change) {
        return ranks.find(change.to) > ranks.find(change.from);
    };
    std::vector<datgen::StatusChange> statuses;
    for (const ReportSet& set : report->statusChanged) {
        statuses.push_back({set.name, set.oldStatus, set.newStatus});
    }
    EXPECT_TRUE(std::is_partitioned(statuses.begin(), statuses.end(), better));
    std::sort(statuses.begin(), statuses.end());
    ASSERT_FALSE(changes.statusChanged.empty());
    EXPECT_EQ(statuses, changes.statusChanged);
    EXPECT_EQ(report->counts.statusChanged, changes.statusChanged.size());
}

TEST(DiffReport, TheSavedReportIsNamedAfterTheDiffDat) {
    EXPECT_EQ(reportPathFor("/out/diff.dat"), "/out/diff.log");
    EXPECT_EQ(reportPathFor("/out/diff"), "/out/diff.log");
    EXPECT_EQ(reportPathFor("/out.v2/diff"), "/out.v2/diff.log");
    EXPECT_EQ(reportPathFor("/out/.diff"), "/out/.diff.log");
}

}  // namespace
}  // namespace zfe::diff
