#include "tools/zandorel/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#endif

namespace zfe::zandorel {

namespace {

#ifdef _WIN32
using FileStatus = struct _stat64;
int openForReading(const std::string& path) {
    return _open(path.c_str(), _O_RDONLY | _O_BINARY);
}
int statusOf(int fd, FileStatus& status) {
    return _fstat64(fd, &status);
}
long readSome(int fd, char* into, std::size_t count) {
    return _read(fd, into, static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30)));
}
void closeInput(int fd) {
    _close(fd);
}
bool isFolder(const FileStatus& status) {
    return (status.st_mode & _S_IFDIR) != 0;
}
bool isRegular(const FileStatus& status) {
    return (status.st_mode & _S_IFREG) != 0;
}
long long modifiedNanoseconds(const FileStatus& status) {
    return static_cast<long long>(status.st_mtime) * 1000000000LL;
}
#else
using FileStatus = struct stat;
int openForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
int statusOf(int fd, FileStatus& status) {
    return ::fstat(fd, &status);
}
long readSome(int fd, char* into, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(fd, into, std::min<std::size_t>(count, 1U << 30));
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}
void closeInput(int fd) {
    ::close(fd);
}
bool isFolder(const FileStatus& status) {
    return S_ISDIR(status.st_mode);
}
bool isRegular(const FileStatus& status) {
    return S_ISREG(status.st_mode);
}
long long modifiedNanoseconds(const FileStatus& status) {
#if defined(__APPLE__)
    return status.st_mtimespec.tv_sec * 1000000000LL + status.st_mtimespec.tv_nsec;
#else
    return status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
#endif
}
#endif

[[noreturn]] void failReading(const std::string& path, const std::string& what, int error) {
    throw DatError(path, what + ": " + std::strerror(error));
}

[[noreturn]] void failFolder(const std::string& path) {
    throw DatError(path, "this is a folder, not a dat file");
}

const char* const kChanged = "the file changed while it was read; run again when it is complete";

// A pipe, a terminal or a device: no size to trust, read until it ends.
Bytes readStream(int fd, const std::string& path) {
    std::string text;
    char chunk[65536];
    for (;;) {
        const long got = readSome(fd, chunk, sizeof chunk);
        if (got < 0) failReading(path, "cannot read the file", errno);
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return Bytes(text);
}

// The size that the file had when it was opened is read in one go; a shorter
// read, more bytes after it or another size or time afterwards mean that
// someone writes the file meanwhile, and the bytes may be any mix of old and new.
Bytes readRegular(int fd, const std::string& path, const FileStatus& before) {
    const auto size = static_cast<std::size_t>(before.st_size);
    Bytes bytes(size);
    std::size_t filled = 0;
    while (filled < size) {
        const long got = readSome(fd, bytes.data() + filled, size - filled);
        if (got < 0) failReading(path, "cannot read the file", errno);
        if (got == 0) throw DatError(path, kChanged);
        filled += static_cast<std::size_t>(got);
    }
    char extra = 0;
    const long more = readSome(fd, &extra, 1);
    if (more < 0) failReading(path, "cannot read the file", errno);
    FileStatus after{};
    if (more > 0 || statusOf(fd, after) != 0 || after.st_size != before.st_size ||
        modifiedNanoseconds(after) != modifiedNanoseconds(before)) {
        throw DatError(path, kChanged);
    }
    return bytes;
}

#ifndef _WIN32

// A file mapped into memory takes its bytes straight from the system's cache:
// nothing is copied and no fresh memory is filled, which at hundreds of
// megabytes is most of the cost of reading. But a mapped file that shrinks
// makes the reader's next access to a page past its new end a SIGBUS. The
// handler below puts a page of zeros there instead and notes the fault; the
// parse goes on over bytes that make no sense, and the check afterwards says
// that the file changed while it was read.
struct Guard {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};
Guard guards[16];
std::uintptr_t pageSize = 4096;

void onBusError(int, siginfo_t* info, void*) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Guard& guard : guards) {
        const std::uintptr_t begin = guard.begin.load();
        if (begin == 0 || address < begin || address >= guard.end.load()) continue;
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            guard.faulted.store(true);
            return;
        }
    }
    // Not a mapping of ours: the fault stays what it is.
    signal(SIGBUS, SIG_DFL);
}

