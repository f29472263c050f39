#include "platform/process.h"

#include <windows.h>

#include "platform/win32/create_process.h"

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

int runAndWait(const ProgramStart& start) {
    const PROCESS_INFORMATION process = win32::createProcess(start, {});
    CloseHandle(process.hThread);
    try {
        const int exitCode = win32::waitForExit(process.hProcess, commandLineOf(start));
        CloseHandle(process.hProcess);
        return exitCode;
    } catch (...) {
        CloseHandle(process.hProcess);
        throw;
    }
}

}  // namespace zfe::platform
