#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/process.h"
#include "platform/temporary_names.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zfe::platform {
namespace {

using testsupport::CurrentDirectoryGuard;
using testsupport::readFile;
using testsupport::setEnvironment;
using testsupport::TempFolder;
using testsupport::writeFile;

std::vector<std::string> sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Content that a text-mode copy or a short buffer would spoil: NULs, CR LF,
// and more than one read's worth.
std::string awkwardContent() {
    std::string content;
    for (int i = 0; i < 200000; ++i) content += static_cast<char>(i * 7 % 256);
    content += "\r\n\0end";
    return content;
}

// ---- fileExists ---------------------------------------------------------

TEST(FileExists, TrueForAFileWhateverItsAttributes) {
    TempFolder folder;
    const std::string plain = folder / "plain.dat";
    const std::string readOnly = folder / "readonly.dat";
    const std::string hidden = folder / ".hidden.dat";
    writeFile(plain, "x");
    writeFile(readOnly, "x");
    writeFile(hidden, "x");
    setReadOnly(readOnly, true);
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
#endif
    EXPECT_TRUE(fileExists(plain));
    EXPECT_TRUE(fileExists(readOnly));
    EXPECT_TRUE(fileExists(hidden));
}

TEST(FileExists, FalseForAFolderWithOrWithoutFinalSeparator) {
    TempFolder folder;
    EXPECT_FALSE(fileExists(folder.path()));
    EXPECT_FALSE(fileExists(folder.path() + kPathSeparator));
    EXPECT_TRUE(directoryExists(folder.path()));
    EXPECT_TRUE(directoryExists(folder.path() + kPathSeparator));
}

TEST(FileExists, FalseForMissingPathsAndTheEmptyText) {
    TempFolder folder;
    writeFile(folder / "file.dat", "x");
    EXPECT_FALSE(fileExists(folder / "missing.dat"));
    EXPECT_FALSE(fileExists(folder / "missing" + kPathSeparator + "file.dat"));
    EXPECT_FALSE(fileExists(folder / "file.dat" + kPathSeparator));
    EXPECT_FALSE(fileExists(""));
    EXPECT_FALSE(directoryExists(""));
    EXPECT_FALSE(directoryExists(folder / "file.dat"));
}

#ifndef _WIN32
TEST(FileExists, FollowsLinks) {
    TempFolder folder;
    writeFile(folder / "target.dat", "x");
    ASSERT_EQ(symlink((folder / "target.dat").c_str(), (folder / "link.dat").c_str()), 0);
    ASSERT_EQ(symlink((folder / "gone.dat").c_str(), (folder / "dangling.dat").c_str()), 0);
    ASSERT_EQ(symlink(folder.path().c_str(), (folder / "folderlink").c_str()), 0);
    EXPECT_TRUE(fileExists(folder / "link.dat"));
    EXPECT_FALSE(fileExists(folder / "dangling.dat"));
    EXPECT_FALSE(fileExists(folder / "folderlink"));
}
#endif

// ---- deleteFile ---------------------------------------------------------

TEST(DeletingAFile, WithoutForceRefusesAReadOnlyFileEvenForRoot) {
    TempFolder folder;
    const std::string path = folder / "locked.dat";
    writeFile(path, "keep me");
    setReadOnly(path, true);
    try {
        makeFileSystemService()->deleteFile(path, false);
        FAIL() << "a read-only file was deleted without force";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), path);
        EXPECT_NE(error.errorNumber(), 0);
        EXPECT_FALSE(error.reason().empty());
    }
    EXPECT_EQ(readFile(path), "keep me");
    EXPECT_TRUE(isReadOnly(path));
}

TEST(DeletingAFile, WithForceRemovesAReadOnlyFile) {
    TempFolder folder;
    const std::string path = folder / "locked.dat";
    writeFile(path, "x");
    setReadOnly(path, true);
    makeFileSystemService()->deleteFile(path, true);
    EXPECT_FALSE(fileExists(path));
}

TEST(DeletingAFile, RemovesAnOrdinaryFileWithOrWithoutForce) {
    TempFolder folder;
    writeFile(folder / "a.dat", "x");
    writeFile(folder / "b.dat", "x");
    auto service = makeFileSystemService();
    service->deleteFile(folder / "a.dat", false);
    service->deleteFile(folder / "b.dat", true);
    EXPECT_TRUE(listFiles(folder.path()).empty());
}

