#include "core/work_folder.h"

#include <algorithm>

#include "core/folders.h"
#include "core/paths.h"
#include "platform/file_names.h"
#include "platform/os_error.h"

namespace zfe::core {

namespace {

// Names are kept apart by NUL, the one byte that no file name holds.
constexpr char kNameEnd = '\0';

// A bare file name of the folder, and none of the program's own files there:
// a record changed by hand cannot reach anything else.
bool isRecordableName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name != kWorkFolderLockName &&
           name != kRunRecordName &&
           std::none_of(name.begin(), name.end(), [](char c) {
               return platform::isPathSeparator(c) ||
                      platform::kRefusedNameCharacters.find(c) != std::string_view::npos;
           });
}

std::vector<std::string> recordedNames(const std::string& recordPath) {
    // Something else of that name (a FIFO would hold the read) is no record.
    if (!platform::isRegularFile(recordPath)) return {};
    const std::string text = readWholeFile(recordPath).value_or(std::string());
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(kNameEnd, start);
        if (end == std::string::npos) end = text.size();
        std::string name = text.substr(start, end - start);
        if (isRecordableName(name)) names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

// The work folder's file `name` is the library's dat of that name itself (a
// hard link that a run staged), whatever its read-only attribute.
bool isStagedLink(const std::string& dataPath, const std::string& name) {
    return platform::isSameFileOrFolder(workFolder(dataPath) + name, datFolder(dataPath) + name);
}

void writeRecord(const std::string& recordPath, const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        if (isRecordableName(name)) text += name + kNameEnd;
    }
    platform::FileReplacement record(recordPath);
    record.write(text.data(), text.size());
    // A record lost in a crash of the machine costs a staged file at most.
    record.commitWithoutFlush();
}

}  // namespace

std::optional<WorkFolderHold> WorkFolderHold::take(const std::string& dataPath) {
    std::optional<platform::LockFile> lock =
        platform::LockFile::tryToTake(workFolder(dataPath) + kWorkFolderLockName);
    if (!lock) return std::nullopt;
    return WorkFolderHold(dataPath, std::move(*lock));
}

void WorkFolderHold::removeLeftovers(platform::FileSystemService& files) {
    const std::string folder = workFolder(dataPath_);
    std::vector<std::string> names = recordedNames(folder + kRunRecordName);
    try {
        for (const std::string& name : platform::listFiles(folder)) {
            if (isStagedLink(dataPath_, name) &&
                std::find(names.begin(), names.end(), name) == names.end()) {
                names.push_back(name);
            }
        }
    } catch (const platform::OsError&) {
        // The clearing that follows says what is wrong with the folder.
    }
    std::vector<std::string> stillThere;
    for (const std::string& name : names) {
        try {
            removeOwnFile(dataPath_, name, files);
        } catch (const platform::OsError&) {
            stillThere.push_back(name);
        }
    }
    try {
        endRun(stillThere, files);
    } catch (const platform::OsError&) {
        // Tried again at the next clearing.
    }
}

void WorkFolderHold::recordRun(const std::vector<std::string>& names) {
    writeRecord(workFolder(dataPath_) + kRunRecordName, names);
}

void WorkFolderHold::endRun(const std::vector<std::string>& stillThere,
                            platform::FileSystemService& files) {
    const std::string recordPath = workFolder(dataPath_) + kRunRecordName;
    if (!stillThere.empty()) {
        writeRecord(recordPath, stillThere);
    } else if (platform::fileExists(recordPath)) {
        files.deleteFile(recordPath, true);
    }
}

void removeKilledRunLeftovers(const std::string& dataPath, platform::FileSystemService& files) {
    try {
        if (std::optional<WorkFolderHold> hold = WorkFolderHold::take(dataPath)) {
            hold->removeLeftovers(files);
        }
    } catch (const platform::OsError&) {
        // A missing work folder is told about by the start-up check.
    }
}

void removeOwnFile(const std::string& dataPath, const std::string& name,
                   platform::FileSystemService& files) {
    const std::string path = workFolder(dataPath) + name;
    if (!platform::fileExists(path)) return;
    const std::string libraryDat = datFolder(dataPath) + name;
    const bool keepReadOnly = isStagedLink(dataPath, name) && platform::isReadOnly(libraryDat);
    files.deleteFile(path, true);
    if (keepReadOnly && !platform::isReadOnly(libraryDat)) platform::setReadOnly(libraryDat, true);
}

}  // namespace zfe::core