bool installHandler() {
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        installed = sigaction(SIGBUS, &action, nullptr) == 0;
    });
    return installed;
}

class MappedFile final : public Bytes::Owner {
public:
    MappedFile(int fd, const FileStatus& status, void* address, std::size_t size, Guard& guard)
        : fd_(fd), status_(status), address_(address), size_(size), guard_(guard) {}
    ~MappedFile() override {
        munmap(address_, size_);
        guard_.end.store(0);
        guard_.begin.store(0);
        closeInput(fd_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool unchanged() const override {
        FileStatus now{};
        return !guard_.faulted.load() && statusOf(fd_, now) == 0 &&
               now.st_size == status_.st_size &&
               modifiedNanoseconds(now) == modifiedNanoseconds(status_);
    }

    // Pages are let go a step behind the pass and mapped two steps ahead of it,
    // each step in one call rather than a fault per page. A pass that starts
    // again further back (the writer after the reader) starts a new window.
    // The diff dat's writer and the report may pass through one file at once.
    void passed(std::size_t offset) const override {
        constexpr std::size_t kStep = std::size_t{2} << 20;  // a multiple of every page size
        const std::lock_guard<std::mutex> lock(window_);
        char* const base = static_cast<char*>(address_);
        if (offset < behind_) behind_ = ahead_ = offset / kStep * kStep;
        if (offset >= behind_ + 2 * kStep) {
            const std::size_t upTo = (offset - kStep) / kStep * kStep;
            madvise(base + behind_, upTo - behind_, MADV_DONTNEED);
            behind_ = upTo;
            ahead_ = std::max(ahead_, behind_);
        }
        if (ahead_ < size_ && offset + kStep > ahead_) {
            const std::size_t end = std::min(size_, offset / kStep * kStep + 2 * kStep);
#ifdef MADV_POPULATE_READ
            // Where the system cannot, the pages fault in one by one instead.
            madvise(base + ahead_, end - ahead_, MADV_POPULATE_READ);
#endif
            ahead_ = end;
        }
    }

private:
    int fd_;
    FileStatus status_;
    void* address_;
    std::size_t size_;
    Guard& guard_;
    mutable std::mutex window_;
    mutable std::size_t behind_ = 0;
    mutable std::size_t ahead_ = 0;
};

// The file mapped, or empty bytes where it cannot be (then it is read). Takes
// over `fd` when it succeeds.
Bytes mapRegular(int fd, const FileStatus& status) {
    const auto size = static_cast<std::size_t>(status.st_size);
    if (!installHandler()) return {};
    Guard* guard = nullptr;
    for (Guard& candidate : guards) {
        std::uintptr_t free = 0;
        if (candidate.begin.compare_exchange_strong(free, 1)) {
            guard = &candidate;
            break;
        }
    }
    if (guard == nullptr) return {};
    // Not populated whole: the readers map it a few megabytes at a time.
    void* address = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED) {
        guard->begin.store(0);
        return {};
    }
    guard->faulted.store(false);
    guard->end.store(reinterpret_cast<std::uintptr_t>(address) + size);
    guard->begin.store(reinterpret_cast<std::uintptr_t>(address));
    return Bytes(static_cast<const char*>(address), size,
                 std::make_unique<MappedFile>(fd, status, address, size, *guard));
}

#endif

std::string hexWord(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

}  // namespace

Bytes readInputFile(const std::string& path) {
    const int fd = openForReading(path);
    if (fd < 0) {
        const int error = errno;
        std::error_code ignored;
        // Windows refuses to open a folder as a file at all.
        if (std::filesystem::is_directory(path, ignored)) failFolder(path);
        failReading(path, "cannot open the file", error);
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd >= 0) closeInput(fd);
        }
    } closer{fd};
    FileStatus status{};
    if (statusOf(fd, status) != 0) failReading(path, "cannot read the file", errno);
    if (isFolder(status)) failFolder(path);
    // Files of the kernel's own (/proc) say 0 bytes and have more to give.
    if (!isRegular(status) || status.st_size == 0) return readStream(fd, path);
#ifndef _WIN32
    if (Bytes mapped = mapRegular(fd, status); mapped.size() > 0) {
        closer.fd = -1;  // the mapping keeps it, to tell whether the file changed
        return mapped;
    }
