#pragma once

// UTF-8 text of the program to and from the UTF-16 of the wide Windows calls.

#include <windows.h>

#include <string>

namespace zfe::platform::win32 {

inline std::wstring toWide(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

inline std::string toUtf8(const wchar_t* wide, std::size_t size) {
    if (size == 0) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(size), text.data(), length, nullptr,
                        nullptr);
    return text;
}

inline std::string toUtf8(const std::wstring& wide) {
    return toUtf8(wide.data(), wide.size());
}

}  // namespace zfe::platform::win32
