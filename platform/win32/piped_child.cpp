#include "platform/piped_child.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/os_error.h"
#include "platform/win32/create_process.h"

namespace zfe::platform {

namespace {

void closeHandle(HANDLE& handle) noexcept {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    handle = nullptr;
}

// What the program asks the system to keep in a pipe: as on POSIX, room for
// a fast child to run ahead of the reads.
constexpr DWORD kPipeCapacity = 1024 * 1024;
constexpr std::size_t kOutputReadSize = 256 * 1024;
constexpr std::size_t kErrorReadSize = 16 * 1024;

// A pipe whose read end is read with a time limit: a named pipe of this
// process's own, unique, whose read end takes overlapped reads (an anonymous
// pipe takes only blocking ones, so that telling a silent pipe from a busy one
// would cost a look before every read). Only the write end is inheritable, and
// only this child gets it (the handle list below); it is an ordinary blocking
// handle for the child.
bool makePipe(HANDLE& readEnd, HANDLE& writeEnd) {
    static std::atomic<unsigned long> pipesMade{0};
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    const std::wstring name = L"\\\\.\\pipe\\zandorelfe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(pipesMade++) + L"-" + std::to_wstring(ticks.QuadPart);
    readEnd = ::CreateNamedPipeW(name.c_str(),
                                 PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                 1, 0, kPipeCapacity, 0, nullptr);
    if (readEnd == INVALID_HANDLE_VALUE) {
        readEnd = nullptr;
        return false;
    }
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    writeEnd = ::CreateFileW(name.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0, &inheritable,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writeEnd == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        writeEnd = nullptr;
        closeHandle(readEnd);
        ::SetLastError(error);
        return false;
    }
    return true;
}

// The read end of one pipe, with one overlapped read under way at most, into
// a buffer of its own that the caller then takes from.
class PipeReader {
public:
    PipeReader(HANDLE handle, std::size_t readSize) : handle_(handle), buffer_(readSize) {
        overlapped_.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (overlapped_.hEvent == nullptr) ended_ = true;  // reads as an ended pipe
    }
    ~PipeReader() { close(); }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    // Without waiting: afterwards bytes are held, the pipe has ended, a read
    // is under way (event() is signalled when it ends), or a read has brought
    // nothing (a write of no bytes; event() is signalled and the caller asks
    // again, its time limit in view).
    void settle() {
        if (ended_ || held_ > 0) return;
        if (!pending_) {
            if (!::ReadFile(handle_, buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr,
                            &overlapped_) &&
                ::GetLastError() != ERROR_IO_PENDING) {
                ended_ = true;  // a broken pipe: every write end is closed
                return;
            }
            pending_ = true;
        }
        DWORD count = 0;
        if (::GetOverlappedResult(handle_, &overlapped_, &count, FALSE)) {
            pending_ = false;
            held_ = count;
            taken_ = 0;
        } else if (::GetLastError() != ERROR_IO_INCOMPLETE) {
            pending_ = false;
            ended_ = true;
        }
    }

    std::size_t held() const noexcept { return held_ - taken_; }
    bool ended() const noexcept { return ended_ && held() == 0; }
    HANDLE event() const noexcept { return overlapped_.hEvent; }

    std::size_t take(void* to, std::size_t size) {
        const std::size_t count = std::min(size, held());
        std::memcpy(to, buffer_.data() + taken_, count);
        taken_ += count;
        if (taken_ == held_) held_ = taken_ = 0;
        return count;
    }

    // Gives the pipe up: a read under way is cancelled and waited for, so
    // that it never writes into the buffer once it is gone.
    void close() noexcept {
        if (pending_) {
            ::CancelIoEx(handle_, &overlapped_);
            DWORD ignored = 0;
            ::GetOverlappedResult(handle_, &overlapped_, &ignored, TRUE);
            pending_ = false;
        }
        closeHandle(handle_);
        closeHandle(overlapped_.hEvent);
        ended_ = true;
        held_ = taken_ = 0;
    }

private:
    HANDLE handle_;
    std::vector<char> buffer_;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    bool ended_ = false;
    std::size_t held_ = 0;
    std::size_t taken_ = 0;
};

// A job that ends every process in it when its last handle closes: when the
// capture is stopped, and when the program itself goes, however it goes.
HANDLE makeJob() {
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                   sizeof limits)) {
        closeHandle(job);
    }
    return job;
}

}  // namespace

struct PipedChild::Native {
    std::optional<PipeReader> output;
    std::optional<PipeReader> errors;
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    HANDLE job = nullptr;

    // Takes what standard error holds now, without waiting.
    void collectErrors(ErrorTail& tail) {
        char buffer[kErrorReadSize];
        for (errors->settle(); errors->held() > 0; errors->settle()) {
            tail.append(buffer, errors->take(buffer, sizeof buffer));
        }
    }
};

