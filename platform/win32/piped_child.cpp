#include "platform/piped_child.h"

#include <windows.h>

#include <string>
#include <vector>

namespace zfe::platform {

namespace {

void closeHandle(HANDLE& handle) noexcept {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    handle = nullptr;
}

// How long one look at a silent pipe sleeps before looking again.
constexpr DWORD kPeekInterval = 5;

}  // namespace

struct PipedChild::Native {
    HANDLE readEnd = nullptr;
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
};

PipedChild::PipedChild(const std::string& commandLine) : native_(std::make_unique<Native>()) {
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.lpSecurityDescriptor = nullptr;
    inheritable.bInheritHandle = TRUE;

    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        startFailure_ = StartFailure::Pipe;
        errorNumber_ = ::GetLastError();
        return;
    }
    // Only the write end belongs to the child; an inheritable read end would
    // keep the pipe open in the child and in every later child of the program.
    if (!::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        startFailure_ = StartFailure::Pipe;
        errorNumber_ = ::GetLastError();
        closeHandle(readEnd);
        closeHandle(writeEnd);
        return;
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;

    PROCESS_INFORMATION information{};
    // CreateProcessA may write into the command line, so it gets a copy.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    // The child's own process and thread handles are not made inheritable:
    // they would leak into every later child started with inherited handles.
    const BOOL created =
        ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                         nullptr, nullptr, &startup, &information);
    const DWORD createError = created ? 0 : ::GetLastError();
    // Before the first read, or the pipe would never end.
    closeHandle(writeEnd);
    if (!created) {
        startFailure_ = StartFailure::Process;
        errorNumber_ = createError;
        closeHandle(readEnd);
        return;
    }
    native_->readEnd = readEnd;
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

PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size) {
    if (ended_ || native_->readEnd == nullptr) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    DWORD count = 0;
    const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!::ReadFile(native_->readEnd, buffer, wanted, &count, nullptr)) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    return {ReadResult::Kind::Data, count};
}

PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size,
                                        std::chrono::milliseconds silence) {
    if (ended_ || native_->readEnd == nullptr) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    if (silence.count() >= 0) {
        const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(silence.count());
        for (;;) {
            DWORD available = 0;
            // A failed peek is a broken pipe: the ReadFile below fails and
            // reports the end.
            if (!::PeekNamedPipe(native_->readEnd, nullptr, 0, nullptr, &available, nullptr) ||
                available > 0) {
                break;
            }
            if (::GetTickCount64() >= deadline) return {ReadResult::Kind::Silent};
            ::Sleep(kPeekInterval);
        }
    }
    return read(buffer, size);
}

void PipedChild::terminate() noexcept {
    if (native_->process != nullptr) {
        ::TerminateProcess(native_->process, 1);
        // Bounded: the handles are released either way, and Windows keeps no
        // zombie once the last handle of an ended process is closed.
        ::WaitForSingleObject(native_->process, 5000);
    }
    ended_ = true;
    close();
}

void PipedChild::close() noexcept {
    closeHandle(native_->process);
    closeHandle(native_->thread);
    closeHandle(native_->readEnd);
}

}  // namespace zfe::platform
