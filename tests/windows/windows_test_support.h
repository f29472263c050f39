#pragma once

// Helpers for the tests that need real Windows: file attributes, and the
// stand-in child built beside the test programs. Temporary folders come from
// support/temp_folder.h, file contents and the current-directory guard from
// support/app_folder.h.

#include <windows.h>

#include <string>

#include "support/temp_folder.h"

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

inline bool hasAttribute(const std::string& path, DWORD attribute) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute) != 0;
}

inline bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

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
