#include "platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os_error.h"

namespace zfe::platform {

namespace {

bool samePlace(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::optional<LockFile> LockFile::tryToTake(const std::string& path) {
    for (;;) {
        // Never through a link, never waiting on a FIFO, never a terminal.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                              0644);
        if (fd < 0) throw OsError(errno, path);
        LockFile taken(path, fd);
        struct stat opened {};
        if (::fstat(fd, &opened) != 0) throw OsError(errno, path);
        if (!S_ISREG(opened.st_mode)) {
            taken.path_.clear();  // not ours to remove
            throw OsError(EINVAL, path, "non è un file");
        }
        int locked = 0;
        do {
            locked = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (locked != 0 && errno == EINTR);
        if (locked != 0) {
            const int error = errno;
            taken.path_.clear();
            if (error == EWOULDBLOCK) return std::nullopt;
            throw OsError(error, path);
        }
        // The holder before may have removed the name between the open and the
        // lock: only a lock on the file that the name still leads to counts.
        struct stat named {};
        if (::lstat(path.c_str(), &named) == 0 && samePlace(named, opened)) return taken;
        taken.path_.clear();
    }
}

void LockFile::release() noexcept {
    if (handle_ < 0) return;
    // Removed while still held, so that no one takes a lock on a name that is
    // about to go.
    if (!path_.empty()) ::unlink(path_.c_str());
    ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace zfe::platform