PipedChild::PipedChild(const std::string& program, const std::vector<std::string>& arguments)
    : native_(std::make_unique<Native>()) {
    HANDLE outputRead = nullptr;
    HANDLE outputWrite = nullptr;
    HANDLE errorRead = nullptr;
    HANDLE errorWrite = nullptr;
    if (!makePipe(outputRead, outputWrite) || !makePipe(errorRead, errorWrite)) {
        startFailure_ = StartFailure::Pipe;
        errorNumber_ = ::GetLastError();
        closeHandle(outputRead);
        closeHandle(outputWrite);
        return;
    }
    win32::CreateSetup setup;
    setup.handDownStandard = true;  // no standard input
    setup.standard[1] = outputWrite;
    setup.standard[2] = errorWrite;
    setup.hidden = true;
    // Suspended until it is in its job, so that nothing it starts escapes it.
    setup.flags = NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED;
    PROCESS_INFORMATION information{};
    bool created = false;
    try {
        information = win32::createProcess({program, arguments, ""}, setup);
        created = true;
    } catch (const OsError& failure) {
        errorNumber_ = static_cast<DWORD>(failure.errorNumber());
    }
    // Before the first read, or the pipes would never end.
    closeHandle(outputWrite);
    closeHandle(errorWrite);
    if (!created) {
        startFailure_ = StartFailure::Process;
        closeHandle(outputRead);
        closeHandle(errorRead);
        return;
    }
    // Without a job (refused where the program's own job forbids nesting) the
    // child alone is ended on a stop.
    native_->job = makeJob();
    if (native_->job != nullptr && !::AssignProcessToJobObject(native_->job, information.hProcess)) {
        closeHandle(native_->job);
    }
    ::ResumeThread(information.hThread);
    native_->output.emplace(outputRead, kOutputReadSize);
    native_->errors.emplace(errorRead, kErrorReadSize);
    native_->process = information.hProcess;
    native_->thread = information.hThread;
    processId_ = information.dwProcessId;
}

PipedChild::~PipedChild() {
    if (!started()) return;
    if (ended_) {
        close();
    } else {
        terminate();
    }
}

// Standard output is read while standard error is: waiting for the one alone
// while the child waits for room in the other would wait for ever.
PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size,
                                        std::chrono::milliseconds silence) {
    if (ended_ || native_->output->ended()) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    const bool waitsForever = silence.count() < 0;
    std::optional<ULONGLONG> deadline;  // the clock is read only once the pipe is found empty
    for (;;) {
        native_->output->settle();
        if (native_->output->held() > 0) {
            return {ReadResult::Kind::Data, native_->output->take(buffer, size)};
        }
        if (native_->output->ended()) {
            ended_ = true;
            return {ReadResult::Kind::Ended};
        }
        native_->collectErrors(errorTail_);
        DWORD wait = INFINITE;
        if (!waitsForever) {
            const ULONGLONG now = ::GetTickCount64();
            if (!deadline) deadline = now + static_cast<ULONGLONG>(silence.count());
            if (now >= *deadline) return {ReadResult::Kind::Silent};
            wait = static_cast<DWORD>(std::min<ULONGLONG>(*deadline - now, INFINITE - 1));
        }
        const HANDLE events[2] = {native_->output->event(), native_->errors->event()};
        const DWORD count = native_->errors->ended() ? 1 : 2;
        const DWORD woken = ::WaitForMultipleObjects(count, events, FALSE, wait);
        if (woken != WAIT_OBJECT_0 && woken != WAIT_OBJECT_0 + 1) return {ReadResult::Kind::Silent};
    }
}

std::optional<int> PipedChild::waitForExit(std::chrono::milliseconds limit) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(0, limit.count()));
    for (;;) {
        native_->collectErrors(errorTail_);
        if (native_->process == nullptr) return std::nullopt;
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10));
        const HANDLE events[2] = {native_->process, native_->errors->event()};
        const DWORD count = native_->errors->ended() ? 1 : 2;
        const DWORD woken = ::WaitForMultipleObjects(count, events, FALSE, wait);
        if (woken == WAIT_OBJECT_0) {
            DWORD code = 0;
            if (!::GetExitCodeProcess(native_->process, &code)) return std::nullopt;
            native_->collectErrors(errorTail_);
            return static_cast<int>(code);
        }
        if (wait == 0) return std::nullopt;
    }
}

bool PipedChild::hasExited() {
    return native_->process == nullptr || ::WaitForSingleObject(native_->process, 0) == WAIT_OBJECT_0;
}

void PipedChild::endLeftovers() noexcept {
    // The child has ended, so its exit code is settled; ending the job ends
    // only what it left behind.
    if (native_->job != nullptr) ::TerminateJobObject(native_->job, 1);
    native_->output->close();
}

void PipedChild::terminate() noexcept {
    if (native_->job != nullptr) {
        ::TerminateJobObject(native_->job, 1);
    } else if (native_->process != nullptr) {
        ::TerminateProcess(native_->process, 1);
    }
    if (native_->process != nullptr) {
        // Bounded: the handles are released either way, and Windows keeps no
        // zombie once the last handle of an ended process is closed.
        ::WaitForSingleObject(native_->process, 5000);
    }
    closeHandle(native_->job);  // ends whatever the termination missed
    ended_ = true;
    close();
}

void PipedChild::close() noexcept {
    if (native_->job != nullptr) {
        // The output has ended: whatever still runs in the job is left to run
        // on, as the child itself is, instead of being ended with the handle.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        ::SetInformationJobObject(native_->job, JobObjectExtendedLimitInformation, &limits,
                                  sizeof limits);
        closeHandle(native_->job);
    }
    closeHandle(native_->process);
    closeHandle(native_->thread);
    native_->output->close();
    native_->errors->close();
    ended_ = true;
}

}  // namespace zfe::platform
