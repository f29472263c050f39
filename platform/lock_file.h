#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace zfe::platform {

// A lock that one process at a time holds on a file name, to mark the folder
// it names a file in as in use. The file is made when the lock is taken and
// removed when it is let go. A process that ends without letting it go
// (killed, crashed) leaves no lock held: the system lets go of it with the
// process. POSIX: flock(2) on the file, which may then stay, unlocked, until
// the next taker removes it. Windows: the file opened for this process alone
// and deleted when closed, which the system does for a process that ends.
// Nothing of it reaches a program that the holder starts.
class LockFile {
public:
    // Takes the lock, or nothing when another holder has it (another process,
    // or another LockFile of this one). Throws OsError (subject: the path) when
    // the file cannot be made or opened, or is not a regular file.
    static std::optional<LockFile> tryToTake(const std::string& path);

    ~LockFile();
    LockFile(LockFile&& other) noexcept;
    LockFile& operator=(LockFile&& other) noexcept;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    const std::string& path() const noexcept { return path_; }

private:
    LockFile(std::string path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
    void release() noexcept;

    std::string path_;
    std::intptr_t handle_ = -1;  // fd on POSIX, HANDLE on Windows
};

}  // namespace zfe::platform
