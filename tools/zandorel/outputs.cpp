#include "tools/zandorel/outputs.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/file_name_rules.h"
#include "platform/win32/wide_text.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#endif

#include "platform/os_error.h"
#include "tools/zandorel/field_text.h"

namespace zfe::zandorel {

namespace {

enum class PathKind { Missing, File, Folder, Pipe, Device, Socket };

const char* const kFilesOnly = "zandorel writes its outputs to regular files only";

#ifdef _WIN32
constexpr std::string_view kSeparators = "\\/";
#else
constexpr std::string_view kSeparators = "/";
#endif

std::string_view lastName(std::string_view path) {
    const std::size_t separator = path.find_last_of(kSeparators);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

// Names that stand for a folder whether or not it is there: "dd/", ".", "..",
// and on Windows a drive's current folder ("D:").
bool namesAFolder(std::string_view path) {
    const std::string_view name = lastName(path);
#ifdef _WIN32
    if (name.size() == 2 && name[1] == ':') return true;
#endif
    return name.empty() || name == "." || name == "..";
}

#ifdef _WIN32
using platform::win32::toUtf8;
using platform::win32::toWide;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opened for nothing but questions, the file a link names rather than the link.
HANDLE openToAsk(const std::wstring& path) {
    return CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
}

PathKind kindOf(const std::string& path) {
    const std::wstring wide = toWide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return PathKind::Folder;
    }
    // CON, NUL, COM1, ... stand in every folder, with any extension.
    if (platform::fileNameProblem("", lastName(path)) == platform::FileNameProblem::ReservedName) {
        return PathKind::Device;
    }
    const HANDLE file = openToAsk(wide);
    if (file == INVALID_HANDLE_VALUE) return PathKind::Missing;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    if (type == FILE_TYPE_DISK) return PathKind::File;
    return type == FILE_TYPE_PIPE ? PathKind::Pipe : PathKind::Device;
}

// The full path of the file that an existing name leads to, through any link:
// a link is a reparse point, which a rename would replace with a file of its
// own. Asked of every existing file, so that the one way is the tested way.
std::string followLinks(const std::string& name, bool& linked) {
    const std::wstring wide = toWide(name);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return name;
    }
    linked = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    std::wstring final;
    const HANDLE file = openToAsk(wide);
    if (file != INVALID_HANDLE_VALUE) {
        if (GetFileType(file) == FILE_TYPE_DISK) {
            constexpr DWORD kHow = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
            final.resize(MAX_PATH);
            DWORD length = GetFinalPathNameByHandleW(file, final.data(),
                                                     static_cast<DWORD>(final.size()), kHow);
            if (length >= final.size()) {
                final.resize(length);
                length = GetFinalPathNameByHandleW(file, final.data(),
                                                   static_cast<DWORD>(final.size()), kHow);
            }
            final.resize(length < final.size() ? length : 0);
        }
        CloseHandle(file);
    }
    if (!final.empty()) return toUtf8(final.data(), final.size());
    if (linked) {
        throw OutputRefused(pathText(name) +
                            ": a link to a file that cannot be found; name the file itself");
    }
    return name;
}

// A new file at the path for as long as it is held, removed when let go (by
// the system, should the run be ended meanwhile).
class MomentaryFile {
public:
    explicit MomentaryFile(const std::string& path)
        : handle_(CreateFileW(toWide(path).c_str(), GENERIC_WRITE | DELETE, kShareAll, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr)) {}
    ~MomentaryFile() {
        if (made()) CloseHandle(handle_);
    }
    MomentaryFile(const MomentaryFile&) = delete;
    MomentaryFile& operator=(const MomentaryFile&) = delete;
    bool made() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};
#else
PathKind kindOf(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return PathKind::Missing;
    if (S_ISREG(status.st_mode)) return PathKind::File;
    if (S_ISDIR(status.st_mode)) return PathKind::Folder;
    if (S_ISFIFO(status.st_mode)) return PathKind::Pipe;
    if (S_ISSOCK(status.st_mode)) return PathKind::Socket;
    return PathKind::Device;
}

// The path that a chain of symbolic links ends at, which need not exist: a
// link to a missing file makes that file.
std::string followLinks(const std::string& name, bool& linked) {
    constexpr int kMostLinks = 40;  // as the kernel follows them
    std::string path = name;
    for (int links = 0;; ++links) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
        linked = true;
        if (links == kMostLinks) {
            throw OutputRefused(pathText(name) + ": too many symbolic links in a row");
        }
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) == sizeof target) return path;
        const std::size_t folderEnd = path.find_last_of('/');
        const std::string folder =
            target[0] == '/' || folderEnd == std::string::npos ? "" : path.substr(0, folderEnd + 1);
        path = folder + std::string(target, static_cast<std::size_t>(length));
    }
}

