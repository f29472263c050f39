// An emulator for the create-dat tests, behaving like a real MAME of one kind
// or another. The kind is its own file name (without ".exe"), so that a test
// copies it under the name of the emulator it needs:
//   mame          today's MAME: -listinfo is "Error: unknown option: -listinfo"
//                 on standard error and exit code 6; -listxml prints an XML dat
//   warning-mame  prints a warning on standard error and a good listinfo dat
//   broken-mame   both ways, some output, an error on standard error, exit 3
//   usage-mame    -listinfo prints a usage text and exits with 0, as a program
//                 that knows no such option may; -listxml prints an XML dat
//   echo-mame     no emulator at all: prints its arguments and exits with 0
//   forking-mame  starts a grandchild that holds both pipes and never ends,
//                 writes "<child pid> <grandchild pid>" into "<its path>.pids",
//                 prints a little and never ends either (POSIX only)
//   cut-mame      as mame, but for -listxml it prints the start of the dat and
//                 ends with 0 while a process it started in a session of its
//                 own holds the output, writes a few bytes more and never
//                 ends; "<its pid> <that process's pid>" go into "<its
//                 path>.pids" (POSIX only)
//   anything else prints a listinfo dat that names its path and arguments
// Every dat names the path the program was started as (argv[0]), so a test
// sees which program ran.
#include <fcntl.h>
#include <stdio.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "programs/stand_in_dats.h"

namespace {

using zfe::testsupport::standInListInfo;
using zfe::testsupport::standInListXml;

std::string kindOf(std::string path) {
    path = path.substr(path.find_last_of("/\\") + 1);
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".exe") == 0) path.resize(path.size() - 4);
    return path;
}

void print(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

#ifndef _WIN32
[[noreturn]] void sleepForever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// "<own pid> <started's pid>" into "<path>.pids", for the test to find.
void writeProcessIds(const std::string& self, pid_t started) {
    if (std::FILE* pids = std::fopen((self + ".pids").c_str(), "w")) {
        std::fprintf(pids, "%ld %ld\n", static_cast<long>(::getpid()), static_cast<long>(started));
        std::fclose(pids);
    }
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The bytes go out as given, without the run-time's LF to CRLF conversion.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const std::string self = argv[0];
    const std::string kind = kindOf(self);
    const std::string option = argc > 1 ? argv[1] : "";
    const std::string description = zfe::testsupport::standInDescription(self, argc - 1);

#ifndef _WIN32
    if (kind == "cut-mame" && option == "-listxml") {
        print(stdout, "<?xml version=\"1.0\"?>\n<mame build=\"0.251\">\n");
        const pid_t writer = ::fork();
        if (writer == 0) {
            ::setsid();  // out of the emulator's process group
            print(stdout, "\t<machine name=\"pac");
            sleepForever();
        }
        writeProcessIds(self, writer);
        return 0;
    }
#endif
    if (kind == "mame" || kind == "cut-mame") {
        if (option == "-listxml") {
            print(stdout, standInListXml(description));
            return 0;
        }
        print(stderr, "Error: unknown option: " + option + "\n");
        return 6;
    }
    if (kind == "warning-mame") {
        print(stderr, "Warning: ROM path \"roms\" not found\n");
        print(stdout, standInListInfo(description));
        return 0;
    }
    if (kind == "broken-mame") {
        print(stdout, "<?xml version=\"1.0\"?>\n<mame build=\"0.251\">\n\t<machine name=\"pac");
        print(stderr, "Loading drivers...\nfatal error: out of memory while listing " + option + "\n");
        return 3;
    }
    if (kind == "usage-mame") {
        print(stdout, option == "-listxml" ? standInListXml(description)
                                           : "MAME v0.251\nUsage: mame [machine] [options]\n");
        return 0;
    }
    if (kind == "echo-mame") {
        print(stdout, option + "\n");
        return 0;
    }
#ifndef _WIN32
    if (kind == "forking-mame") {
        const pid_t grandchild = ::fork();
        if (grandchild == 0) sleepForever();
        writeProcessIds(self, grandchild);
        print(stdout, "<?xml version=\"1.0\"?>\n");
        sleepForever();
    }
#endif
    print(stdout, standInListInfo(description));
    return 0;
}
