#include "core/abandoned_temporaries.h"

#include <gtest/gtest.h>

#include <set>

#include "core/paths.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "support/app_folder.h"

namespace zfe::core {
namespace {

using testsupport::entriesOf;
using testsupport::writeFile;

TEST(AbandonedTemporaries, OnlyTemporariesOfProcessesThatAreGoneOrThisOnesReusedId) {
    const std::vector<std::string> names{
        ".zfe-replace-100-0-abc",  // its process is gone
        ".zfe-replace-200-3-f",    // its process runs: another window's
        ".zfe-probe-300-0-1",      // this process's id, at start: someone else's before
        ".zfe-probe-400-2-1",      // gone
        "mame.dat", ".zfe-replace-x-0-1", ".zfe-replace-", ".zfe-replace-100", "zfe-replace-100-0-1",
        ".zfe-replacement-100-1-1", ".zfe-replace-99999999999999999999-0-1"};
    const auto running = [](std::int64_t id) { return id == 200; };
    EXPECT_EQ(abandonedTemporaries(names, 300, running),
              (std::vector<std::string>{".zfe-replace-100-0-abc", ".zfe-probe-300-0-1", ".zfe-probe-400-2-1"}));
}

// Two windows on one library: the start of the second removes what a killed
// one left, never what the first is writing now.
TEST(AbandonedTemporaries, StartRemovesTheLeftoversOfEndedProgramsAndKeepsALiveOnesTemporary) {
    testsupport::TempAppFolder app;
    const auto files = platform::makeFileSystemService();
    platform::FileReplacement live(app.inLibrary("being written.dat"));
    writeFile(app.inLibrary("mame.dat"), "a dat");
    writeFile(app.inLibrary(".zfe-replace-999999-0-1f"), "half a dat");
    platform::setReadOnly(app.inLibrary(".zfe-replace-999999-0-1f"), true);
    writeFile(app.inTools(".zfe-replace-999999-1-2"), "half a staged dat");
    const std::int64_t self = platform::currentProcessId();

    removeAbandonedTemporaries(app.applicationPath(), *files, self + 1,
                               [self](std::int64_t id) { return id == self; });

    EXPECT_EQ(entriesOf(app.library()),
              (std::set<std::string>{"mame.dat", fileNameOf(live.temporaryPath())}));
    EXPECT_TRUE(entriesOf(app.tools()).empty());
}

TEST(AbandonedTemporaries, MissingFoldersAreNoFailure) {
    testsupport::TempAppFolder app;
    const auto files = platform::makeFileSystemService();
    EXPECT_NO_THROW(removeAbandonedTemporaries(app.inRoot("nowhere"), *files, 1,
                                               [](std::int64_t) { return false; }));
}

}  // namespace
}  // namespace zfe::core
