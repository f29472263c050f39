#include "platform/lock_file.h"

#include <windows.h>


#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace zfe::platform {

std::optional<LockFile> LockFile::tryToTake(const std::string& path) {
    // Shared with no one, so that a second open is the sign of a holder;
    // deleted on close, which the system does for a process that ends; not
    // inheritable.
    const std::wstring widePath = win32::toWide(path);
    HANDLE file = INVALID_HANDLE_VALUE;
    // A file that its last holder has just closed is refused while the system
    // deletes it: a few tries more before that counts as a failure.
    for (int attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileW(widePath.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                           nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION) return std::nullopt;
        if (error != ERROR_ACCESS_DENIED || attempt == 10) throw OsError(static_cast<int>(error), path);
        Sleep(20);
    }
    LockFile taken(path, reinterpret_cast<std::intptr_t>(file));
    if (GetFileType(file) != FILE_TYPE_DISK) throw OsError(ERROR_INVALID_PARAMETER, path, "non è un file");
    return taken;
}

void LockFile::release() noexcept {
    if (handle_ == -1) return;
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace zfe::platform
