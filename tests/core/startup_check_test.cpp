#include "core/startup_check.h"

#include <gtest/gtest.h>

#include <set>

#include "core/folders.h"

namespace zfe::core {
namespace {

TEST(StartupCheck, NothingToSayWhenBothFoldersExist) {
    EXPECT_FALSE(missingFoldersWarning("/prog", [](const std::string&) { return true; }));
}

TEST(StartupCheck, NamesEachMissingFolderByItsFullPath) {
    const std::string library = datFolder("/prog");
    const std::string tool = toolFolder("/prog");
    const auto missing = [](std::set<std::string> absent) {
        return [absent](const std::string& path) { return absent.count(path) == 0; };
    };

    const auto both = missingFoldersWarning("/prog", missing({library, tool}));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->title, "Attenzione...");
    EXPECT_EQ(both->icon, MessageIcon::Warning);
    EXPECT_EQ(both->buttons, MessageButtons::Ok);
    EXPECT_NE(both->text.find(library), std::string::npos) << both->text;
    EXPECT_NE(both->text.find(tool), std::string::npos) << both->text;

    const auto toolOnly = missingFoldersWarning("/prog", missing({tool}));
    ASSERT_TRUE(toolOnly);
    EXPECT_NE(toolOnly->text.find(tool), std::string::npos);
    EXPECT_EQ(toolOnly->text.find(library), std::string::npos);
}

}  // namespace
}  // namespace zfe::core
