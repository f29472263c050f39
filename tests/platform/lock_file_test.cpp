#include "platform/lock_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/piped_child.h"
#include "support/temp_folder.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace zfe::platform {
namespace {

// What the other process says once it has tried the lock.
std::string firstLineOf(PipedChild& child) {
    std::string text;
    char buffer[64];
    while (text.find('\n') == std::string::npos) {
        const auto read = child.read(buffer, sizeof buffer, std::chrono::seconds(20));
        if (read.kind != PipedChild::ReadResult::Kind::Data) break;
        text.append(buffer, read.count);
    }
    return text.substr(0, text.find_first_of("\r\n"));
}

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
    ASSERT_TRUE(otherWindow.started());
    ASSERT_EQ(firstLineOf(otherWindow), "held");
    EXPECT_FALSE(LockFile::tryToTake(path).has_value());
    otherWindow.terminate();
    EXPECT_TRUE(LockFile::tryToTake(path).has_value());
}

TEST(LockFile, AFolderOrAMissingFolderIsAFailure) {
    testsupport::TempFolder folder;
    EXPECT_THROW(LockFile::tryToTake(folder.path()), OsError);
    EXPECT_THROW(LockFile::tryToTake((folder / "missing") + kPathSeparator + ".zfe-lock"), OsError);
#ifndef _WIN32
    // Never through a link, never a FIFO, and neither is removed.
    std::filesystem::create_symlink(folder / "elsewhere", folder / "link");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    EXPECT_THROW(LockFile::tryToTake(folder / "link"), OsError);
    EXPECT_THROW(LockFile::tryToTake(folder / "fifo"), OsError);
    EXPECT_FALSE(std::filesystem::exists(folder / "elsewhere"));
    EXPECT_TRUE(std::filesystem::is_fifo(folder / "fifo"));
#endif
}

}  // namespace
}  // namespace zfe::platform