class MomentaryFile {
public:
    explicit MomentaryFile(const std::string& path) : path_(path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        made_ = fd >= 0;
        if (made_) ::close(fd);
    }
    ~MomentaryFile() {
        if (made_) ::unlink(path_.c_str());
    }
    MomentaryFile(const MomentaryFile&) = delete;
    MomentaryFile& operator=(const MomentaryFile&) = delete;
    bool made() const { return made_; }

private:
    std::string path_;
    bool made_ = false;
};
#endif

// Refuses a target that is no regular file.
void requireFileOrNothing(const std::string& target, const std::string& shown) {
    const char* what = nullptr;
    switch (kindOf(target)) {
        case PathKind::Missing:
        case PathKind::File:
            return;
        case PathKind::Folder:
            what = "a folder";
            break;
        case PathKind::Pipe:
            what = "a named pipe";
            break;
        case PathKind::Device:
            what = "a device";
            break;
        case PathKind::Socket:
            what = "a socket";
            break;
    }
    throw OutputRefused(shown + ": this is " + what + ", and " + kFilesOnly);
}

}  // namespace

OutputTarget outputTarget(const std::string& name) {
    OutputTarget target{name, pathText(name)};
    if (namesAFolder(name)) {
        throw OutputRefused(target.shown + ": this names a folder, and " + kFilesOnly);
    }
    bool linked = false;
    target.path = followLinks(name, linked);
    if (linked) target.shown += " (a link to " + pathText(target.path) + ")";
    if (namesAFolder(target.path)) {
        throw OutputRefused(target.shown + ": this names a folder, and " + kFilesOnly);
    }
    requireFileOrNothing(target.path, target.shown);
    return target;
}

bool isOneOutput(const std::string& first, const std::string& second) {
    if (platform::isSameFileOrFolder(first, second)) return true;
    if (kindOf(first) != PathKind::Missing || kindOf(second) != PathKind::Missing) return false;
    const MomentaryFile probe(first);
    return probe.made() && platform::isSameFileOrFolder(first, second);
}

template <typename Step>
void Output::asNamed(const Step& step) {
    try {
        step();
    } catch (const platform::OsError& error) {
        throw platform::OsError(error.errorNumber(), target_.shown, error.reason());
    }
}

Output::Output(const OutputTarget& target) : target_(target) {
    asNamed([&] { file_.emplace(target_.path); });
}

void Output::write(std::string_view text) {
    constexpr std::size_t kBufferSize = 1U << 20;
    if (buffer_.size() + text.size() > kBufferSize) finish();
    if (text.size() >= kBufferSize) {
        asNamed([&] { file_->write(text.data(), text.size()); });
        return;
    }
    if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
    buffer_.append(text);
}

void Output::finish() {
    asNamed([&] { file_->write(buffer_.data(), buffer_.size()); });
    buffer_.clear();
}

void Output::commit() {
    finish();
    // What took the target's place while the run read its inputs is left as it is.
    requireFileOrNothing(target_.path, target_.shown);
    asNamed([&] { file_->commitWithoutFlush(); });
}

}  // namespace zfe::zandorel