TEST(DeletingAFile, FailsOnAMissingPathWithOrWithoutForce) {
    TempFolder folder;
    auto service = makeFileSystemService();
    for (bool force : {false, true}) {
        const std::string path = folder / "missing.dat";
        try {
            service->deleteFile(path, force);
            FAIL() << "deleting a missing file succeeded, force " << force;
        } catch (const OsError& error) {
            EXPECT_EQ(error.subject(), path);
#ifndef _WIN32
            EXPECT_EQ(error.errorNumber(), ENOENT);
#endif
        }
    }
}

TEST(DeletingAFile, RefusesAFolder) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "sub");
    EXPECT_THROW(makeFileSystemService()->deleteFile(folder / "sub", true), OsError);
    EXPECT_TRUE(directoryExists(folder / "sub"));
}

// ---- copyFile -----------------------------------------------------------

TEST(CopyingAFile, MakesAByteForByteCopy) {
    TempFolder folder;
    const std::string content = awkwardContent();
    writeFile(folder / "source.dat", content);
    makeFileSystemService()->copyFile(folder / "source.dat", folder / "copy.dat", true);
    EXPECT_EQ(readFile(folder / "copy.dat"), content);
    EXPECT_EQ(readFile(folder / "source.dat"), content);
    EXPECT_EQ(sorted(listFiles(folder.path())),
              (std::vector<std::string>{"copy.dat", "source.dat"}));
}

TEST(CopyingAFile, ReplacesALongerExistingDestinationWhole) {
    TempFolder folder;
    writeFile(folder / "source.dat", "new");
    writeFile(folder / "destination.dat", std::string(100000, 'o'));
    makeFileSystemService()->copyFile(folder / "source.dat", folder / "destination.dat", true);
    EXPECT_EQ(readFile(folder / "destination.dat"), "new");
    // The temporary file of the replacement is gone.
    EXPECT_EQ(sorted(listFiles(folder.path())),
              (std::vector<std::string>{"destination.dat", "source.dat"}));
}

TEST(CopyingAFile, RefusesAReadOnlyDestinationAndLeavesItAlone) {
    TempFolder folder;
    writeFile(folder / "source.dat", "new");
    writeFile(folder / "destination.dat", "old");
    setReadOnly(folder / "destination.dat", true);
    try {
        makeFileSystemService()->copyFile(folder / "source.dat", folder / "destination.dat", true);
        FAIL() << "a read-only destination was overwritten";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), folder / "destination.dat");
    }
    EXPECT_EQ(readFile(folder / "destination.dat"), "old");
    EXPECT_TRUE(isReadOnly(folder / "destination.dat"));
    EXPECT_EQ(sorted(listFiles(folder.path())),
              (std::vector<std::string>{"destination.dat", "source.dat"}));
}

TEST(CopyingAFile, WithoutOverwriteRefusesAnExistingDestination) {
    TempFolder folder;
    writeFile(folder / "source.dat", "new");
    writeFile(folder / "destination.dat", "old");
    EXPECT_THROW(
        makeFileSystemService()->copyFile(folder / "source.dat", folder / "destination.dat", false),
        OsError);
    EXPECT_EQ(readFile(folder / "destination.dat"), "old");
}

TEST(CopyingAFile, OntoItselfFailsAndLeavesTheFileWhole) {
    TempFolder folder;
    const std::string path = folder / "same.dat";
    const std::string content = awkwardContent();
    writeFile(path, content);
    auto service = makeFileSystemService();
    try {
        service->copyFile(path, path, true);
        FAIL() << "a file was copied onto itself";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), path);
        EXPECT_FALSE(error.reason().empty());
    }
    // The same file under another spelling of its path.
    const std::string roundabout = folder / "." + kPathSeparator + "same.dat";
    EXPECT_THROW(service->copyFile(path, roundabout, true), OsError);
    EXPECT_EQ(readFile(path), content);
    EXPECT_EQ(listFiles(folder.path()), (std::vector<std::string>{"same.dat"}));
}

TEST(CopyingAFile, OntoAnotherNameOfTheSameFileFails) {
    TempFolder folder;
    const std::string content = awkwardContent();
    writeFile(folder / "same.dat", content);
    auto service = makeFileSystemService();
#ifdef _WIN32
    // Names differ in letter case only: one file on Windows.
    EXPECT_THROW(service->copyFile(folder / "same.dat", folder / "SAME.DAT", true), OsError);
#else
    ASSERT_EQ(link((folder / "same.dat").c_str(), (folder / "hardlink.dat").c_str()), 0);
    ASSERT_EQ(symlink((folder / "same.dat").c_str(), (folder / "symlink.dat").c_str()), 0);
    EXPECT_THROW(service->copyFile(folder / "same.dat", folder / "hardlink.dat", true), OsError);
    EXPECT_THROW(service->copyFile(folder / "symlink.dat", folder / "same.dat", true), OsError);
    EXPECT_EQ(readFile(folder / "hardlink.dat"), content);
#endif
    EXPECT_EQ(readFile(folder / "same.dat"), content);
}

