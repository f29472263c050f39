#include "capture/create_dat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/file_system.h"

namespace zfe::capture {
namespace {

TEST(CreateDatInput, MissingExecutableOrNameGivesTheTwoLineWarning) {
    for (const auto& [exe, name] :
         {std::pair{"", "mame078"}, std::pair{"mame", ""}, std::pair{"", ""}}) {
        const std::optional<core::Message> warning = checkCreateInput(exe, name);
        ASSERT_TRUE(warning.has_value()) << exe << "/" << name;
        EXPECT_EQ(warning->title, "Attenzione...");
        EXPECT_EQ(warning->icon, core::MessageIcon::Warning);
        EXPECT_EQ(warning->buttons, core::MessageButtons::Ok);
        EXPECT_EQ(warning->text,
                  "E' necessario specificare percorso e nome di un eseguibile MAME e \r\n"
                  "un nome descrittivo per il file Dat da crare.");
    }
}

TEST(CreateDatInput, BlanksAndDotsAreAName) {
    EXPECT_FALSE(checkCreateInput("mame", " ").has_value());
    EXPECT_FALSE(checkCreateInput("mame", "mame078.dat").has_value());
    EXPECT_FALSE(checkCreateInput("mame", "MAME 0.78 (più giochi)").has_value());
}

TEST(CreateDatInput, NameTheFileSystemCannotTakeIsWarnedInTheSameForm) {
    for (const std::string& name : {std::string("a/b"), std::string("/"), std::string("a\0b", 3)}) {
        const std::optional<core::Message> warning = checkCreateInput("mame", name);
        ASSERT_TRUE(warning.has_value()) << name;
        EXPECT_EQ(warning->title, "Attenzione...");
        EXPECT_EQ(warning->icon, core::MessageIcon::Warning);
        EXPECT_NE(warning->text.find("\r\n"), std::string::npos);
        EXPECT_NE(warning->text.find("non può contenere"), std::string::npos);
    }
#ifdef _WIN32
    for (const char* name : {"a\\b", "c:", "x*", "y?", "\"q\"", "<", ">", "p|q"}) {
        EXPECT_TRUE(checkCreateInput("mame.exe", name).has_value()) << name;
    }
#else
    EXPECT_FALSE(checkCreateInput("mame", "a\\b:*?<>|").has_value());
#endif
}

// A path written with "/" in the platform's own separator.
std::string native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

TEST(CreateDatPaths, OutputIsTheNameAsTypedPlusDatInTheLibrary) {
    EXPECT_EQ(datOutputPath(native("/prog"), "mame078"), native("/prog/datfiles/mame078.dat"));
    EXPECT_EQ(datOutputPath(native("/prog/"), "mame078.dat"),
              native("/prog/datfiles/mame078.dat.dat"));
    EXPECT_EQ(datOutputPath(native("/prog"), " x "), native("/prog/datfiles/ x .dat"));
}

TEST(CreateDatPaths, CommandLineIsThePathUnquotedAndListInfo) {
    EXPECT_EQ(listInfoCommandLine("/home/u/My Emus/mame"), "/home/u/My Emus/mame -listinfo");
}

TEST(CreateDatPaths, OpenFilterIsThePlatformsExecutables) {
#ifdef _WIN32
    EXPECT_EQ(executableFilter().description, "Eseguibile (*.exe)");
    EXPECT_EQ(executableFilter().pattern, "*.exe");
#else
    EXPECT_EQ(executableFilter().description, "Eseguibile (*)");
    EXPECT_EQ(executableFilter().pattern, "*");
#endif
}

}  // namespace
}  // namespace zfe::capture
