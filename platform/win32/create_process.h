#pragma once

#include <windows.h>

#include <string>

#include "platform/process.h"

namespace zfe::platform::win32 {

// How a program starts besides what ProgramStart says.
struct CreateSetup {
    // When set, the program's standard input, output and error are these
    // handles (a null one: none), and they alone are inherited: each must be
    // inheritable. Otherwise it gets what a program started by the shell gets
    // (a console program: its console) and inherits nothing.
    bool handDownStandard = false;
    HANDLE standard[3] = {nullptr, nullptr, nullptr};
    // Its window starts hidden rather than as a normal window.
    bool hidden = false;
    // Creation flags besides the ones the setup itself needs (CREATE_SUSPENDED, ...).
    DWORD flags = 0;
};

// Starts the program with CreateProcessW and returns its process and thread
// handles, for the caller to close. Throws OsError as runAndWait does.
PROCESS_INFORMATION createProcess(const ProgramStart& start, const CreateSetup& setup);

// Waits for the process to end and returns its exit code. Throws OsError
// (subject: `subject`) when it cannot.
int waitForExit(HANDLE process, const std::string& subject);

}  // namespace zfe::platform::win32
