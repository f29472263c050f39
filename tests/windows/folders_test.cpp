// The application folder rules with Windows paths: drive letters, the root of
// a drive, "\" as the platform's separator.
#include "app/folders.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "app/paths.h"
#include "platform/file_system.h"
#include "support/app_folder.h"
#include "windows_test_support.h"

namespace zfe {
namespace {

TEST(WindowsFolders, SeparatorIsTheBackslash) {
    EXPECT_EQ(platform::kPathSeparator, '\\');
    EXPECT_TRUE(isPathSeparator('\\'));
    EXPECT_TRUE(isPathSeparator('/'));
}

TEST(WindowsFolders, ProgramFolderOnADrive) {
    const std::string program = "C:\\Programmi\\ZandorelFE";
    EXPECT_EQ(appFolder(program), "C:\\Programmi\\ZandorelFE\\");
    EXPECT_EQ(datFolder(program), "C:\\Programmi\\ZandorelFE\\datfiles\\");
    EXPECT_EQ(toolFolder(program), "C:\\Programmi\\ZandorelFE\\zdrl\\");
    EXPECT_EQ(datListFolder(program), "C:\\Programmi\\ZandorelFE\\datfiles\\");
    EXPECT_EQ(toolOutputPath(program, "zandorel.dat"),
              "C:\\Programmi\\ZandorelFE\\zdrl\\zandorel.dat");
}

TEST(WindowsFolders, ProgramAtTheRootOfADrive) {
    EXPECT_EQ(appFolder("C:\\"), "C:\\");
    EXPECT_EQ(datFolder("C:\\"), "C:\\datfiles\\");
    EXPECT_EQ(toolFolder("D:\\"), "D:\\zdrl\\");
    EXPECT_EQ(datListFolder("C:\\"), "C:\\\\datfiles\\");
    EXPECT_EQ(toolOutputPath("C:\\", "zandorel.log"), "C:\\\\zdrl\\zandorel.log");
}

TEST(WindowsFolders, NamesAndFoldersOfDrivePaths) {
    EXPECT_EQ(folderOf("C:\\a.dat"), "C:\\");
    EXPECT_EQ(folderOf("C:\\Emu\\mame.exe"), "C:\\Emu");
    EXPECT_EQ(folderOf("C:/Emu/mame.exe"), "C:/Emu");
    EXPECT_EQ(fileNameOf("C:\\Emu\\mame.exe"), "mame.exe");
    EXPECT_EQ(fileNameOf("C:/Emu/mame.exe"), "mame.exe");
    EXPECT_EQ(fileNameOf("C:\\"), "");
}

// At a root the lists' folder and the tool's output carry a doubled "\";
// Windows must still find the files there.
TEST(WindowsFolders, DoubledSeparatorAfterARootLikePathNamesTheSameFolder) {
    wintest::TempFolder folder;
    const std::string applicationPath = folder.path() + "\\";
    ASSERT_TRUE(CreateDirectoryA(datFolder(applicationPath).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(toolFolder(applicationPath).c_str(), nullptr));
    testsupport::writeFile(datFolder(applicationPath) + "mame.dat", "dat");
    testsupport::writeFile(toolFolder(applicationPath) + "zandorel.dat", "diff");

    const std::string listFolder = datListFolder(applicationPath);
    ASSERT_NE(listFolder.find("\\\\datfiles"), std::string::npos) << listFolder;
    EXPECT_TRUE(platform::directoryExists(listFolder));
    const auto names = platform::listFiles(listFolder);
    EXPECT_NE(std::find(names.begin(), names.end(), "mame.dat"), names.end());
    EXPECT_TRUE(platform::fileExists(toolOutputPath(applicationPath, "zandorel.dat")));
}

TEST(WindowsFolders, TheRootOfTheSystemDriveIsAFolder) {
    char windowsFolder[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windowsFolder, MAX_PATH), 2u);
    const std::string root = std::string(windowsFolder, 2) + "\\";  // "C:\\"
    EXPECT_TRUE(platform::directoryExists(appFolder(root))) << root;
    EXPECT_FALSE(platform::fileExists(root)) << root;
}

}  // namespace
}  // namespace zfe
