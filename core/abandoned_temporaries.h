#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace zfe::core {

// A program ended part-way through writing a file (killed, crashed, the
// machine gone down) leaves the file's temporary behind, named after its
// process (platform/temporary_names.h): up to a whole dat in the library.

// Of `fileNames`, the temporaries whose process is gone: not running, or this
// very process, which at start has made none yet (its id can only be a reused
// one). Another running program's temporaries, such as a second window's on
// the same library, are never among them.
std::vector<std::string> abandonedTemporaries(const std::vector<std::string>& fileNames,
                                              std::int64_t ownProcessId,
                                              const std::function<bool(std::int64_t)>& processRunning);

// At start: removes the abandoned temporaries of the dat library and of the
// tool's work folder under `dataPath`. A folder that cannot be read or a file
// that cannot be removed is left for a later start, without a word: nothing
// of the user's is at stake.
void removeAbandonedTemporaries(const std::string& dataPath, platform::FileSystemService& files,
                                std::int64_t ownProcessId,
                                const std::function<bool(std::int64_t)>& processRunning);

}  // namespace zfe::core
