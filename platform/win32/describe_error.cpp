#include <windows.h>

#include <string>

#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace zfe::platform {

// In the user's language, as Windows words it, without the closing period and
// line break, so that it reads well after the path in a message.
std::string describeError(int errorNumber) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(errorNumber), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
        nullptr);
    if (length == 0 || buffer == nullptr) return "Error " + std::to_string(errorNumber);
    std::wstring text(buffer, length);
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return win32::toUtf8(text);
}

}  // namespace zfe::platform