#endif
    return readRegular(fd, path, status);
}

void requireUnchanged(const Dat& dat) {
    if (!dat.storage.unchanged()) throw DatError(dat.path, kChanged);
}

#ifdef _WIN32

FileIdentity identityOf(const std::string& path) {
    FileIdentity identity;
    // No access asked for: the identity of a file that others hold open.
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return identity;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(handle, &information)) {
        identity.volume = information.dwVolumeSerialNumber;
        identity.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) |
                         information.nFileIndexLow;
        identity.exists = true;
    }
    CloseHandle(handle);
    return identity;
}

bool isPlainFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = path_ + "." + hexWord(freshRandom()) + ".tmp";
        const HANDLE handle = CreateFileA(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            handle_ = reinterpret_cast<std::intptr_t>(handle);
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            throw std::runtime_error("cannot create " + temporary_ + ": " +
                                     std::system_category().message(static_cast<int>(error)));
        }
    }
    throw std::runtime_error("cannot create a temporary file beside " + path_);
}

void OutputFile::writeOut(std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1U << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), text.data() + done, chunk, &wrote,
                       nullptr)) {
            throw std::runtime_error(
                "cannot write " + temporary_ + ": " +
                std::system_category().message(static_cast<int>(GetLastError())));
        }
        done += wrote;
    }
}

void OutputFile::closeHandle() {
    if (handle_ == -1) return;
    const HANDLE handle = reinterpret_cast<HANDLE>(handle_);
    handle_ = -1;
    if (!CloseHandle(handle)) {
        throw std::runtime_error("cannot write " + temporary_ + ": " +
                                 std::system_category().message(static_cast<int>(GetLastError())));
    }
}

#else

FileIdentity identityOf(const std::string& path) {
    FileIdentity identity;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        identity.volume = static_cast<std::uint64_t>(status.st_dev);
        identity.index = static_cast<std::uint64_t>(status.st_ino);
        identity.exists = true;
    }
    return identity;
}

bool isPlainFile(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = path_ + "." + hexWord(freshRandom()) + ".tmp";
        const int fd =
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            handle_ = fd;
            return;
        }
        if (errno != EEXIST) {
            throw std::runtime_error("cannot create " + temporary_ + ": " + std::strerror(errno));
        }
    }
    throw std::runtime_error("cannot create a temporary file beside " + path_);
}

void OutputFile::writeOut(std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote =
            ::write(static_cast<int>(handle_), text.data() + done, text.size() - done);
        if (wrote < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("cannot write " + temporary_ + ": " + std::strerror(errno));
        }
        done += static_cast<std::size_t>(wrote);
    }
}

void OutputFile::closeHandle() {
    if (handle_ == -1) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0) {
        throw std::runtime_error("cannot write " + temporary_ + ": " + std::strerror(errno));
    }
}

#endif

OutputFile::~OutputFile() {
    if (committed_) return;
    try {
        closeHandle();
    } catch (const std::exception&) {
        // The temporary goes anyway; the reason for giving it up is reported already.
    }
    std::remove(temporary_.c_str());
}

void OutputFile::flush() {
    writeOut(buffer_);
    buffer_.clear();
}

// Small pieces are gathered; a piece as large as the buffer goes out as it is,
// not copied first.
void OutputFile::write(std::string_view text) {
    constexpr std::size_t kBufferSize = 1U << 20;
    if (text.size() >= kBufferSize) {
        flush();
        writeOut(text);
        return;
    }
    // The buffer takes its full size once and never outgrows it: grown step by
    // step, it would be copied and its fresh pages faulted in at every step.
    if (buffer_.size() + text.size() > kBufferSize) flush();
    if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
    buffer_.append(text);
    if (buffer_.size() >= kBufferSize) flush();
}

void OutputFile::commit() {
    flush();
    closeHandle();
    // std::filesystem::rename replaces an existing file on Windows as well.
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    if (error) {
        throw std::runtime_error("cannot rename " + temporary_ + " to " + path_ + ": " +
                                 error.message());
    }
    committed_ = true;
}

void writeFileReplacing(const std::string& path, std::string_view content) {
    OutputFile file(path);
    file.write(content);
    file.commit();
}

}  // namespace zfe::zandorel
