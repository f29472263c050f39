#include "platform/lock_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/piped_child.h"
#include "support/temp_folder.h"

namespace zfe::platform {
namespace {

// One holder at a time, in this process or another; a holder that is killed
// holds nothing, and one that lets go leaves no file behind.
TEST(LockFile, OneHolderAtATimeAndAKilledOneHoldsNothing) {
    testsupport::TempFolder folder;
    const std::string path = folder / ".zfe-lock";
    {
        const std::optional<LockFile> first = LockFile::tryToTake(path);
        ASSERT_TRUE(first.has_value());
        EXPECT_FALSE(LockFile::tryToTake(path).has_value());
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    PipedChild otherWindow(std::filesystem::path(ZFE_LOCK_HOLDER_PATH).make_preferred().string(), {path});
    std::string said;
    char buffer[8];
    while (said.size() < 4) {  // a read may bring nothing on Windows
        const auto read = otherWindow.read(buffer, sizeof buffer, std::chrono::seconds(20));
        if (read.kind != PipedChild::ReadResult::Kind::Data) break;
        said.append(buffer, read.count);
    }
    ASSERT_EQ(said.substr(0, 4), "held");
    EXPECT_FALSE(LockFile::tryToTake(path).has_value());
    otherWindow.terminate();
    EXPECT_TRUE(LockFile::tryToTake(path).has_value());
}

}  // namespace
}  // namespace zfe::platform