TEST(CopyingAFile, OfAMissingSourceFailsAndCreatesNothing) {
    TempFolder folder;
    const std::string source = folder / "missing.dat";
    try {
        makeFileSystemService()->copyFile(source, folder / "copy.dat", true);
        FAIL() << "a missing file was copied";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), source);
#ifndef _WIN32
        EXPECT_EQ(error.errorNumber(), ENOENT);
#endif
    }
    EXPECT_TRUE(listFiles(folder.path()).empty());
}

TEST(CopyingAFile, IntoAMissingFolderFailsNamingTheDestination) {
    TempFolder folder;
    writeFile(folder / "source.dat", "x");
    const std::string destination = folder / "missing" + kPathSeparator + "copy.dat";
    try {
        makeFileSystemService()->copyFile(folder / "source.dat", destination, true);
        FAIL() << "copied into a missing folder";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), destination);
    }
}

TEST(CopyingAFile, ARelativeSourceIsTakenFromTheCurrentDirectory) {
    TempFolder folder;
    TempFolder elsewhere;
    writeFile(folder / "here.dat", "relative");
    CurrentDirectoryGuard restore;
    changeCurrentDirectory(folder.path());
    makeFileSystemService()->copyFile("here.dat", elsewhere / "copy.dat", true);
    EXPECT_EQ(readFile(elsewhere / "copy.dat"), "relative");
}

// As a Windows copy carries the source's attributes over, a copy of a
// read-only file is read-only; a copy of a writable one is writable, even when
// it replaces a file.
TEST(CopyingAFile, TheCopyTakesTheSourcesReadOnlyness) {
    TempFolder folder;
    writeFile(folder / "locked.dat", "x");
    writeFile(folder / "open.dat", "y");
    writeFile(folder / "existing.dat", "z");
    setReadOnly(folder / "locked.dat", true);
    auto service = makeFileSystemService();
    service->copyFile(folder / "locked.dat", folder / "locked-copy.dat", true);
    service->copyFile(folder / "open.dat", folder / "existing.dat", true);
    EXPECT_TRUE(isReadOnly(folder / "locked-copy.dat"));
    EXPECT_FALSE(isReadOnly(folder / "existing.dat"));
    EXPECT_EQ(readFile(folder / "existing.dat"), "y");
}

// Staging links rather than copies, and removing the staged file leaves the
// library's file as it was, read-only or not (on Windows a read-only file is
// copied, since a link shares the attribute that the forced delete clears).
TEST(StagingAFile, LinksWherePossibleAndTheForcedDeleteLeavesTheSourceAlone) {
    TempFolder folder;
    writeFile(folder / "open.dat", awkwardContent());
    writeFile(folder / "locked.dat", "locked");
    setReadOnly(folder / "locked.dat", true);
    createFolders(folder / "zdrl");
    const auto staged = [&](const std::string& name) { return folder / "zdrl" + kPathSeparator + name; };
    auto service = makeFileSystemService();

    service->stageFile(folder / "open.dat", staged("open.dat"));
    service->stageFile(folder / "locked.dat", staged("locked.dat"));
    EXPECT_TRUE(isSameFileOrFolder(folder / "open.dat", staged("open.dat")));
    EXPECT_EQ(readFile(staged("locked.dat")), "locked");
#ifdef _WIN32
    EXPECT_FALSE(isSameFileOrFolder(folder / "locked.dat", staged("locked.dat")));
#endif

    service->deleteFile(staged("open.dat"), true);
    service->deleteFile(staged("locked.dat"), true);
    EXPECT_EQ(readFile(folder / "open.dat"), awkwardContent());
    EXPECT_TRUE(isReadOnly(folder / "locked.dat"));
    EXPECT_THROW(service->stageFile(folder / "missing.dat", staged("missing.dat")), OsError);
    EXPECT_FALSE(fileExists(staged("missing.dat")));
}

// ---- FileReplacement -----------------------------------------------------

// With or without waiting for the disk.
TEST(FileReplacement, CommitPutsTheNewContentInPlace) {
    for (const bool flush : {true, false}) {
        TempFolder folder;
        const std::string destination = folder / "out.dat";
        writeFile(destination, "old content that is longer");
        {
            FileReplacement replacement(destination);
            replacement.write("new", 3);
            EXPECT_EQ(readFile(destination), "old content that is longer");
            if (flush) {
                replacement.commit();
            } else {
                replacement.commitWithoutFlush();
            }
        }
        EXPECT_EQ(readFile(destination), "new");
        EXPECT_EQ(listFiles(folder.path()), (std::vector<std::string>{"out.dat"}));
    }
}

