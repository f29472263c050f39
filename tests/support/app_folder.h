#pragma once

// A throw-away application folder for tests of the logic below the windows:
// <temp>/zfe-<test>-<n>/app folder/ with datfiles/ and zdrl/ in it, plus room
// beside it for "other" folders. The application folder's name has a blank on
// purpose: every command line and path built from it must survive one.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <system_error>

#include "platform/file_system.h"

namespace zfe::testsupport {

inline std::filesystem::path fsPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

inline void writeFile(const std::string& path, const std::string& content) {
    writeFile(fsPath(path), content);
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readFile(const std::string& path) {
    return readFile(fsPath(path));
}

// Names of everything in a folder (empty when it does not exist).
inline std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fsPath(folder), error)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Every file of a folder with its content, to show that a failed operation
// changed nothing.
inline std::map<std::string, std::string> snapshotOf(const std::string& folder) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(fsPath(folder), error)) {
        files[entry.path().filename().string()] = readFile(entry.path().string());
    }
    return files;
}

inline bool samePlace(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(fsPath(a), fsPath(b), error);
}

inline void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

inline void clearEnvironment(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    unsetenv(name);
#endif
}

// Puts the process's current directory back when a test has moved it (the
// logic under test moves it on purpose), so that the next test starts alike
// and the temporary folder can be removed.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved_(std::filesystem::current_path()) {}
    // Also enters `folder` for the life of the guard.
    explicit CurrentDirectoryGuard(const std::string& folder) : CurrentDirectoryGuard() {
        std::error_code error;
        std::filesystem::current_path(fsPath(folder), error);
        EXPECT_FALSE(error) << "cannot enter " << folder << ": " << error.message();
    }
    ~CurrentDirectoryGuard() {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
    }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

    const std::filesystem::path& saved() const { return saved_; }

private:
    std::filesystem::path saved_;
};

class TempAppFolder {
public:
    TempAppFolder() {
        static std::atomic<int> counter{0};
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "zfe-logic-";
        name += test != nullptr ? test->name() : "test";
        name += "-" + std::to_string(counter++);
        root_ = std::filesystem::temp_directory_path() / name;
        removeAll();
        std::filesystem::create_directories(root_ / "app folder" / "datfiles");
        std::filesystem::create_directories(root_ / "app folder" / "zdrl");
    }
    ~TempAppFolder() { removeAll(); }
    TempAppFolder(const TempAppFolder&) = delete;
    TempAppFolder& operator=(const TempAppFolder&) = delete;

    // A path beside the application folder, e.g. inRoot("elsewhere").
    std::string inRoot(const std::string& name) const {
        return root_.string() + platform::kPathSeparator + name;
    }
    // The application path as the program reports it: no final separator.
    std::string applicationPath() const { return inRoot("app folder"); }
    std::string library() const { return applicationPath() + sep + "datfiles"; }
    std::string tools() const { return applicationPath() + sep + "zdrl"; }
    std::string inLibrary(const std::string& name) const { return library() + sep + name; }
    std::string inTools(const std::string& name) const { return tools() + sep + name; }

    // A folder beside the application folder.
    std::string makeFolder(const std::string& name) const {
        std::filesystem::create_directories(root_ / name);
        return inRoot(name);
    }

private:
    static constexpr char sep = platform::kPathSeparator;

    void removeAll() {
        std::error_code ignored;
        // Read-only files would stop the removal on Windows.
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root_, ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        }
        std::filesystem::remove_all(root_, ignored);
    }

    std::filesystem::path root_;
};

}  // namespace zfe::testsupport
