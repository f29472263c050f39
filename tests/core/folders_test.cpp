#include "core/folders.h"

#include <gtest/gtest.h>

namespace zfe::core {
namespace {

TEST(Folders, OrdinaryApplicationPathGetsOneSeparator) {
    EXPECT_EQ(appFolder("/opt/zfe", '/'), "/opt/zfe/");
    EXPECT_EQ(datFolder("/opt/zfe", '/'), "/opt/zfe/datfiles/");
    EXPECT_EQ(toolFolder("/opt/zfe", '/'), "/opt/zfe/zdrl/");
    EXPECT_EQ(workFolder("/opt/zfe", '/'), "/opt/zfe/zdrl/");
    EXPECT_EQ(datListFolder("/opt/zfe", '/'), "/opt/zfe/datfiles/");
    EXPECT_EQ(toolOutputPath("/opt/zfe", "zandorel.dat", '/'), "/opt/zfe/zdrl/zandorel.dat");
}

TEST(Folders, RootKeepsItsSingleSeparatorWhileTheListFolderDoublesIt) {
    EXPECT_EQ(appFolder("/", '/'), "/");
    EXPECT_EQ(datFolder("/", '/'), "/datfiles/");
    EXPECT_EQ(toolFolder("/", '/'), "/zdrl/");
    EXPECT_EQ(datListFolder("/", '/'), "//datfiles/");
    EXPECT_EQ(toolOutputPath("/", "zandorel.log", '/'), "//zdrl/zandorel.log");
}

TEST(Folders, WindowsStylePaths) {
    EXPECT_EQ(appFolder("C:\\Prog", '\\'), "C:\\Prog\\");
    EXPECT_EQ(datFolder("C:\\Prog", '\\'), "C:\\Prog\\datfiles\\");
    EXPECT_EQ(toolFolder("C:\\Prog", '\\'), "C:\\Prog\\zdrl\\");
    EXPECT_EQ(datListFolder("C:\\Prog", '\\'), "C:\\Prog\\datfiles\\");

    EXPECT_EQ(appFolder("C:\\", '\\'), "C:\\");
    EXPECT_EQ(datFolder("C:\\", '\\'), "C:\\datfiles\\");
    EXPECT_EQ(datListFolder("C:\\", '\\'), "C:\\\\datfiles\\");
}

TEST(Folders, OnlyTheLastCharacterIsCompared) {
    // A path ending in the other platform's separator still gets one appended.
    EXPECT_EQ(appFolder("C:\\Prog/", '\\'), "C:\\Prog/\\");
    EXPECT_EQ(appFolder("", '/'), "/");
}

TEST(Folders, PlatformSeparatorIsTheDefault) {
    const std::string expected =
        std::string("base") + platform::kPathSeparator + "datfiles" + platform::kPathSeparator;
    EXPECT_EQ(datFolder("base"), expected);
}

}  // namespace
}  // namespace zfe::core
