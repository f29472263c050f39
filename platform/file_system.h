#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zfe::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Copy and delete with Windows semantics on every platform. The read-only rules
// are checked by the service itself, not left to the kernel, so they hold for
// root as well. Every failure throws OsError naming the path concerned.
class FileSystemService {
public:
    virtual ~FileSystemService() = default;

    // A relative source is taken relative to the current directory. Fails when
    // the source is missing or not a regular file (a pipe, a device or a
    // folder, which it never waits on), when the destination exists and overwrite is false
    // or the destination is read-only, and, touching nothing, when source and
    // destination are the same file. An existing destination is replaced
    // atomically: a failure part-way leaves it whole. The copy takes the
    // source's read-only-ness, as a Windows copy takes the source's attributes
    // (POSIX: the source's permission bits).
    virtual void copyFile(const std::string& source, const std::string& destination,
                          bool overwrite) = 0;

    // Fails when the path does not exist, and on a read-only file unless force.
    virtual void deleteFile(const std::string& path, bool force) = 0;

    // Whether files can be made in `folder`, found by creating and removing a
    // probe file there, never by asking who the user is. By the rule that makes
    // a file read-only, a POSIX folder whose owner has no write permission
    // counts as not writable, for root too. False for a missing folder; never
    // throws. Not pure, so that a test's stand-in need not provide it.
    virtual bool canWriteIn(const std::string& folder);

    // Puts `source` at `destination` (which must not exist) for a program that
    // only reads it: a hard link where the file system allows one, so that no
    // byte is copied, else a copy as copyFile makes it. On Windows a read-only
    // source is always copied: a link would share its read-only attribute, which
    // the forced delete of the staged file clears. Not pure, as above.
    virtual void stageFile(const std::string& source, const std::string& destination);
};

// The service over the real file system.
std::unique_ptr<FileSystemService> makeFileSystemService();

// True for an existing file or a link to one; false for a folder, a missing
// path, a path through a missing folder and the empty text. Never throws.
bool fileExists(const std::string& path) noexcept;

bool directoryExists(const std::string& path) noexcept;

// True for a regular file or a link to one: false for a folder, a pipe, a
// device, a missing path. Never throws and never waits on a pipe.
bool isRegularFile(const std::string& path) noexcept;

// True when both paths name one existing file or folder (same device and
// inode, or volume and file index), whatever their spelling. Never throws.
bool isSameFileOrFolder(const std::string& a, const std::string& b) noexcept;

// A file that a folder listing leaves out by the platform's custom: a name
// beginning with "." on POSIX, the hidden attribute on Windows.
bool isHidden(const std::string& folder, const std::string& name) noexcept;

// Read-only as Windows means it: the read-only attribute there, no owner write
// permission on POSIX.
bool isReadOnly(const std::string& path);
void setReadOnly(const std::string& path, bool readOnly);

// Names of the entries of a folder that are files (links to files included),
// in no particular order. Throws OsError when the folder cannot be read.
std::vector<std::string> listFiles(const std::string& folder);

// Makes a folder and every missing folder above it; a folder that exists
// already is no failure. Throws OsError naming the folder that could not be made.
void createFolders(const std::string& path);

// The user's own folder for program data, without a final separator: POSIX
// $XDG_DATA_HOME when it is absolute, else $HOME/.local/share (the home folder
// from the user database when HOME is unset); Windows %LOCALAPPDATA%. Empty
// when none is known.
std::string userDataFolder();

// The process-wide current directory.
std::string currentDirectory();
void changeCurrentDirectory(const std::string& path);

// Writes a file under a temporary name in the destination's folder and renames
// it onto the destination on commit, so that the destination is either its old
// self or the complete new content, never a partial file. An uncommitted
// replacement removes its temporary file when destroyed.
class FileReplacement {
public:
    explicit FileReplacement(std::string destination);  // throws OsError
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    void write(const void* data, std::size_t size);  // throws OsError
    void commit();                                   // throws OsError
    // As commit(), without first waiting for the content to reach the disk: for
    // a file that is made again by running again, where that wait would cost
    // more than a crash of the machine could.
    void commitWithoutFlush();  // throws OsError
    // Removes the temporary file and leaves the destination as it was.
    void discard() noexcept;

    const std::string& temporaryPath() const noexcept { return temporaryPath_; }
    const std::string& destination() const noexcept { return destination_; }

private:
    void finish(bool flush);

    std::string destination_;
    std::string temporaryPath_;
    std::intptr_t handle_ = -1;  // fd on POSIX, HANDLE on Windows
    bool committed_ = false;
};

}  // namespace zfe::platform
