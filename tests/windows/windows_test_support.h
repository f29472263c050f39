#pragma once

// Helpers for the tests that need real Windows: a throw-away folder that is
// removed even when it holds read-only, hidden or system files, file
// attributes, and the stand-in child built beside the test programs. File
// contents are written and read with support/app_folder.h.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

namespace zfe::wintest {

// The folder of the running test program, without a final "\".
inline std::string ownFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\'));
}

// The stand-in child (windows_child.cpp), built into the test programs' folder.
inline std::string childPath() {
    return ownFolder() + "\\zfe_windows_child.exe";
}

class TempFolder {
public:
    // `tail` lets a test ask for blanks or other awkward characters in the name.
    explicit TempFolder(const std::string& tail = "") {
        static std::atomic<int> counter{0};
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "zfe-win-";
        name += test != nullptr ? test->name() : "test";
        name += "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        name += tail;
        path_ = (std::filesystem::temp_directory_path() / name).string();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
            SetFileAttributesA(entry.path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder, without a final "\".
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

inline bool hasAttribute(const std::string& path, DWORD attribute) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

inline bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes the current directory `folder` for the life of the object.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::string& folder) {
        char previous[MAX_PATH];
        previous_.assign(previous, GetCurrentDirectoryA(MAX_PATH, previous));
        EXPECT_TRUE(SetCurrentDirectoryA(folder.c_str())) << folder;
    }
    ~CurrentDirectory() { SetCurrentDirectoryA(previous_.c_str()); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::string previous_;
};

// Sets an environment variable, inherited by the children started meanwhile,
// for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
        SetEnvironmentVariableA(name_.c_str(), value.c_str());
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
};

}  // namespace zfe::wintest