TEST(FileReplacement, UncommittedLeavesTheDestinationAndNoTemporaryFile) {
    TempFolder folder;
    const std::string existing = folder / "existing.dat";
    writeFile(existing, "old");
    {
        FileReplacement replacement(existing);
        replacement.write("partial", 7);
        EXPECT_TRUE(fileExists(replacement.temporaryPath()));
    }
    {
        FileReplacement replacement(folder / "new.dat");
        replacement.write("partial", 7);
        replacement.discard();
    }
    EXPECT_EQ(readFile(existing), "old");
    EXPECT_EQ(listFiles(folder.path()), (std::vector<std::string>{"existing.dat"}));
}

// A later start tells a killed program's temporaries by the id in their name.
TEST(FileReplacement, TemporaryNameCarriesTheProcessId) {
    TempFolder folder;
    FileReplacement replacement(folder / "new.dat");
    const std::string& temporary = replacement.temporaryPath();
    EXPECT_EQ(temporaryFileOwner(temporary.substr(temporary.find_last_of("/\\") + 1)), currentProcessId());
}

TEST(FileReplacement, RefusesAReadOnlyDestination) {
    TempFolder folder;
    const std::string destination = folder / "out.dat";
    writeFile(destination, "old");
    setReadOnly(destination, true);
    EXPECT_THROW(FileReplacement{destination}, OsError);
    EXPECT_EQ(listFiles(folder.path()), (std::vector<std::string>{"out.dat"}));
}

// ---- folders and attributes ----------------------------------------------

TEST(ListFiles, NamesFilesButNotFolders) {
    TempFolder folder;
    writeFile(folder / "a.dat", "x");
    writeFile(folder / "B.DAT", "x");
    writeFile(folder / ".hidden", "x");
    std::filesystem::create_directory(folder / "sub.dat");
#ifndef _WIN32
    ASSERT_EQ(symlink((folder / "a.dat").c_str(), (folder / "link.dat").c_str()), 0);
    ASSERT_EQ(symlink((folder / "sub.dat").c_str(), (folder / "folderlink").c_str()), 0);
    EXPECT_EQ(sorted(listFiles(folder.path() + kPathSeparator)),
              (std::vector<std::string>{".hidden", "B.DAT", "a.dat", "link.dat"}));
#else
    EXPECT_EQ(sorted(listFiles(folder.path() + kPathSeparator)),
              (std::vector<std::string>{".hidden", "B.DAT", "a.dat"}));
#endif
}

TEST(IsRegularFile, OnlyForFilesAndLinksToThem) {
    TempFolder folder;
    writeFile(folder / "a.dat", "x");
    EXPECT_TRUE(isRegularFile(folder / "a.dat"));
    EXPECT_FALSE(isRegularFile(folder.path()));
    EXPECT_FALSE(isRegularFile(folder / "missing.dat"));
    EXPECT_FALSE(isRegularFile(""));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder / "pipe.dat").c_str(), 0644), 0);
    EXPECT_FALSE(isRegularFile(folder / "pipe.dat"));
    EXPECT_FALSE(isRegularFile("/dev/null"));
    // A pipe is refused at once, not waited on for a writer.
    EXPECT_THROW(makeFileSystemService()->copyFile(folder / "pipe.dat", folder / "b.dat", true), OsError);
    EXPECT_FALSE(std::filesystem::exists(folder / "b.dat"));
#endif
}

TEST(ListFiles, FailsOnAMissingFolder) {
    TempFolder folder;
    EXPECT_THROW(listFiles(folder / "missing"), OsError);
}

TEST(ReadOnly, SetAndClear) {
    TempFolder folder;
    const std::string path = folder / "file.dat";
    writeFile(path, "x");
    EXPECT_FALSE(isReadOnly(path));
    setReadOnly(path, true);
    EXPECT_TRUE(isReadOnly(path));
    setReadOnly(path, false);
    EXPECT_FALSE(isReadOnly(path));
    EXPECT_THROW(isReadOnly(folder / "missing.dat"), OsError);
    EXPECT_THROW(setReadOnly(folder / "missing.dat", true), OsError);
}

