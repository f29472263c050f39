#include "platform/posix/spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "platform/posix/exit_status.h"

extern char** environ;

namespace zfe::platform::posix {

namespace {

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The path to execute, or an empty text with errorNumber set. A path, or a
// bare name of a file in the current directory, is that file, as on Windows;
// any other bare name is looked up along PATH.
std::string locateProgram(const std::string& program, int& errorNumber) {
    errorNumber = ENOENT;
    if (program.empty()) return {};
    if (program.find('/') != std::string::npos || fileExists(program)) return program;
    const char* searchPath = std::getenv("PATH");
    if (searchPath == nullptr) return {};
    const std::string folders = searchPath;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = folders.find(':', start);
        // An empty entry means the current directory.
        const std::size_t length = (end == std::string::npos ? folders.size() : end) - start;
        std::string candidate = length == 0 ? std::string(".") : folders.substr(start, length);
        candidate.append(1, '/').append(program);
        if (isExecutableFile(candidate)) return candidate;
        if (fileExists(candidate)) errorNumber = EACCES;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return {};
}

// posix_spawn's attributes and file actions, released however the start ends.
struct SpawnRequest {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnRequest() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnRequest() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnRequest(const SpawnRequest&) = delete;
    SpawnRequest& operator=(const SpawnRequest&) = delete;
};

}  // namespace

pid_t spawn(const ProgramStart& start, const SpawnSetup& setup) {
    const std::string commandLine = commandLineOf(start);
    const std::string& folder = start.workingFolder;
    if (!folder.empty() && !directoryExists(folder)) {
        throw OsError(fileExists(folder) ? ENOTDIR : ENOENT, folder);
    }
    int errorNumber = 0;
    std::string path = locateProgram(start.program, errorNumber);
    if (path.empty()) throw OsError(errorNumber, commandLine);
    // The program is found from the caller's current directory, not from the
    // folder it starts in.
    if (!folder.empty() && path.front() != '/') path = currentDirectory() + "/" + path;

    // The program as it is named, its arguments, and the closing null pointer.
    std::vector<std::string> texts{start.program};
    texts.insert(texts.end(), start.arguments.begin(), start.arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    SpawnRequest request;
    for (int target = 0; target < 3; ++target) {
        const int given = setup.standard[target];
        if (given == kNullDevice) {
            posix_spawn_file_actions_addopen(&request.actions, target, "/dev/null",
                                             target == 0 ? O_RDONLY : O_WRONLY, 0);
        } else if (given != target) {
            posix_spawn_file_actions_adddup2(&request.actions, given, target);
        }
    }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that some library opened without close-on-exec stay behind too.
    posix_spawn_file_actions_addclosefrom_np(&request.actions, 3);
#endif
    if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&request.actions, folder.c_str());

    // Whatever the program did to its own signals, the started one begins
    // with the defaults and nothing blocked.
    sigset_t allSignals;
    sigset_t noSignals;
    sigfillset(&allSignals);
    sigemptyset(&noSignals);
    posix_spawnattr_setsigdefault(&request.attributes, &allSignals);
    posix_spawnattr_setsigmask(&request.attributes, &noSignals);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (setup.ownProcessGroup) {
        posix_spawnattr_setpgroup(&request.attributes, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&request.attributes, flags);

    pid_t child = 0;
    const int spawnError =
        ::posix_spawn(&child, path.c_str(), &request.actions, &request.attributes, argv.data(), environ);
    if (spawnError != 0) throw OsError(spawnError, commandLine);
    return child;
}

int waitForExit(pid_t child, const std::string& subject) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw OsError(errno, subject);
    }
    return exitCodeOf(status);
}

}  // namespace zfe::platform::posix
