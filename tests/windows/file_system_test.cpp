// The file-system service and the file test against real Windows attributes.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "diff/command_runner.h"
#include "platform/os_error.h"
#include "support/app_folder.h"
#include "windows_test_support.h"

namespace zfe {
namespace {

using testsupport::readFile;
using testsupport::writeFile;
using wintest::hasAttribute;
using wintest::pathExists;
using testsupport::TempFolder;

void addAttribute(const std::string& path, DWORD attribute) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes | attribute)) << path;
}

class WindowsFileSystem : public ::testing::Test {
protected:
    TempFolder folder;
    std::unique_ptr<platform::FileSystemService> files = platform::makeFileSystemService();
};

TEST_F(WindowsFileSystem, DeleteRefusesAReadOnlyFileUnlessForced) {
    const std::string path = folder / "locked.dat";
    writeFile(path, "keep me");
    addAttribute(path, FILE_ATTRIBUTE_READONLY);

    EXPECT_THROW(files->deleteFile(path, false), platform::OsError);
    EXPECT_EQ(readFile(path), "keep me");
    EXPECT_TRUE(hasAttribute(path, FILE_ATTRIBUTE_READONLY));

    files->deleteFile(path, true);
    EXPECT_FALSE(pathExists(path));
}

TEST_F(WindowsFileSystem, ForcedDeleteTakesHiddenAndSystemReadOnlyFiles) {
    const std::string path = folder / "zandorel.log";
    writeFile(path, "log");
    addAttribute(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    files->deleteFile(path, true);
    EXPECT_FALSE(pathExists(path));
}

TEST_F(WindowsFileSystem, DeleteOfAMissingFileFailsNamingIt) {
    try {
        files->deleteFile(folder / "gone.dat", true);
        FAIL() << "no error";
    } catch (const platform::OsError& error) {
        EXPECT_EQ(error.subject(), folder / "gone.dat");
    }
}

TEST_F(WindowsFileSystem, CopyOverAReadOnlyDestinationFailsAndKeepsIt) {
    writeFile(folder / "new.dat", "new");
    writeFile(folder / "dest.dat", "old");
    addAttribute(folder / "dest.dat", FILE_ATTRIBUTE_READONLY);
    EXPECT_THROW(files->copyFile(folder / "new.dat", folder / "dest.dat", true), platform::OsError);
    EXPECT_EQ(readFile(folder / "dest.dat"), "old");
}

TEST_F(WindowsFileSystem, CopyOverAnOrdinaryDestinationReplacesIt) {
    writeFile(folder / "new.dat", std::string("new\r\n\0bytes", 12));
    writeFile(folder / "dest.dat", "a much longer older content");
    files->copyFile(folder / "new.dat", folder / "dest.dat", true);
    EXPECT_EQ(readFile(folder / "dest.dat"), std::string("new\r\n\0bytes", 12));
}

TEST_F(WindowsFileSystem, CopyOntoItselfUnderAnotherSpellingTouchesNothing) {
    writeFile(folder / "Same.dat", "whole");
    // Windows names one file by any letter case and by either separator.
    std::string otherSpelling = folder.path() + "/SAME.DAT";
    EXPECT_THROW(files->copyFile(folder / "Same.dat", otherSpelling, true), platform::OsError);
    EXPECT_EQ(readFile(folder / "Same.dat"), "whole");
}

TEST_F(WindowsFileSystem, RelativeSourceIsTakenFromTheCurrentDirectory) {
    writeFile(folder / "here.dat", "relative");
    CreateDirectoryA((folder / "lib").c_str(), nullptr);
    {
        testsupport::CurrentDirectoryGuard inFolder(folder.path());
        files->copyFile("here.dat", folder / "lib\\here.dat", true);
    }
    EXPECT_EQ(readFile(folder / "lib\\here.dat"), "relative");
}

TEST_F(WindowsFileSystem, ReadOnlyIsTheWindowsAttribute) {
    const std::string path = folder / "flag.dat";
    writeFile(path, "x");
    EXPECT_FALSE(platform::isReadOnly(path));
    addAttribute(path, FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(platform::isReadOnly(path));

    platform::setReadOnly(path, false);
    EXPECT_FALSE(hasAttribute(path, FILE_ATTRIBUTE_READONLY));
    platform::setReadOnly(path, true);
    EXPECT_TRUE(hasAttribute(path, FILE_ATTRIBUTE_READONLY));
}

TEST_F(WindowsFileSystem, FileExistsForFilesWhateverTheirAttributes) {
    const DWORD attributes[] = {
        FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
    int n = 0;
    for (const DWORD attribute : attributes) {
        const std::string path = folder / ("file" + std::to_string(n++) + ".dat");
        writeFile(path, "x");
        addAttribute(path, attribute);
        EXPECT_TRUE(diff::FileExists(path)) << path << " attributes " << attribute;
        EXPECT_TRUE(platform::fileExists(path)) << path;
    }
}

TEST_F(WindowsFileSystem, FileExistsIsFalseForFoldersAndMissingPaths) {
    CreateDirectoryA((folder / "zdrl").c_str(), nullptr);
    CreateDirectoryA((folder / "hidden folder").c_str(), nullptr);
    addAttribute(folder / "hidden folder", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

    for (const std::string& path :
         {folder / "zdrl", folder / "zdrl\\", folder.path() + "/zdrl/", folder / "hidden folder",
          folder / "hidden folder\\", folder / "missing.dat", folder / "no folder\\a.dat",
          std::string("C:\\"), std::string("C:"), std::string()}) {
        EXPECT_FALSE(diff::FileExists(path)) << "\"" << path << "\"";
    }
}

TEST_F(WindowsFileSystem, FileExistsIgnoresLetterCaseAndSeparatorKind) {
    writeFile(folder / "Zandorel.Dat", "x");
    EXPECT_TRUE(diff::FileExists(folder / "ZANDOREL.DAT"));
    EXPECT_TRUE(diff::FileExists(folder.path() + "/zandorel.dat"));
}

}  // namespace
}  // namespace zfe
