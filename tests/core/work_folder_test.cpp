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

// A start after a window was killed mid-run: the names the run wrote down and
// the dats it linked go, read-only or not; nothing else does, whatever the
// record says, and nothing at all while another window holds the folder.
TEST(WorkFolder, StartRemovesWhatAKilledRunLeftAndNothingElse) {
    testsupport::TempAppFolder app;
    const auto files = platform::makeFileSystemService();
    writeFile(app.inLibrary("linked.dat"), "a library dat");
    platform::setReadOnly(app.inLibrary("linked.dat"), true);
    std::filesystem::create_hard_link(testsupport::fsPath(app.inLibrary("linked.dat")),
                                      testsupport::fsPath(app.inTools("linked.dat")));
    writeFile(app.inTools("copied.dat"), "a staged copy");
    platform::setReadOnly(app.inTools("copied.dat"), true);
    writeFile(app.inTools("zandorel.dat"), "half a diff dat");
    writeFile(app.inTools("zandorel"), "the tool");
    writeFile(app.inTools("notes.txt"), "the user's");
    writeFile(app.inRoot("outside.dat"), "not in the work folder");
    const char record[] = "copied.dat\0zandorel.dat\0../outside.dat\0..\0.zfe-lock\0";
    writeFile(app.inTools(kRunRecordName), std::string(record, sizeof record - 1));

    {
        const std::optional<WorkFolderHold> otherWindow = WorkFolderHold::take(app.applicationPath());
        ASSERT_TRUE(otherWindow.has_value());
        EXPECT_FALSE(WorkFolderHold::take(app.applicationPath()).has_value());
        removeKilledRunLeftovers(app.applicationPath(), *files);
        EXPECT_EQ(entriesOf(app.tools()).size(), 7u) << "another window's run was touched";
    }
    removeKilledRunLeftovers(app.applicationPath(), *files);

    EXPECT_EQ(entriesOf(app.tools()), (std::set<std::string>{"zandorel", "notes.txt"}));
    EXPECT_TRUE(std::filesystem::exists(testsupport::fsPath(app.inRoot("outside.dat"))));
    EXPECT_EQ(testsupport::readFile(app.inLibrary("linked.dat")), "a library dat");
    EXPECT_TRUE(platform::isReadOnly(app.inLibrary("linked.dat")));
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
