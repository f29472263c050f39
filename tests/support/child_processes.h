#pragma once

// Folder listings and process checks shared by the capture tests; temporary
// folders come from support/temp_folder.h, file contents from
// support/app_folder.h.

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "support/temp_folder.h"

namespace zfe::testsupport {

inline std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// The state letter of /proc/<pid>/stat ('R', 'S', 'Z', ...), or 0 when the
// process is gone (ended and reaped).
inline char processState(long long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    const auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? 0 : line[close + 2];
}

// Waits for the process to be reaped; a zombie never goes away by itself, so
// it makes this false after the deadline.
inline bool processGoneWithin(long long pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (processState(pid) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Waits for a process that is not ours to end: gone, or a zombie that its own
// parent (for an orphan, the system) has yet to reap.
inline bool processEndedWithin(long long pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (char state = processState(pid); state != 0 && state != 'Z'; state = processState(pid)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace zfe::testsupport
