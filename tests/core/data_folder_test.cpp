#include "core/data_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/folders.h"
#include "platform/os_error.h"
#include "support/app_folder.h"
#include "support/temp_folder.h"

namespace zfe::core {
namespace {

using testsupport::entriesOf;
using testsupport::snapshotOf;

constexpr char kSep = platform::kPathSeparator;

// The real service, except that every folder under `refusedUnder` takes no new
// file (as an installation's folder for an ordinary user) and the copy of a
// source named in `failingCopies` fails.
class InstalledFileSystem : public platform::FileSystemService {
public:
    explicit InstalledFileSystem(std::string refusedUnder = "")
        : refusedUnder_(std::move(refusedUnder)) {}

    void copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override {
        if (failingCopies.count(source) != 0) throw platform::OsError(EIO, source);
        real_->copyFile(source, destination, overwrite);
    }
    void deleteFile(const std::string& path, bool force) override {
        real_->deleteFile(path, force);
    }
    bool canWriteIn(const std::string& folder) override {
        probed.push_back(folder);
        const bool refused = !refusedUnder_.empty() && folder.rfind(refusedUnder_, 0) == 0;
        return !refused && real_->canWriteIn(folder);
    }

    std::vector<std::string> probed;
    std::set<std::string> failingCopies;

private:
    std::string refusedUnder_;
    std::unique_ptr<platform::FileSystemService> real_ = platform::makeFileSystemService();
};

// An installed program folder with two sample dats, and a user's data folder
// that does not exist yet.
struct Installation {
    testsupport::TempFolder root;
    std::string program = root / "program";
    std::string userData = root / "home" + kSep + ".local" + kSep + "share";
    std::string perUser = userData + kSep + "ZandorelFE";

    Installation() {
        platform::createFolders(datFolder(program));
        platform::createFolders(toolFolder(program));
        testsupport::writeFile(datFolder(program) + "mame-old.dat", "old");
        testsupport::writeFile(datFolder(program) + "mame-new.dat", "new");
    }
};

TEST(DataFolder, AProgramFolderThisUserCanWriteKeepsTheData) {
    Installation install;
    InstalledFileSystem files;
    const DataFolderChoice choice = chooseDataPath(install.program, install.userData, files);
    EXPECT_EQ(choice.dataPath, install.program);
    EXPECT_FALSE(choice.problem);
    EXPECT_EQ(files.probed,
              (std::vector<std::string>{datFolder(install.program), toolFolder(install.program)}));
    EXPECT_TRUE(entriesOf(install.root.path() + kSep + "home").empty());

    // A missing folder is one the user could make there: the program's folder
    // stays in use, and the start-up check names the folder.
    testsupport::TempFolder bare;
    EXPECT_EQ(chooseDataPath(bare.path(), install.userData, files).dataPath, bare.path());
    EXPECT_EQ(files.probed.back(), bare.path());
}

TEST(DataFolder, AProgramFolderThisUserCannotWriteSendsTheDataToTheUsersFolder) {
    // Either of the two folders refusing files is enough.
    for (const std::string refused : {"datfiles", "zdrl"}) {
        SCOPED_TRACE(refused);
        Installation install;
        InstalledFileSystem files(install.program + kSep + refused);
        const auto installed = snapshotOf(datFolder(install.program));

        const DataFolderChoice choice = chooseDataPath(install.program, install.userData, files);
        EXPECT_FALSE(choice.problem) << choice.problem->text;
        EXPECT_EQ(choice.dataPath, install.perUser);
        EXPECT_EQ(snapshotOf(datFolder(install.perUser)), installed);
        EXPECT_TRUE(platform::directoryExists(workFolder(install.perUser)));
        EXPECT_TRUE(entriesOf(workFolder(install.perUser)).empty());
        EXPECT_EQ(snapshotOf(datFolder(install.program)), installed);
        EXPECT_TRUE(entriesOf(toolFolder(install.program)).empty());
    }
}

TEST(DataFolder, LaterStartsLeaveTheUsersLibraryAsTheUserLeftIt) {
    Installation install;
    InstalledFileSystem files(install.program);
    ASSERT_EQ(chooseDataPath(install.program, install.userData, files).dataPath, install.perUser);
    const std::string library = datFolder(install.perUser);
    platform::makeFileSystemService()->deleteFile(library + "mame-old.dat", false);
    testsupport::writeFile(library + "mame-new.dat", "the user's own");

    const DataFolderChoice again = chooseDataPath(install.program, install.userData, files);
    EXPECT_EQ(again.dataPath, install.perUser);
    EXPECT_FALSE(again.problem);
    EXPECT_EQ(snapshotOf(library),
              (std::map<std::string, std::string>{{"mame-new.dat", "the user's own"}}));
}

TEST(DataFolder, WhatCannotBeMadeOrCopiedIsToldAndTheProgramGoesOn) {
    {
        Installation install;
        InstalledFileSystem files(install.program);
        // A file where the user's data folder should begin.
        testsupport::writeFile(install.root / "home", "not a folder");
        const DataFolderChoice choice = chooseDataPath(install.program, install.userData, files);
        EXPECT_EQ(choice.dataPath, install.perUser);
        ASSERT_TRUE(choice.problem);
        EXPECT_EQ(choice.problem->icon, MessageIcon::Critical);
        EXPECT_EQ(choice.problem->text.rfind(
                      "Impossibile creare la cartella \"" + install.root / "home" + "\".", 0),
                  0u)
            << choice.problem->text;
    }
    {
        Installation install;
        InstalledFileSystem files(install.program);
        const std::string sample = datFolder(install.program) + "mame-old.dat";
        files.failingCopies.insert(sample);
        const DataFolderChoice choice = chooseDataPath(install.program, install.userData, files);
        EXPECT_EQ(choice.dataPath, install.perUser);
        ASSERT_TRUE(choice.problem);
        EXPECT_NE(choice.problem->text.find("\"" + sample + "\""), std::string::npos)
            << choice.problem->text;
    }
    {
        Installation install;
        InstalledFileSystem files(install.program);
        const DataFolderChoice choice = chooseDataPath(install.program, "", files);
        EXPECT_EQ(choice.dataPath, install.program);
        ASSERT_TRUE(choice.problem);
        EXPECT_EQ(choice.problem->icon, MessageIcon::Warning);
        EXPECT_NE(choice.problem->text.find(install.program), std::string::npos);
    }
}

TEST(DataFolder, PerUserDataPathGetsOneSeparator) {
    EXPECT_EQ(perUserDataPath("/home/u/.local/share", '/'), "/home/u/.local/share/ZandorelFE");
    EXPECT_EQ(perUserDataPath("C:\\Users\\u\\AppData\\Local\\", '\\'),
              "C:\\Users\\u\\AppData\\Local\\ZandorelFE");
}

}  // namespace
}  // namespace zfe::core