TEST(CanWriteIn, TriesAndLeavesNothingBehind) {
    TempFolder folder;
    const auto service = makeFileSystemService();
    EXPECT_TRUE(service->canWriteIn(folder.path()));
    EXPECT_TRUE(service->canWriteIn(folder.path() + kPathSeparator));
    EXPECT_TRUE(testsupport::entriesOf(folder.path()).empty());
    writeFile(folder / "file.dat", "x");
    EXPECT_FALSE(service->canWriteIn(folder / "file.dat"));
    EXPECT_FALSE(service->canWriteIn(folder / "missing"));
    EXPECT_FALSE(service->canWriteIn(""));
}

TEST(CanWriteIn, AFolderWithoutOwnerWritePermissionRefusesRootToo) {
    TempFolder folder;
    const std::string locked = folder / "locked";
    createFolders(locked);
    setReadOnly(locked, true);
#ifdef _WIN32
    // Windows keeps no file out of a folder for its read-only attribute.
    EXPECT_TRUE(makeFileSystemService()->canWriteIn(locked));
#else
    EXPECT_FALSE(makeFileSystemService()->canWriteIn(locked));
#endif
    setReadOnly(locked, false);
    EXPECT_TRUE(testsupport::entriesOf(locked).empty());
}

TEST(CreateFolders, MakesEveryMissingFolderAndAcceptsExistingOnes) {
    TempFolder folder;
    const std::string deep = folder / "a" + kPathSeparator + "b" + kPathSeparator + "c";
    createFolders(deep + kPathSeparator);
    EXPECT_TRUE(directoryExists(deep));
    createFolders(deep);
    EXPECT_TRUE(directoryExists(deep));

    writeFile(folder / "file", "x");
    try {
        createFolders(folder / "file" + kPathSeparator + "sub");
        FAIL() << "made a folder inside a file";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), folder / "file");
    }
    EXPECT_EQ(readFile(folder / "file"), "x");
}

// Puts an environment variable back as it was.
class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        const char* value = std::getenv(name);
        if (value != nullptr) saved_ = value;
        wasSet_ = value != nullptr;
    }
    ~SavedVariable() {
        if (wasSet_) {
            setEnvironment(name_, saved_);
        } else {
#ifdef _WIN32
            _putenv_s(name_, "");
#else
            unsetenv(name_);
#endif
        }
    }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

private:
    const char* name_;
    std::string saved_;
    bool wasSet_ = false;
};

TEST(UserDataFolder, ComesFromTheEnvironment) {
#ifdef _WIN32
    const SavedVariable localAppData("LOCALAPPDATA");
    setEnvironment("LOCALAPPDATA", "C:\\Users\\u\\AppData\\Local");
    EXPECT_EQ(userDataFolder(), "C:\\Users\\u\\AppData\\Local");
#else
    const SavedVariable xdgData("XDG_DATA_HOME");
    const SavedVariable home("HOME");
    setEnvironment("HOME", "/home/u");
    setEnvironment("XDG_DATA_HOME", "/data/u");
    EXPECT_EQ(userDataFolder(), "/data/u");
    // A relative XDG_DATA_HOME is not one.
    setEnvironment("XDG_DATA_HOME", "data/u");
    EXPECT_EQ(userDataFolder(), "/home/u/.local/share");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(userDataFolder(), "/home/u/.local/share");
    // Without HOME the user database knows the home folder.
    unsetenv("HOME");
    const std::string fromDatabase = userDataFolder();
    const std::string tail = "/.local/share";
    ASSERT_GT(fromDatabase.size(), tail.size()) << fromDatabase;
    EXPECT_EQ(fromDatabase.front(), '/');
    EXPECT_EQ(fromDatabase.substr(fromDatabase.size() - tail.size()), tail);
#endif
}

TEST(CurrentDirectory, ChangesAndReportsTheProcesssDirectory) {
    TempFolder folder;
    CurrentDirectoryGuard restore;
    changeCurrentDirectory(folder.path());
    EXPECT_TRUE(std::filesystem::equivalent(currentDirectory(), folder.path()));
    const std::string relativeName = "relative.dat";
    writeFile(relativeName, "x");
    EXPECT_TRUE(fileExists(folder / relativeName));
}

TEST(CurrentDirectory, ChangingToAMissingFolderFailsAndChangesNothing) {
    TempFolder folder;
    const std::string before = currentDirectory();
    const std::string missing = folder / "missing";
    try {
        changeCurrentDirectory(missing);
        FAIL() << "changed into a missing folder";
    } catch (const OsError& error) {
        EXPECT_EQ(error.subject(), missing);
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos);
    }
    EXPECT_EQ(currentDirectory(), before);
}

}  // namespace
}  // namespace zfe::platform
