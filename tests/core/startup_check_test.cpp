#include "core/startup_check.h"

#include <gtest/gtest.h>

#include <set>

#include "core/folders.h"

namespace zfe::core {
namespace {

std::function<bool(const std::string&)> missing(std::set<std::string> absent) {
    return [absent](const std::string& path) { return absent.count(path) == 0; };
}

TEST(StartupCheck, NothingToSayWhenTheFoldersExist) {
    EXPECT_FALSE(missingFoldersWarning("/prog", "/prog", missing({})));
    EXPECT_FALSE(missingFoldersWarning("/prog", "/home/u/ZandorelFE", missing({})));
}

TEST(StartupCheck, NamesEachMissingFolderBesideTheProgramByItsFullPath) {
    const std::string library = datFolder("/prog");
    const std::string tool = toolFolder("/prog");

    const auto both = missingFoldersWarning("/prog", "/prog", missing({library, tool}));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->title, "Attenzione...");
    EXPECT_EQ(both->icon, MessageIcon::Warning);
    EXPECT_EQ(both->buttons, MessageButtons::Ok);
    EXPECT_EQ(both->text,
              "Mancano due cartelle accanto al programma:\r\n" + library +
                  "  (libreria dei dat)\r\n" + tool +
                  "  (programma di confronto)\r\n\r\nLe cartelle non vengono create. Le liste "
                  "dei dat restano vuote. Senza il programma di confronto non si può creare un "
                  "DiffDat.");

    const auto toolOnly = missingFoldersWarning("/prog", "/prog", missing({tool}));
    ASSERT_TRUE(toolOnly);
    EXPECT_NE(toolOnly->text.find(tool), std::string::npos);
    EXPECT_EQ(toolOnly->text.find(library), std::string::npos);
}

// With the data in the user's folder, the tool's own folder stays beside the
// program while the library and the work folder are the user's.
TEST(StartupCheck, WithTheDataApartEachFolderInUseIsChecked) {
    const std::string data = "/home/u/ZandorelFE";
    const std::string library = datFolder(data);
    const std::string work = workFolder(data);
    const std::string tool = toolFolder("/prog");

    const auto all = missingFoldersWarning("/prog", data, missing({library, work, tool}));
    ASSERT_TRUE(all);
    EXPECT_EQ(all->text, "Mancano tre cartelle:\r\n" + library + "  (libreria dei dat)\r\n" +
                             tool + "  (programma di confronto)\r\n" + work +
                             "  (cartella di lavoro del programma di confronto)\r\n\r\n"
                             "Le liste dei dat restano vuote. Senza il programma di confronto "
                             "non si può creare un DiffDat.");

    const auto workOnly = missingFoldersWarning("/prog", data, missing({work}));
    ASSERT_TRUE(workOnly);
    EXPECT_EQ(workOnly->text.rfind("Manca una cartella:\r\n" + work, 0), 0u) << workOnly->text;
    EXPECT_EQ(workOnly->text.find("datfiles"), std::string::npos);
}

}  // namespace
}  // namespace zfe::core
