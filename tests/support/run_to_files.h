#pragma once

// A program started by the platform's launcher, with its standard output and
// error going into files: for tests that read what a program printed.

#include <string>

#include "platform/os_error.h"
#include "platform/process.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/create_process.h"
#include "platform/win32/wide_text.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/spawn.h"
#endif

namespace zfe::testsupport {

// The program's exit code. Throws platform::OsError as runAndWait does, or
// when a file cannot be made.
inline int runToFiles(const platform::ProgramStart& start, const std::string& outputPath,
                      const std::string& errorPath) {
#ifdef _WIN32
    SECURITY_ATTRIBUTES inheritable{};
    inheritable.nLength = sizeof inheritable;
    inheritable.bInheritHandle = TRUE;
    const auto create = [&](const std::string& path) {
        const HANDLE file = CreateFileW(platform::win32::toWide(path).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, &inheritable, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) throw platform::OsError(static_cast<int>(GetLastError()), path);
        return file;
    };
    const HANDLE output = create(outputPath);
    HANDLE error = nullptr;
    PROCESS_INFORMATION process{};
    try {
        error = create(errorPath);
        platform::win32::CreateSetup setup;
        setup.handDownStandard = true;
        setup.standard[1] = output;
        setup.standard[2] = error;
        process = platform::win32::createProcess(start, setup);
    } catch (...) {
        CloseHandle(output);
        if (error != nullptr) CloseHandle(error);
        throw;
    }
    CloseHandle(output);
    CloseHandle(error);
    CloseHandle(process.hThread);
    const int exitCode = platform::win32::waitForExit(process.hProcess, platform::commandLineOf(start));
    CloseHandle(process.hProcess);
    return exitCode;
#else
    const auto create = [](const std::string& path) {
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (file < 0) throw platform::OsError(errno, path);
        return file;
    };
    const int output = create(outputPath);
    int error = -1;
    pid_t child = 0;
    try {
        error = create(errorPath);
        platform::posix::SpawnSetup setup;
        setup.standard[0] = platform::posix::kNullDevice;
        setup.standard[1] = output;
        setup.standard[2] = error;
        child = platform::posix::spawn(start, setup);
    } catch (...) {
        ::close(output);
        if (error >= 0) ::close(error);
        throw;
    }
    ::close(output);
    ::close(error);
    return platform::posix::waitForExit(child, platform::commandLineOf(start));
#endif
}

}  // namespace zfe::testsupport
