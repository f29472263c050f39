#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/lock_file.h"

namespace zfe::core {

// The tool's work folder (folders.h) is shared by every window on one
// library. A diff run holds it from the clearing before the tool runs to the
// clearing after, and writes down first the names it is going to put there,
// so that what a run that never ended (a window killed meanwhile) left is
// known by name and nothing else is ever taken for it.

// The two files of the program's own in the work folder besides a run's.
inline constexpr const char* kWorkFolderLockName = ".zfe-lock";
inline constexpr const char* kRunRecordName = ".zfe-run";

class WorkFolderHold {
public:
    // Nothing when another holds the folder (another window's diff runs).
    // Throws platform::OsError when the folder cannot be held (it is missing,
    // or cannot be written).
    static std::optional<WorkFolderHold> take(const std::string& dataPath);

    // Removes what a run that never ended left: the names its record lists,
    // read-only or not, and the dats it staged as links. A file that cannot go
    // stays in the record for a later try; nothing is said.
    void removeLeftovers(platform::FileSystemService& files);

    // Writes down the names that this run is going to put in the folder.
    // Throws platform::OsError.
    void recordRun(const std::vector<std::string>& names);

    // The run has ended. `stillThere` are the names it could not remove, kept
    // in the record for the next clearing; the record goes when there are none.
    void endRun(const std::vector<std::string>& stillThere, platform::FileSystemService& files);

private:
    WorkFolderHold(std::string dataPath, platform::LockFile lock)
        : dataPath_(std::move(dataPath)), lock_(std::move(lock)) {}

    std::string dataPath_;
    platform::LockFile lock_;
};

// At start: what a killed run left in the work folder goes, unless a window
// runs a diff there now. Silent: whatever cannot go is left for a later try.
void removeKilledRunLeftovers(const std::string& dataPath, platform::FileSystemService& files);

// Removes the work folder's file `name`, which the program put there, even a
// read-only one. A link to the library's dat leaves that dat read-only when it
// was (Windows keeps the attribute once for all the links of a file). Nothing
// to do when it is not there. Throws platform::OsError.
void removeOwnFile(const std::string& dataPath, const std::string& name,
                   platform::FileSystemService& files);

}  // namespace zfe::core
