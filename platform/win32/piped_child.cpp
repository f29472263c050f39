#include "platform/piped_child.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

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

// One argument as the C run-time of the child takes it apart again: quoted
// when it holds a blank, a tab or a quote (or is empty), with the backslashes
// before a quote doubled.
std::wstring quotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// The program in quotes (a Windows path holds no quote) and its arguments: the
// child sees the picked path as its argv[0], blanks and all.
std::wstring commandLineOf(const std::wstring& program, const std::vector<std::string>& arguments) {
    std::wstring line = L"\"" + program + L"\"";
    for (const std::string& argument : arguments) line += L" " + quotedArgument(win32::toWide(argument));
    return line;
}

// The pipe's two ends, the read end kept back from every child: only the write
// end is handed down, and only to this child (the handle list below).
bool makePipe(HANDLE& readEnd, HANDLE& writeEnd) {
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return false;
    if (!::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = ::GetLastError();
        closeHandle(readEnd);
        closeHandle(writeEnd);
        ::SetLastError(error);
        return false;
    }
    return true;
}

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
    HANDLE outputEnd = nullptr;
    HANDLE errorEnd = nullptr;
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    HANDLE job = nullptr;

    // Reads what standard error holds now, without waiting.
    void collectErrors(ErrorTail& tail) {
        char buffer[16 * 1024];
        while (errorEnd != nullptr) {
            DWORD available = 0;
            if (!::PeekNamedPipe(errorEnd, nullptr, 0, nullptr, &available, nullptr)) {
                closeHandle(errorEnd);  // ended
                return;
            }
            if (available == 0) return;
            DWORD count = 0;
            if (!::ReadFile(errorEnd, buffer, std::min<DWORD>(available, sizeof buffer), &count,
                            nullptr)) {
                closeHandle(errorEnd);
                return;
            }
            tail.append(buffer, count);
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
    auto closePipes = [&] {
        closeHandle(outputRead);
        closeHandle(outputWrite);
        closeHandle(errorRead);
        closeHandle(errorWrite);
    };

    // Of all the program's inheritable handles only the two write ends reach
    // the child.
    HANDLE handedDown[2] = {outputWrite, errorWrite};
    SIZE_T attributeSize = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::vector<char> attributeStorage(attributeSize);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
        startFailure_ = StartFailure::Process;
        errorNumber_ = ::GetLastError();
        closePipes();
        return;
    }
    if (!::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handedDown,
                                     sizeof handedDown, nullptr, nullptr)) {
        startFailure_ = StartFailure::Process;
        errorNumber_ = ::GetLastError();
        ::DeleteProcThreadAttributeList(attributes);
        closePipes();
        return;
    }

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = nullptr;
    startup.StartupInfo.hStdOutput = outputWrite;
    startup.StartupInfo.hStdError = errorWrite;
    startup.lpAttributeList = attributes;

    const std::wstring application = win32::toWide(program);
    std::wstring line = commandLineOf(application, arguments);  // CreateProcessW may write into it
    PROCESS_INFORMATION information{};
    // Suspended until it is in its job, so that nothing it starts escapes it.
    // The child's own process and thread handles are not inheritable.
    const BOOL created = !program.empty() &&
        ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                         NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT,
                         nullptr, nullptr, &startup.StartupInfo, &information);
    const DWORD createError = created ? 0 : (program.empty() ? ERROR_FILE_NOT_FOUND : ::GetLastError());
    ::DeleteProcThreadAttributeList(attributes);
    // Before the first read, or the pipes would never end.
    closeHandle(outputWrite);
    closeHandle(errorWrite);
    if (!created) {
        startFailure_ = StartFailure::Process;
        errorNumber_ = createError;
        closePipes();
        return;
    }
    // Without a job (refused where the program's own job forbids nesting) the
    // child alone is ended on a stop.
    native_->job = makeJob();
    if (native_->job != nullptr && !::AssignProcessToJobObject(native_->job, information.hProcess)) {
        closeHandle(native_->job);
    }
    ::ResumeThread(information.hThread);
    native_->outputEnd = outputRead;
    native_->errorEnd = errorRead;
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

// Every read looks at both pipes before it blocks: a blocking ReadFile on
// standard output while the child waits for room in a full standard error
// would wait for ever.
PipedChild::ReadResult PipedChild::read(void* buffer, std::size_t size,
                                        std::chrono::milliseconds silence) {
    if (ended_ || native_->outputEnd == nullptr) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    const bool waitsForever = silence.count() < 0;
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(0, silence.count()));
    for (;;) {
        native_->collectErrors(errorTail_);
        DWORD available = 0;
        // A failed peek is a broken pipe: the ReadFile below fails and
        // reports the end.
        if (!::PeekNamedPipe(native_->outputEnd, nullptr, 0, nullptr, &available, nullptr) ||
            available > 0) {
            break;
        }
        if (!waitsForever && ::GetTickCount64() >= deadline) return {ReadResult::Kind::Silent};
        ::Sleep(kPeekInterval);
    }
    DWORD count = 0;
    const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    if (!::ReadFile(native_->outputEnd, buffer, wanted, &count, nullptr)) {
        ended_ = true;
        return {ReadResult::Kind::Ended};
    }
    return {ReadResult::Kind::Data, count};
}

std::optional<int> PipedChild::waitForExit(std::chrono::milliseconds limit) {
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(0, limit.count()));
    for (;;) {
        native_->collectErrors(errorTail_);
        if (native_->process == nullptr) return std::nullopt;
        const ULONGLONG now = ::GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 10));
        if (::WaitForSingleObject(native_->process, wait) == WAIT_OBJECT_0) {
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
    closeHandle(native_->outputEnd);
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
    closeHandle(native_->outputEnd);
    closeHandle(native_->errorEnd);
    ended_ = true;
}

}  // namespace zfe::platform
