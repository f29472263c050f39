#include "core/abandoned_temporaries.h"

#include "core/folders.h"
#include "platform/os_error.h"
#include "platform/temporary_names.h"

namespace zfe::core {

std::vector<std::string> abandonedTemporaries(const std::vector<std::string>& fileNames,
                                              std::int64_t ownProcessId,
                                              const std::function<bool(std::int64_t)>& processRunning) {
    std::vector<std::string> abandoned;
    for (const std::string& name : fileNames) {
        const std::optional<std::int64_t> owner = platform::temporaryFileOwner(name);
        if (owner && (*owner == ownProcessId || !processRunning(*owner))) abandoned.push_back(name);
    }
    return abandoned;
}

void removeAbandonedTemporaries(const std::string& dataPath, platform::FileSystemService& files,
                                std::int64_t ownProcessId,
                                const std::function<bool(std::int64_t)>& processRunning) {
    for (const std::string& folder : {datFolder(dataPath), workFolder(dataPath)}) {
        try {
            for (const std::string& name :
                 abandonedTemporaries(platform::listFiles(folder), ownProcessId, processRunning)) {
                try {
                    files.deleteFile(folder + name, true);
                } catch (const platform::OsError&) {
                    // Left for a later start.
                }
            }
        } catch (const platform::OsError&) {
            // A missing library is told about by the start-up check.
        }
    }
}

}  // namespace zfe::core
