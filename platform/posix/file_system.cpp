#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "platform/os_error.h"
#include "platform/temporary_names.h"

namespace zfe::platform {

namespace {

constexpr const char* kSameFileReason = "origine e destinazione sono lo stesso file";
constexpr const char* kNotAFileReason = "non è un file (è una cartella, una pipe o un dispositivo)";

[[noreturn]] void throwLastError(const std::string& subject) {
    throw OsError(errno, subject);
}

bool ownerCannotWrite(const struct stat& status) {
    return (status.st_mode & S_IWUSR) == 0;
}

void closeRetainingErrno(int fd) {
    const int savedErrno = errno;
    ::close(fd);
    errno = savedErrno;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string temporaryNameCandidate(std::string_view prefix) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    return temporaryFileName(prefix, ::getpid(), counter.fetch_add(1), ticks & 0xffffffULL);
}

void writeAll(int fd, const void* data, std::size_t size, const std::string& subject) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throwLastError(subject);
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

class PosixFileSystemService final : public FileSystemService {
public:
    void copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override {
        // Without O_NONBLOCK the open of a named pipe would wait for a writer.
        const int sourceFd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (sourceFd < 0) throwLastError(source);
        try {
            copyOpenFile(sourceFd, source, destination, overwrite);
        } catch (...) {
            ::close(sourceFd);
            throw;
        }
        ::close(sourceFd);
    }

    void deleteFile(const std::string& path, bool force) override {
        // A link is deleted itself, as Windows deletes a link and not its target.
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) throwLastError(path);
        if (S_ISDIR(status.st_mode)) throw OsError(EISDIR, path);
        if (!S_ISLNK(status.st_mode) && ownerCannotWrite(status) && !force) {
            throw OsError(EACCES, path);
        }
        if (::unlink(path.c_str()) != 0) throwLastError(path);
    }

private:
    static void copyOpenFile(int sourceFd, const std::string& source,
                             const std::string& destination, bool overwrite) {
        struct stat sourceStatus {};
        if (::fstat(sourceFd, &sourceStatus) != 0) throwLastError(source);
        if (!S_ISREG(sourceStatus.st_mode)) {
            throw OsError(S_ISDIR(sourceStatus.st_mode) ? EISDIR : EINVAL, source, kNotAFileReason);
        }

        struct stat destinationStatus {};
        if (::stat(destination.c_str(), &destinationStatus) == 0) {
            // Checked before anything is written: writing the copy would
            // truncate the very file it reads from.
            if (destinationStatus.st_dev == sourceStatus.st_dev &&
                destinationStatus.st_ino == sourceStatus.st_ino) {
                throw OsError(EINVAL, destination, kSameFileReason);
            }
            if (!overwrite) throw OsError(EEXIST, destination);
        } else if (errno != ENOENT) {
            throwLastError(destination);
        }

        // Refuses a read-only or folder destination itself.
        FileReplacement replacement(destination);
        char buffer[64 * 1024];
        for (;;) {
            const ssize_t count = ::read(sourceFd, buffer, sizeof buffer);
            if (count < 0) {
                if (errno == EINTR) continue;
                throwLastError(source);
            }
            if (count == 0) break;
            replacement.write(buffer, static_cast<std::size_t>(count));
        }
        // The copy takes the source's permissions, as a Windows copy takes the
        // source's attributes: a copy of a read-only file is read-only.
        if (::chmod(replacement.temporaryPath().c_str(), sourceStatus.st_mode & 0777) != 0) {
            throwLastError(destination);
        }
        replacement.commit();
    }
};

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        return found->pw_dir;
    }
    return {};
}

}  // namespace

bool FileSystemService::canWriteIn(const std::string& folder) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) return false;
    if (ownerCannotWrite(status)) return false;
    for (;;) {
        const std::string probe = folder + "/" + temporaryNameCandidate(kProbePrefix);
        const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return ::unlink(probe.c_str()) == 0;
        }
        if (errno != EEXIST) return false;
    }
}

