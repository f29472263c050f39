#include "core/work_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/file_system.h"
#include "support/app_folder.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zfe::core {
namespace {

using testsupport::entriesOf;
using testsupport::writeFile;

// A start after a window was killed mid-run: the names the run wrote down
// go, read-only or not, and nothing else, whatever the record says; nothing
// at all while another window's run holds the folder.
TEST(WorkFolder, StartRemovesWhatAKilledRunLeftAndNothingElse) {
    testsupport::TempAppFolder app;
    const auto files = platform::makeFileSystemService();
    writeFile(app.inTools("copied.dat"), "a staged copy");
    platform::setReadOnly(app.inTools("copied.dat"), true);
    writeFile(app.inTools("notes.txt"), "the user's");
    writeFile(app.inRoot("outside.dat"), "not in the work folder");
    const char record[] = "copied.dat\0../outside.dat\0..\0";
    writeFile(app.inTools(kRunRecordName), std::string(record, sizeof record - 1));

    {
        const std::optional<WorkFolderHold> otherWindowsRun = WorkFolderHold::take(app.applicationPath());
        removeKilledRunLeftovers(app.applicationPath(), *files);
        EXPECT_TRUE(std::filesystem::exists(testsupport::fsPath(app.inTools("copied.dat"))));
    }
    removeKilledRunLeftovers(app.applicationPath(), *files);

    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{"notes.txt"}));
    EXPECT_TRUE(std::filesystem::exists(testsupport::fsPath(app.inRoot("outside.dat"))));
}

#ifndef _WIN32
TEST(WorkFolder, ARecordThatIsNoFileIsNotWaitedOn) {
    testsupport::TempAppFolder app;
    const auto files = platform::makeFileSystemService();
    ASSERT_EQ(::mkfifo(app.inTools(kRunRecordName).c_str(), 0600), 0);
    removeKilledRunLeftovers(app.applicationPath(), *files);
    EXPECT_TRUE(entriesOf(app.tools()).empty());
}
#endif

}  // namespace
}  // namespace zfe::core
