#include "tools/zandorel/dat_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
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

#ifdef _WIN32
#include "platform/win32/wide_text.h"
#endif
#include "tools/zandorel/listinfo_reader.h"
#include "tools/zandorel/xml_reader.h"

namespace zfe::zandorel {

namespace {

constexpr std::size_t kTooLarge = 0x80000000U;
const char* const kTooLargeReason = "the file is too large (2 GB or more)";
const char* const kChanged = "the file changed while it was read; run again when it is complete";

#ifdef _WIN32
using FileStatus = struct _stat64;
int openForReading(const std::string& path) {
    return _wopen(platform::win32::toWide(path).c_str(), _O_RDONLY | _O_BINARY);
}
int statusOf(int fd, FileStatus& status) {
    return _fstat64(fd, &status);
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
// At most `count` bytes from `offset` on (a stream: from where it stands, when
// `offset` is negative); -1 with errno set on failure.
long readSome(int fd, char* into, std::size_t count, long long offset) {
    const auto chunk = static_cast<unsigned>(std::min<std::size_t>(count, 1U << 30));
    if (offset < 0) return _read(fd, into, chunk);
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
    DWORD got = 0;
    if (!ReadFile(handle, into, chunk, &got, &at)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return 0;
        errno = EIO;
        return -1;
    }
    return static_cast<long>(got);
}
#else
using FileStatus = struct stat;
int openForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}
int statusOf(int fd, FileStatus& status) {
    return ::fstat(fd, &status);
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
long readSome(int fd, char* into, std::size_t count, long long offset) {
    count = std::min<std::size_t>(count, 1U << 30);
    for (;;) {
        const ssize_t got = offset < 0 ? ::read(fd, into, count)
                                       : ::pread(fd, into, count, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) return static_cast<long>(got);
    }
}
#endif

// The input, opened once: a named pipe gives its data once.
class InputFile {
public:
    explicit InputFile(std::string path) : path_(std::move(path)) {
        fd_ = openForReading(path_);
        if (fd_ < 0) {
            const int error = errno;
            std::error_code ignored;
            // Windows refuses to open a folder as a file at all.
            if (std::filesystem::is_directory(path_, ignored)) failFolder();
            fail("cannot open the file", error);
        }
        if (statusOf(fd_, status_) != 0) fail("cannot read the file", errno);
        if (isFolder(status_)) failFolder();
    }
    ~InputFile() { closeInput(fd_); }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Files of the kernel's own (/proc) say 0 bytes and have more to give.
    bool isStream() const { return !isRegular(status_) || status_.st_size == 0; }
    std::size_t size() const { return static_cast<std::size_t>(status_.st_size); }

    // The same size and time as when it was opened, and never found shorter.
    bool unchanged() const {
        FileStatus now{};
        return !shrank_ && statusOf(fd_, now) == 0 && now.st_size == status_.st_size &&
               modifiedNanoseconds(now) == modifiedNanoseconds(status_);
    }

    // Bytes [begin, end) of a regular file, which must all be there.
    void read(std::size_t begin, std::size_t end, char* into) const {
        while (begin < end) {
            const long got = readSome(fd_, into, end - begin, static_cast<long long>(begin));
            if (got < 0) fail("cannot read the file", errno);
            if (got == 0) {
                shrank_ = true;
                throw DatError(path_, kChanged);
            }
            begin += static_cast<std::size_t>(got);
            into += got;
        }
    }

    // Bytes [begin, end) of a regular file read again into `scratch`.
    std::string_view readAgain(std::size_t begin, std::size_t end, std::string& scratch) const {
        scratch.resize(end - begin);
        read(begin, end, scratch.data());
        return scratch;
    }

    // The whole regular file; one byte more than it had when it was opened
    // means that someone writes it meanwhile.
    Bytes readWhole() const {
        Bytes bytes(size());
        read(0, size(), bytes.data());
        char extra = 0;
        const long more = readSome(fd_, &extra, 1, static_cast<long long>(size()));
        if (more < 0) fail("cannot read the file", errno);
        if (more > 0 || !unchanged()) throw DatError(path_, kChanged);
        return bytes;
    }

    // A pipe or device to its end, its first NUL byte or 2 GB: what a file
    // could give, and no more.
    Bytes readStream() const {
        std::string text;
        char chunk[65536];
        for (;;) {
            const long got = readSome(fd_, chunk, sizeof chunk, -1);
            if (got < 0) fail("cannot read the file", errno);
            if (got == 0) break;
            const auto count = static_cast<std::size_t>(got);
            const void* nul = std::memchr(chunk, '\0', count);
            const std::size_t kept =
                nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - chunk) + 1
                               : count;
            if (text.size() + kept >= kTooLarge) throw DatError(path_, kTooLargeReason);
            text.append(chunk, kept);
            if (nul != nullptr) break;
        }
        return Bytes(text);
    }

    const std::string& path() const { return path_; }
    int descriptor() const { return fd_; }
    // Found shorter than it was by a reader of its own bytes.
    void noteCutShort() const { shrank_ = true; }

private:
    [[noreturn]] void fail(const std::string& what, int error) const {
        throw DatError(path_, what + ": " + std::strerror(error));
    }
    [[noreturn]] void failFolder() const {
        throw DatError(path_, "this is a folder, not a dat file");
    }

    std::string path_;
    int fd_ = -1;
    FileStatus status_{};
    mutable bool shrank_ = false;
};

// A regular file read whole at once: nothing to read again.
class WholeFile final : public Bytes::Owner {
public:
    explicit WholeFile(std::shared_ptr<const InputFile> file) : file_(std::move(file)) {}
    bool unchanged() const override { return file_->unchanged(); }
    void passed(std::size_t) override {}
    bool whole() const override { return true; }
    std::string_view readAgain(std::size_t, std::size_t, std::string&) const override { return {}; }

private:
    std::shared_ptr<const InputFile> file_;
};

// A large regular file read as the reader goes: its bytes stand where they
// stand in the file, in memory of the file's size of which only the pages about
// the reader are ever filled. The reader never looks further back than `ahead`
// before where it last told that it has got to, nor further ahead (a longer
// element runs into bytes not yet read, and the dat is then read again whole).
// The memory is filled a step at a time, and a step well behind the reader is
// given back. Where the system can map the file, it is read as a MappedFile.
class StreamedFile final : public Bytes::Owner {
public:
    StreamedFile(std::shared_ptr<const InputFile> file, char* memory, std::size_t ahead)
        : file_(std::move(file)),
          memory_(memory),
          memoryBytes_(file_->size() + 1),
          ahead_(ahead),
          // As large as the reach allows, up to 8 MB: each discard stops the
          // other reading thread for the system's flush of its address cache.
          step_(std::clamp(ahead / kLargePage * kLargePage, kLargePage, 4 * kLargePage)),
          // Steps start at whole large pages of the address, so that they go whole.
          firstStep_((kLargePage - reinterpret_cast<std::uintptr_t>(memory) % kLargePage) %
                     kLargePage),
          released_(firstStep_) {}