void FileSystemService::stageFile(const std::string& source, const std::string& destination) {
    // Another volume, a file system without links or a source that is no
    // regular file: the copy either makes the file or says why it cannot.
    struct stat status {};
    if (::stat(source.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        ::linkat(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return;
    }
    copyFile(source, destination, true);
}

std::unique_ptr<FileSystemService> makeFileSystemService() {
    return std::make_unique<PosixFileSystemService>();
}

bool fileExists(const std::string& path) noexcept {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && !S_ISDIR(status.st_mode);
}

bool directoryExists(const std::string& path) noexcept {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool isRegularFile(const std::string& path) noexcept {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool isSameFileOrFolder(const std::string& a, const std::string& b) noexcept {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool isHidden(const std::string&, const std::string& name) noexcept {
    return !name.empty() && name.front() == '.';
}

bool isReadOnly(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwLastError(path);
    return ownerCannotWrite(status);
}

void setReadOnly(const std::string& path, bool readOnly) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) throwLastError(path);
    mode_t mode = status.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (::chmod(path.c_str(), mode) != 0) throwLastError(path);
}

std::vector<std::string> listFiles(const std::string& folder) {
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) throwLastError(folder);
    DIR* directory = ::fdopendir(folderFd);
    if (directory == nullptr) {
        closeRetainingErrno(folderFd);
        throwLastError(folder);
    }
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory);
        if (entry == nullptr) break;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat status {};
            isFile = ::fstatat(folderFd, entry->d_name, &status, 0) == 0 && S_ISREG(status.st_mode);
        }
        if (isFile) names.emplace_back(entry->d_name);
    }
    const int readError = errno;
    ::closedir(directory);
    if (readError != 0) throw OsError(readError, folder);
    return names;
}

void createFolders(const std::string& path) {
    // Each folder on the way down, so that the failure names the one that
    // could not be made.
    std::size_t end = path.find_first_not_of('/');
    while (end != std::string::npos) {
        end = path.find('/', end);
        const std::string folder = path.substr(0, end);
        if (::mkdir(folder.c_str(), 0777) != 0) {
            const int error = errno;
            if (error != EEXIST) throw OsError(error, folder);
            if (!directoryExists(folder)) throw OsError(ENOTDIR, folder);
        }
        if (end != std::string::npos) end = path.find_first_not_of('/', end);
    }
}

std::string userDataFolder() {
    // A relative XDG_DATA_HOME is invalid by the XDG rules and is ignored.
    const char* xdgData = std::getenv("XDG_DATA_HOME");
    if (xdgData != nullptr && xdgData[0] == '/') return xdgData;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

std::string currentDirectory() {
    std::string buffer(256, '\0');
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            buffer.resize(std::char_traits<char>::length(buffer.c_str()));
            return buffer;
        }
        if (errno != ERANGE) throwLastError(".");
        buffer.resize(buffer.size() * 2);
    }
}

void changeCurrentDirectory(const std::string& path) {
    if (::chdir(path.c_str()) != 0) throwLastError(path);
}

FileReplacement::FileReplacement(std::string destination) : destination_(std::move(destination)) {
    // The read-only rule holds for a replaced file as for a copied one, root or not.
    struct stat status {};
    if (::stat(destination_.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) throw OsError(EISDIR, destination_);
        if (ownerCannotWrite(status)) throw OsError(EACCES, destination_);
    }
    const std::string folder = folderOf(destination_);
    for (;;) {
        temporaryPath_ = folder + "/" + temporaryNameCandidate(kReplacementPrefix);
        const int fd =
            ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
            return;
        }
        if (errno != EEXIST) throw OsError(errno, destination_);
    }
}

FileReplacement::~FileReplacement() {
    if (!committed_) discard();
}

void FileReplacement::write(const void* data, std::size_t size) {
    if (handle_ < 0) throw std::logic_error("FileReplacement::write after commit or discard");
    writeAll(static_cast<int>(handle_), data, size, destination_);
}

void FileReplacement::commit() {
    finish(true);
}

void FileReplacement::commitWithoutFlush() {
    finish(false);
}

void FileReplacement::finish(bool flush) {
    if (handle_ < 0) throw std::logic_error("FileReplacement::commit after commit or discard");
    const int fd = static_cast<int>(handle_);
    // Flushed before the rename so that a crash cannot leave the destination
    // renamed onto a file whose content never reached the disk.
    if (flush && ::fsync(fd) != 0 && errno != EINVAL) throwLastError(destination_);
    handle_ = -1;
    if (::close(fd) != 0 && errno != EINTR) throwLastError(destination_);
    if (::rename(temporaryPath_.c_str(), destination_.c_str()) != 0) throwLastError(destination_);
    committed_ = true;
}

void FileReplacement::discard() noexcept {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    if (!committed_ && !temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
}

}  // namespace zfe::platform
