#include "platform/file_system.h"

#include <windows.h>

#include <atomic>
#include <stdexcept>
#include <utility>

#include "platform/os_error.h"
#include "platform/temporary_names.h"
#include "platform/win32/wide_text.h"

namespace zfe::platform {

namespace {

using win32::toUtf8;
using win32::toWide;

constexpr const char* kSameFileReason = "origine e destinazione sono lo stesso file";
constexpr const char* kNotAFileReason = "non è un file (è una cartella, una pipe o un dispositivo)";

// A file on a disk, not a pipe, a console or another device.
bool isDiskFile(HANDLE handle, DWORD attributes) {
    return GetFileType(handle) == FILE_TYPE_DISK && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The attributes that a copy carries over from its source, as CopyFileW does.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

[[noreturn]] void throwLastError(const std::string& subject) {
    throw OsError(static_cast<int>(GetLastError()), subject);
}

HANDLE toHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Setting no attribute at all has to be said as "normal".
DWORD settableAttributes(DWORD attributes) {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY);
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// The folder part of a path with its final separator (or the drive's colon),
// ready to have a name appended; empty for a bare name.
std::string folderPrefixOf(const std::string& path) {
    const std::size_t last = path.find_last_of("\\/:");
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

std::wstring temporaryNameCandidate(std::string_view prefix) {
    static std::atomic<unsigned> counter{0};
    return toWide(temporaryFileName(prefix, GetCurrentProcessId(), counter.fetch_add(1),
                                    GetTickCount64() & 0xffffffULL));
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The file's identity: its volume and its index on it. Two paths that differ
// in letter case, or name the same file through a hard link, have one identity.
bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

class Win32FileSystemService final : public FileSystemService {
public:
    void copyFile(const std::string& source, const std::string& destination,
                  bool overwrite) override {
        FileHandle sourceFile(CreateFileW(toWide(source).c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                                          nullptr));
        if (!sourceFile.valid()) throwLastError(source);
        BY_HANDLE_FILE_INFORMATION sourceInfo{};
        if (!GetFileInformationByHandle(sourceFile.get(), &sourceInfo)) throwLastError(source);
        if (!isDiskFile(sourceFile.get(), sourceInfo.dwFileAttributes)) {
            throw OsError(ERROR_INVALID_PARAMETER, source, kNotAFileReason);
        }

        const std::wstring wideDestination = toWide(destination);
        if (GetFileAttributesW(wideDestination.c_str()) != INVALID_FILE_ATTRIBUTES) {
            // Checked before anything is written, as writing the copy would
            // truncate the very file it reads from.
            FileHandle destinationFile(
                CreateFileW(wideDestination.c_str(), FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
            if (!destinationFile.valid()) throwLastError(destination);
            BY_HANDLE_FILE_INFORMATION destinationInfo{};
            if (!GetFileInformationByHandle(destinationFile.get(), &destinationInfo)) {
                throwLastError(destination);
            }
            if (sameFile(sourceInfo, destinationInfo)) {
                throw OsError(ERROR_INVALID_PARAMETER, destination, kSameFileReason);
            }
            if (!overwrite) throw OsError(ERROR_FILE_EXISTS, destination);
        }

        // Refuses a read-only or folder destination itself.
        FileReplacement replacement(destination);
        std::vector<char> buffer(64 * 1024);
        for (;;) {
            DWORD count = 0;
            if (!ReadFile(sourceFile.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                          &count, nullptr)) {
                throwLastError(source);
            }
            if (count == 0) break;
            replacement.write(buffer.data(), count);
        }
        if (!SetFileAttributesW(
                toWide(replacement.temporaryPath()).c_str(),
                settableAttributes(sourceInfo.dwFileAttributes & kCopiedAttributes))) {
            throwLastError(destination);
        }
        replacement.commit();
    }

    void deleteFile(const std::string& path, bool force) override {
        const std::wstring widePath = toWide(path);
        const DWORD attributes = GetFileAttributesW(widePath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) throwLastError(path);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw OsError(ERROR_ACCESS_DENIED, path);
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) {
            if (!force) throw OsError(ERROR_ACCESS_DENIED, path);
            if (!SetFileAttributesW(widePath.c_str(),
                                    settableAttributes(attributes & ~FILE_ATTRIBUTE_READONLY))) {
                throwLastError(path);
            }
        }
        if (!DeleteFileW(widePath.c_str())) {
            const DWORD error = GetLastError();
            // A file that stays has to stay as it was.
            if (readOnly) SetFileAttributesW(widePath.c_str(), settableAttributes(attributes));
            throw OsError(static_cast<int>(error), path);
        }
    }
};

}  // namespace

bool FileSystemService::canWriteIn(const std::string& folder) {
    // A folder's read-only attribute does not keep files out of it on
    // Windows, so only the try tells.
    try {
        if (!directoryExists(folder)) return false;
        std::wstring prefix = toWide(folder);
        if (!isSeparator(folder.back())) prefix += L'\\';
        for (;;) {
            const std::wstring probe = prefix + temporaryNameCandidate(kProbePrefix);
            const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN |
                                                FILE_FLAG_DELETE_ON_CLOSE,
                                            nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                return true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
        }
    } catch (...) {
        return false;
    }
}

void FileSystemService::stageFile(const std::string& source, const std::string& destination) {
    const std::wstring wideSource = toWide(source);
    const DWORD attributes = GetFileAttributesW(wideSource.c_str());
    const DWORD copiedInstead = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & copiedInstead) == 0 &&
        CreateHardLinkW(toWide(destination).c_str(), wideSource.c_str(), nullptr)) {
        return;
    }
    // Another volume, FAT, or a source that is no plain writable file: the
    // copy either makes the file or says why it cannot.
    copyFile(source, destination, true);
}

std::unique_ptr<FileSystemService> makeFileSystemService() {
    return std::make_unique<Win32FileSystemService>();
}

bool fileExists(const std::string& path) noexcept {
    if (path.empty()) return false;
    try {
        const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    } catch (...) {
        return false;
    }
}

bool directoryExists(const std::string& path) noexcept {
    if (path.empty()) return false;
    try {
        const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } catch (...) {
        return false;
    }
}

namespace {

// Folders open only with backup semantics; no access is asked for.
HANDLE openForInformation(const std::string& path) {
    return CreateFileW(toWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

bool isSameFileOrFolder(const std::string& a, const std::string& b) noexcept {
    if (a.empty() || b.empty()) return false;
    try {
        FileHandle first(openForInformation(a));
        FileHandle second(openForInformation(b));
        BY_HANDLE_FILE_INFORMATION firstInfo{};
        BY_HANDLE_FILE_INFORMATION secondInfo{};
        return first.valid() && second.valid() && GetFileInformationByHandle(first.get(), &firstInfo) &&
               GetFileInformationByHandle(second.get(), &secondInfo) && sameFile(firstInfo, secondInfo);
    } catch (...) {
        return false;
    }
}

bool isRegularFile(const std::string& path) noexcept {
    if (path.empty()) return false;
    try {
        // No access asked for: opening a pipe or device this way reads nothing
        // and waits for nothing.
        FileHandle file(openForInformation(path));
        BY_HANDLE_FILE_INFORMATION info{};
        return file.valid() && GetFileInformationByHandle(file.get(), &info) &&
               isDiskFile(file.get(), info.dwFileAttributes);
    } catch (...) {
        return false;
    }
}

bool isHidden(const std::string& folder, const std::string& name) noexcept {
    try {
        std::string path = folder;
        if (!path.empty() && !isSeparator(path.back()) && path.back() != ':') path += '\\';
        const DWORD attributes = GetFileAttributesW(toWide(path + name).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
    } catch (...) {
        return false;
    }
}

bool isReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(toWide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) throwLastError(path);
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void setReadOnly(const std::string& path, bool readOnly) {
    const std::wstring widePath = toWide(path);
    DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) throwLastError(path);
    attributes = readOnly ? (attributes | FILE_ATTRIBUTE_READONLY)
                          : (attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
    if (!SetFileAttributesW(widePath.c_str(), settableAttributes(attributes))) {
        throwLastError(path);
    }
}

std::vector<std::string> listFiles(const std::string& folder) {
    std::string pattern = folder;
    if (!pattern.empty() && !isSeparator(pattern.back()) && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileExW(toWide(pattern).c_str(), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    std::vector<std::string> names;
    if (search == INVALID_HANDLE_VALUE) {
        // Only the root of an empty drive has not even "." in it.
        if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
        throwLastError(folder);
    }
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            names.push_back(toUtf8(found.cFileName, wcslen(found.cFileName)));
        }
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) throw OsError(static_cast<int>(error), folder);
    return names;
}

void createFolders(const std::string& path) {
    // Each folder on the way down, so that the failure names the one that
    // could not be made. A drive ("C:") or a share ("\\server\share") is
    // never made.
    std::size_t end = 0;
    if (path.size() >= 2 && path[1] == ':') {
        end = 2;
    } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
        end = path.find_first_of("\\/", 2);
        end = end == std::string::npos ? end : path.find_first_of("\\/", end + 1);
    }
    while (end != std::string::npos) {
        end = path.find_first_not_of("\\/", end);
        if (end == std::string::npos) break;
        end = path.find_first_of("\\/", end);
        const std::string folder = path.substr(0, end);
        if (!CreateDirectoryW(toWide(folder).c_str(), nullptr)) {
            const DWORD error = GetLastError();
            if (error != ERROR_ALREADY_EXISTS) throw OsError(static_cast<int>(error), folder);
            if (!directoryExists(folder)) throw OsError(ERROR_DIRECTORY, folder);
        }
    }
}

std::string userDataFolder() {
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    return localAppData == nullptr ? std::string() : toUtf8(localAppData, wcslen(localAppData));
}

std::string currentDirectory() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) throwLastError(".");
        if (length < buffer.size()) {
            buffer.resize(length);
            return toUtf8(buffer);
        }
        buffer.resize(length);  // the size asked for includes the terminating zero
    }
}

void changeCurrentDirectory(const std::string& path) {
    if (!SetCurrentDirectoryW(toWide(path).c_str())) throwLastError(path);
}

FileReplacement::FileReplacement(std::string destination) : destination_(std::move(destination)) {
    const DWORD attributes = GetFileAttributesW(toWide(destination_).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        throw OsError(ERROR_ACCESS_DENIED, destination_);
    }
    const std::wstring folder = toWide(folderPrefixOf(destination_));
    for (;;) {
        const std::wstring candidate = folder + temporaryNameCandidate(kReplacementPrefix);
        // Others may read the file while it is written, nobody may write it.
        const HANDLE file =
            CreateFileW(candidate.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            temporaryPath_ = toUtf8(candidate);
            handle_ = reinterpret_cast<std::intptr_t>(file);
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            throw OsError(static_cast<int>(error), destination_);
        }
    }
}

FileReplacement::~FileReplacement() {
    if (!committed_) discard();
}

void FileReplacement::write(const void* data, std::size_t size) {
    if (handle_ == -1) throw std::logic_error("FileReplacement::write after commit or discard");
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(toHandle(handle_), bytes, chunk, &written, nullptr)) {
            throwLastError(destination_);
        }
        bytes += written;
        size -= written;
    }
}

void FileReplacement::commit() {
    finish(true);
}

void FileReplacement::commitWithoutFlush() {
    finish(false);
}

void FileReplacement::finish(bool flush) {
    if (handle_ == -1) throw std::logic_error("FileReplacement::commit after commit or discard");
    const HANDLE file = toHandle(handle_);
    if (flush && !FlushFileBuffers(file)) throwLastError(destination_);
    handle_ = -1;
    if (!CloseHandle(file)) throwLastError(destination_);
    if (!MoveFileExW(toWide(temporaryPath_).c_str(), toWide(destination_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | (flush ? MOVEFILE_WRITE_THROUGH : 0))) {
        throwLastError(destination_);
    }
    committed_ = true;
}

void FileReplacement::discard() noexcept {
    if (handle_ != -1) {
        CloseHandle(toHandle(handle_));
        handle_ = -1;
    }
    if (!committed_ && !temporaryPath_.empty()) {
        try {
            const std::wstring widePath = toWide(temporaryPath_);
            // A copy may have made it read-only already, which DeleteFileW refuses.
            SetFileAttributesW(widePath.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(widePath.c_str());
        } catch (...) {
        }
        temporaryPath_.clear();
    }
}

}  // namespace zfe::platform
