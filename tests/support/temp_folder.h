#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/file_system.h"

namespace zfe::testsupport {

// A fresh folder under the system's temporary folder, removed with everything
// in it (read-only files included) when the test ends.
class TempFolder {
public:
    // `tail` lets a test ask for blanks or other awkward characters in the name.
    explicit TempFolder(const std::string& tail = "") {
        static std::atomic<int> counter{0};
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "zfe-test-";
        // Suite and test name: tests of one name in different suites may run
        // side by side.
        name +=
            test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "test";
        name += "-" + std::to_string(counter++) + tail;
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_regular_file(ignored)) {
                std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                             std::filesystem::perm_options::add, ignored);
            }
        }
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a final separator.
    std::string path() const { return path_.string(); }
    // A path inside the folder, joined with the platform's separator.
    std::string operator/(const std::string& name) const {
        return path() + platform::kPathSeparator + name;
    }

private:
    std::filesystem::path path_;
};

}  // namespace zfe::testsupport
