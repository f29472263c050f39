#include "platform/process.h"

#include <windows.h>

#include <string>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace zfe::platform {

std::int64_t currentProcessId() noexcept {
    return GetCurrentProcessId();
}

bool processIsRunning(std::int64_t processId) noexcept {
    if (processId <= 0 || processId > MAXDWORD) return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    // A handle keeps an ended process's id taken: only the wait tells.
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// The line goes to CreateProcessW as it stands: Windows takes it apart itself,
// by the same rules that splitCommandLine copies. The program is started as the
// shell would start it, with a normal window (its own console for a console
// program started from the windows) and no handle of ours inherited.
int runAndWait(const std::string& commandLine) {
    if (commandLine.find_first_not_of(" \t") == std::string::npos) {
        throw OsError(ERROR_FILE_NOT_FOUND, commandLine);
    }
    std::wstring line = win32::toWide(commandLine);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        throw OsError(static_cast<int>(GetLastError()), commandLine);
    }
    CloseHandle(process.hThread);
    DWORD exitCode = 0;
    const bool ended = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process.hProcess, &exitCode);
    const DWORD waitError = ended ? 0 : GetLastError();
    CloseHandle(process.hProcess);
    if (!ended) throw OsError(static_cast<int>(waitError), commandLine);
    return static_cast<int>(exitCode);
}

}  // namespace zfe::platform
