#include "platform/win32/create_process.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/win32/wide_text.h"

namespace zfe::platform::win32 {

namespace {

// The list of the handles that alone are inherited, released however the start ends.
class InheritedHandles {
public:
    // False, with the last error set, when the list cannot be made.
    bool make(std::vector<HANDLE> handles) {
        handles_ = std::move(handles);
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
        list_ = list;
        return ::UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                           handles_.data(), handles_.size() * sizeof(HANDLE),
                                           nullptr, nullptr);
    }
    ~InheritedHandles() {
        if (list_ != nullptr) ::DeleteProcThreadAttributeList(list_);
    }
    LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

PROCESS_INFORMATION createProcess(const ProgramStart& start, const CreateSetup& setup) {
    const std::string commandLine = commandLineOf(start);
    const std::string& folder = start.workingFolder;
    if (!folder.empty() && !directoryExists(folder)) {
        throw OsError(fileExists(folder) ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND, folder);
    }
    if (start.program.empty()) throw OsError(ERROR_FILE_NOT_FOUND, commandLine);
    // A path, or a bare name of a file in the current directory, is the
    // program itself, never looked for at a blank; Windows looks for any
    // other bare name.
    const bool named =
        start.program.find_first_of("\\/") != std::string::npos || fileExists(start.program);
    const std::wstring application = named ? toWide(start.program) : std::wstring();
    std::wstring line = toWide(commandLine);  // CreateProcessW may write into it
    const std::wstring wideFolder = toWide(folder);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = setup.hidden ? SW_HIDE : SW_SHOWNORMAL;
    DWORD flags = setup.flags;
    InheritedHandles inherited;
    if (setup.handDownStandard) {
        startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = setup.standard[0];
        startup.StartupInfo.hStdOutput = setup.standard[1];
        startup.StartupInfo.hStdError = setup.standard[2];
        // Each handle once: Windows refuses a list that names one twice.
        std::vector<HANDLE> handles;
        for (const HANDLE handle : setup.standard) {
            if (handle != nullptr && std::find(handles.begin(), handles.end(), handle) == handles.end()) {
                handles.push_back(handle);
            }
        }
        if (!handles.empty()) {
            if (!inherited.make(std::move(handles))) {
                throw OsError(static_cast<int>(::GetLastError()), commandLine);
            }
            startup.lpAttributeList = inherited.list();
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    }
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(named ? application.c_str() : nullptr, line.data(), nullptr, nullptr,
                          inherited.list() != nullptr, flags, nullptr,
                          wideFolder.empty() ? nullptr : wideFolder.c_str(), &startup.StartupInfo,
                          &process)) {
        throw OsError(static_cast<int>(::GetLastError()), commandLine);
    }
    return process;
}

int waitForExit(HANDLE process, const std::string& subject) {
    DWORD exitCode = 0;
    if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process, &exitCode)) {
        throw OsError(static_cast<int>(::GetLastError()), subject);
    }
    return static_cast<int>(exitCode);
}

}  // namespace zfe::platform::win32
