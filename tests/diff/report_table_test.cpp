// The rules of the result window's tables and of their CSV, apart from Qt.
#include "diff/report_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diff/report_csv.h"

namespace zfe::diff {
namespace {

ReportSet statusChange(std::string name, std::string oldStatus, std::string newStatus) {
    ReportSet set;
    set.name = std::move(name);
    set.oldStatus = std::move(oldStatus);
    set.newStatus = std::move(newStatus);
    return set;
}

std::string namesSortedBy(const std::vector<ReportSet>& sets, ReportColumn column) {
    std::string names;
    for (const int place : sortedOrder(sets, column)) names += sets[static_cast<std::size_t>(place)].name + ' ';
    return names;
}

TEST(ReportTableTest, StatusMovesOnlyBetweenTheThreeRankedStatuses) {
    EXPECT_EQ(statusMove("preliminary", "good"), StatusMove::Better);
    EXPECT_EQ(statusMove("preliminary", "imperfect"), StatusMove::Better);
    EXPECT_EQ(statusMove("good", "imperfect"), StatusMove::Worse);
    EXPECT_EQ(statusMove("imperfect", "imperfect"), StatusMove::Neither);
    EXPECT_EQ(statusMove("good", "protection"), StatusMove::Neither);
    EXPECT_EQ(statusMove("", "good"), StatusMove::Neither);
}

TEST(ReportTableTest, ColumnsSortTextWithoutCaseEmptyLastAndStatusesByRankAndMove) {
    std::vector<ReportSet> byText(4);
    const char* const cells[][3] = {{"a", "1982", "beta"}, {"b", "", "Alpha"}, {"c", "198?", ""}, {"d", "1981", "alpha"}};
    for (std::size_t i = 0; i < byText.size(); ++i) {
        byText[i].name = cells[i][0];
        byText[i].year = cells[i][1];
        byText[i].description = cells[i][2];
    }
    EXPECT_EQ(namesSortedBy(byText, ReportColumn::Year), "d a c b ");
    EXPECT_EQ(namesSortedBy(byText, ReportColumn::Description), "b d a c ");

    const std::vector<ReportSet> byStatus = {
        statusChange("worse", "good", "imperfect"),     statusChange("odd", "good", "protection"),
        statusChange("up", "imperfect", "good"),        statusChange("halfway", "preliminary", "imperfect"),
        statusChange("alsoup", "preliminary", "good"),
    };
    EXPECT_EQ(namesSortedBy(byStatus, ReportColumn::NewStatus), "alsoup up halfway odd worse ");
    EXPECT_EQ(namesSortedBy(byStatus, ReportColumn::OldStatus), "odd worse up alsoup halfway ");
}

TEST(ReportTableTest, TheFilterSeesEveryCellAndDetailShownAndNeverAcrossTwo) {
    ReportSet set = statusChange("pac\u202Eman", "imperfect", "good");
    set.description = "Pac-Man";
    set.year = "1980";
    set.manufacturer = "Namco";
    set.details = {"added rom boot1"};
    const std::string text = filterText(set, ReportCategory::StatusChanged);
    for (const char* shown : {"pac\\u202eman\n", "imperfect\n", "good\n", "Pac-Man\n", "1980\n", "Namco\n",
                              "added rom boot1\n"}) {
        EXPECT_NE(text.find(shown), std::string::npos) << shown;
    }
    EXPECT_EQ(filterText(set, ReportCategory::Added).find("imperfect"), std::string::npos);
}

TEST(ReportCsvTest, QuotesEscapesAndDisarmsFieldsInUtf8WithMarkAndCrlf) {
    DiffReport report;
    ReportSet added;
    added.name = "=cmd|'/c calc'!A0";
    added.description = "Pac-Man, \"Deluxe\"\xff";
    added.year = "1980";
    added.manufacturer = "-Namco\u202E";
    report.added.push_back(added);
    ReportSet renamed;
    renamed.name = "old";
    renamed.newName = "@new";
    report.renamed.push_back(renamed);
    ReportSet changed;
    changed.name = "+x";
    changed.details = {"added rom a", "removed rom b"};
    report.changed.push_back(changed);
    report.statusChanged.push_back(statusChange("up", "imperfect", "good"));
    EXPECT_EQ(reportCsv(report),
              "\xEF\xBB\xBF"
              "Categoria,Set,Nuovo nome,Descrizione,Anno,Produttore,Stato prima,Stato dopo,Dettagli\r\n"
              "Aggiunti,'=cmd|'/c calc'!A0,,\"Pac-Man, \"\"Deluxe\"\"\\xff\",1980,'-Namco\\u202e,,,\r\n"
              "Rinominati,old,'@new,,,,,,\r\n"
              "Modificati,'+x,,,,,,,\"added rom a\nremoved rom b\"\r\n"
              "Stato,up,,,,,imperfect,good,\r\n");
}

}  // namespace
}  // namespace zfe::diff