    bool unchanged() const override { return file_->unchanged(); }
    bool whole() const override { return false; }

    void passed(std::size_t offset) override {
        const std::size_t size = file_->size();
        const std::size_t wanted = std::min(size, offset + ahead_);
        const std::size_t behind = offset > ahead_ ? offset - ahead_ : 0;
        while (filled_ < wanted) {
            const std::size_t next = std::min(size, stepAfter(filled_));
            if (next - filled_ == step_ && released_ + step_ <= behind) {
                discardLarge(memory_, memoryBytes_, released_, released_ + step_);
                released_ += step_;
            }
            file_->read(filled_, next, memory_ + filled_);
            filled_ = next;
        }
    }

    std::string_view readAgain(std::size_t begin, std::size_t end,
                               std::string& scratch) const override {
        return file_->readAgain(begin, end, scratch);
    }

    bool readToTheEnd() const { return filled_ == file_->size(); }

private:
    static constexpr std::size_t kLargePage = std::size_t{2} << 20;

    std::size_t stepAfter(std::size_t offset) const {
        if (offset < firstStep_) return firstStep_;
        return firstStep_ + ((offset - firstStep_) / step_ + 1) * step_;
    }

    std::shared_ptr<const InputFile> file_;
    char* memory_;
    std::size_t memoryBytes_;
    std::size_t ahead_;
    std::size_t step_;
    std::size_t firstStep_;
    std::size_t filled_ = 0;
    std::size_t released_;
};

#ifndef _WIN32
// Another program may cut a mapped file short while it is read: the pages past
// its new end then raise SIGBUS. Within a mapping that it watches, the handler
// puts a page of zeros there, which the readers take for the end of the text,
// and notes it, so that the file is told as changed; any other SIGBUS goes on
// to whatever handled it before.
class TruncationGuard {
public:
    static constexpr int kNone = -1;

    // A slot that watches [begin, begin + length), or kNone when all are taken.
    static int watch(const char* begin, std::size_t length) {
        std::call_once(installed_, install);
        if (!handling_) return kNone;
        for (int slot = 0; slot < kSlots; ++slot) {
            std::uintptr_t free = 0;
            // Claimed with an address that no fault has, until its end is set.
            if (!begins_[slot].compare_exchange_strong(free, kClaimed)) continue;
            hits_[slot].store(false);
            ends_[slot].store(reinterpret_cast<std::uintptr_t>(begin) + length);
            begins_[slot].store(reinterpret_cast<std::uintptr_t>(begin));
            return slot;
        }
        return kNone;
    }

