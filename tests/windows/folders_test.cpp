// The application folder rules with Windows paths: drive letters, the root of
// a drive, "\" as the platform's separator.
#include "core/folders.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "core/paths.h"
#include "platform/file_system.h"
#include "support/app_folder.h"
#include "windows_test_support.h"
#include "platform/file_names.h"

namespace zfe {
namespace {

TEST(WindowsFolders, SeparatorIsTheBackslash) {
    EXPECT_EQ(platform::kPathSeparator, '\\');
    EXPECT_TRUE(platform::isPathSeparator('\\'));
    EXPECT_TRUE(platform::isPathSeparator('/'));
}

TEST(WindowsFolders, ProgramFolderOnADrive) {
    const std::string program = "C:\\Programmi\\ZandorelFE";
    EXPECT_EQ(core::appFolder(program), "C:\\Programmi\\ZandorelFE\\");
    EXPECT_EQ(core::datFolder(program), "C:\\Programmi\\ZandorelFE\\datfiles\\");
    EXPECT_EQ(core::toolFolder(program), "C:\\Programmi\\ZandorelFE\\zdrl\\");
    EXPECT_EQ(core::datListFolder(program), "C:\\Programmi\\ZandorelFE\\datfiles\\");
    EXPECT_EQ(core::toolOutputPath(program, "zandorel.dat"),
              "C:\\Programmi\\ZandorelFE\\zdrl\\zandorel.dat");
}

TEST(WindowsFolders, ProgramAtTheRootOfADrive) {
    EXPECT_EQ(core::appFolder("C:\\"), "C:\\");
    EXPECT_EQ(core::datFolder("C:\\"), "C:\\datfiles\\");
    EXPECT_EQ(core::toolFolder("D:\\"), "D:\\zdrl\\");
    EXPECT_EQ(core::datListFolder("C:\\"), "C:\\\\datfiles\\");
    EXPECT_EQ(core::toolOutputPath("C:\\", "zandorel.log"), "C:\\\\zdrl\\zandorel.log");
}

TEST(WindowsFolders, NamesAndFoldersOfDrivePaths) {
    EXPECT_EQ(core::folderOf("C:\\a.dat"), "C:\\");
    EXPECT_EQ(core::folderOf("C:\\Emu\\mame.exe"), "C:\\Emu");
    EXPECT_EQ(core::folderOf("C:/Emu/mame.exe"), "C:/Emu");
    EXPECT_EQ(core::fileNameOf("C:\\Emu\\mame.exe"), "mame.exe");
    EXPECT_EQ(core::fileNameOf("C:/Emu/mame.exe"), "mame.exe");
    EXPECT_EQ(core::fileNameOf("C:\\"), "");
}

// At a root the lists' folder and the tool's output carry a doubled "\";
// Windows must still find the files there.
TEST(WindowsFolders, DoubledSeparatorAfterARootLikePathNamesTheSameFolder) {
    testsupport::TempFolder folder;
    const std::string applicationPath = folder.path() + "\\";
    ASSERT_TRUE(CreateDirectoryA(core::datFolder(applicationPath).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(core::toolFolder(applicationPath).c_str(), nullptr));
    testsupport::writeFile(core::datFolder(applicationPath) + "mame.dat", "dat");
    testsupport::writeFile(core::toolFolder(applicationPath) + "zandorel.dat", "diff");

    const std::string listFolder = core::datListFolder(applicationPath);
    ASSERT_NE(listFolder.find("\\\\datfiles"), std::string::npos) << listFolder;
    EXPECT_TRUE(platform::directoryExists(listFolder));
    const auto names = platform::listFiles(listFolder);
    EXPECT_NE(std::find(names.begin(), names.end(), "mame.dat"), names.end());
    EXPECT_TRUE(platform::fileExists(core::toolOutputPath(applicationPath, "zandorel.dat")));
}

TEST(WindowsFolders, TheRootOfTheSystemDriveIsAFolder) {
    char windowsFolder[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windowsFolder, MAX_PATH), 2u);
    const std::string root = std::string(windowsFolder, 2) + "\\";  // "C:\\"
    EXPECT_TRUE(platform::directoryExists(core::appFolder(root))) << root;
    EXPECT_FALSE(platform::fileExists(root)) << root;
}

}  // namespace
}  // namespace zfe