    static void unwatch(int slot) {
        begins_[slot].store(kClaimed);
        ends_[slot].store(0);
        begins_[slot].store(0);
    }

    static bool hit(int slot) { return hits_[slot].load(); }

private:
    static constexpr int kSlots = 16;
    static constexpr std::uintptr_t kClaimed = 1;

    static void install() {
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        // Asked here: the handler may only make calls that are safe in one.
        pageSize_ = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        handling_ = sigaction(SIGBUS, &action, &previous_) == 0;
    }

    static void onBusError(int, siginfo_t* info, void*) {
        const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        const std::uintptr_t page = pageSize_;
        for (int slot = 0; slot < kSlots; ++slot) {
            const std::uintptr_t begin = begins_[slot].load();
            if (begin <= kClaimed || address < begin || address >= ends_[slot].load()) continue;
            void* const zeros = reinterpret_cast<void*>(address / page * page);
            if (mmap(zeros, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
                MAP_FAILED) {
                hits_[slot].store(true);
                return;
            }
        }
        // Not ours: the fault comes again, to the handler before ours.
        sigaction(SIGBUS, &previous_, nullptr);
    }

    static inline std::once_flag installed_;
    static inline bool handling_ = false;
    static inline std::uintptr_t pageSize_ = 0;
    static inline struct sigaction previous_ {};
    static inline std::atomic<std::uintptr_t> begins_[kSlots]{};
    static inline std::atomic<std::uintptr_t> ends_[kSlots]{};
    static inline std::atomic<bool> hits_[kSlots]{};
};

// A large regular file read through a mapping of the system's cache of it:
// no copy of its bytes and no fresh memory to fill, which cost more than the
// reading itself. Zeros follow the file's last byte (its last part page is a
// copy). The pages ahead of the reader are mapped a step ahead of it, and those
// well behind it given back, so that the process holds about two steps of the
// file at a time; a byte behind it that is touched again comes back from the
// cache, and the writer's reads go to the file, as they would for a file read
// into memory.
class MappedFile final : public Bytes::Owner {
public:
    // The file's bytes, or empty bytes when the system cannot map it.
    static Bytes map(const std::shared_ptr<const InputFile>& file, std::size_t ahead) {
        const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t size = file->size();
        const std::size_t wholePages = size / page * page;
        const std::size_t areaBytes = wholePages + page;
        void* const area = mmap(nullptr, areaBytes, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (area == MAP_FAILED) return {};
        auto mapped =
            std::make_unique<MappedFile>(file, static_cast<char*>(area), areaBytes, page, ahead);
        if (mmap(area, wholePages, PROT_READ, MAP_PRIVATE | MAP_FIXED, file->descriptor(), 0) ==
                MAP_FAILED ||
            mapped->slot_ == TruncationGuard::kNone) {
            return {};
        }
        // The file's last part page is copied, not mapped: a mapped one shows
        // what another program appends to the file past its end, in place of
        // the NUL that the readers stop at.
        file->read(wholePages, size, mapped->area_ + wholePages);
        if (mprotect(mapped->area_ + wholePages, page, PROT_READ) != 0) return {};
        char* const bytes = mapped->area_;
        return Bytes(bytes, size, std::move(mapped));
    }

    MappedFile(std::shared_ptr<const InputFile> file, char* area, std::size_t areaBytes,
               std::size_t page, std::size_t ahead)
        : file_(std::move(file)),
          area_(area),
          areaBytes_(areaBytes),
          page_(page),
          // At least a page: what is given back then never reaches the copied
          // last part page, whose bytes would come back as zeros.
          ahead_(std::max(ahead, page)),
          step_(std::max(page, ahead / 4 / page * page)),
          slot_(TruncationGuard::watch(area, areaBytes)) {}

    ~MappedFile() override {
        if (slot_ != TruncationGuard::kNone) {
            // The file outlives its mapping in the messages that follow.
            if (TruncationGuard::hit(slot_)) file_->noteCutShort();
            TruncationGuard::unwatch(slot_);
        }
        munmap(area_, areaBytes_);
    }

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool unchanged() const override { return !TruncationGuard::hit(slot_) && file_->unchanged(); }
    bool whole() const override { return false; }

    void passed(std::size_t offset) override {
        const std::size_t size = file_->size();
        while (mapped_ < size && mapped_ < offset + ahead_) {
            const std::size_t length = std::min(step_, size - mapped_);
            // A hint: a page that it cannot map is mapped when it is touched.
#ifdef MADV_POPULATE_READ
            madvise(area_ + mapped_, length, MADV_POPULATE_READ);
#else
            madvise(area_ + mapped_, length, MADV_WILLNEED);
#endif
            mapped_ += length;
        }
        const std::size_t behind = offset > ahead_ ? (offset - ahead_) / page_ * page_ : 0;
        // Given back a reach at a time: each call stops the other reading
        // thread for the system's flush of its address cache.
        if (behind >= released_ + ahead_) {
            madvise(area_ + released_, behind - released_, MADV_DONTNEED);
            released_ = behind;
        }
    }

    std::string_view readAgain(std::size_t begin, std::size_t end,
                               std::string& scratch) const override {
        return file_->readAgain(begin, end, scratch);
    }

private:
    std::shared_ptr<const InputFile> file_;
    char* area_;
    std::size_t areaBytes_;
    std::size_t page_;
    std::size_t ahead_;
    std::size_t step_;
    int slot_;
    std::size_t mapped_ = 0;
    std::size_t released_ = 0;
};
#endif

}  // namespace

Dat parseDat(std::string_view text, std::string path, DeviceRefs devices) {
    return parseDat(Bytes(text), std::move(path), devices);
}

Dat parseDat(Bytes bytes, std::string path, DeviceRefs devices) {
    Dat dat;
    dat.path = std::move(path);
    dat.readDevices = devices == DeviceRefs::Read;
    dat.storage = std::move(bytes);
    dat.text = dat.storage.view();
    if (dat.text.size() >= kTooLarge) throw DatError(dat.path, kTooLargeReason);
    dat.storage.passed(0);
    // The first line end tells the file's own; it stands within the bytes read
    // ahead, or the file has lines too long to care.
    const std::string_view start = dat.text.substr(0, std::size_t{1} << 16);
    const std::size_t newline = start.find_first_of("\r\n");
    if (newline != std::string::npos && start[newline] == '\r') {
        const bool crlf = newline + 1 < start.size() && start[newline + 1] == '\n';
        dat.lineEnd = crlf ? "\r\n" : "\r";
    }
    dat.format = detectFormat(start);
    // Address space only: the pages that the copies never reach are never used.
    dat.decoded.reserve(dat.text.size() / 2);
    if (dat.format == DatFormat::Xml) {
        parseXml(dat);
    } else {
        parseListinfo(dat);
    }
    dat.indexGames();
    return dat;
}

Dat readDatFile(const std::string& path, std::size_t readAhead, DeviceRefs devices) {
    const auto file = std::make_shared<const InputFile>(path);
    if (file->isStream()) return parseDat(file->readStream(), path, devices);
    if (file->size() >= kTooLarge) throw DatError(path, kTooLargeReason);
    const auto readWhole = [&] {
        Bytes bytes = file->readWhole();
        bytes.setOwner(std::make_unique<WholeFile>(file));
        return bytes;
    };
    // Whether the reader had every byte of the file at hand, so that its verdict
    // stands.
    bool wholeAtHand = false;
    try {
        if (file->size() <= 2 * readAhead) return parseDat(readWhole(), path, devices);
#ifndef _WIN32
        if (Bytes mapped = MappedFile::map(file, readAhead); mapped.size() > 0) {
            wholeAtHand = true;
            Dat dat = parseDat(std::move(mapped), path, devices);
            requireUnchanged(dat);
            return dat;
        }
#endif
        Bytes bytes(file->size());
        auto streamed = std::make_unique<StreamedFile>(file, bytes.data(), readAhead);
        const StreamedFile& reader = *streamed;
        bytes.setOwner(std::move(streamed));
        Dat dat = parseDat(std::move(bytes), path, devices);
        if (!file->unchanged()) throw DatError(path, kChanged);
        if (reader.readToTheEnd()) return dat;
    } catch (const DatError&) {
        // A file that changed may look malformed anywhere: that it changed is
        // the news.
        if (!file->unchanged()) throw DatError(path, kChanged);
        if (file->size() <= 2 * readAhead || wholeAtHand) throw;
    }
    // The reader stopped short of the bytes read ahead, or ran past them into
    // bytes not yet read (an element longer than the reach): the dat read whole
    // tells what the file holds, and where it is malformed.
    try {
        return parseDat(readWhole(), path, devices);
    } catch (const DatError&) {
        if (!file->unchanged()) throw DatError(path, kChanged);
        throw;
    }
}

void requireUnchanged(const Dat& dat) {
    if (!dat.storage.unchanged()) throw DatError(dat.path, kChanged);
}

}  // namespace zfe::zandorel
