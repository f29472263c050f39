// The stand-in child of the Windows tests: a program for CreateProcess to start.
//
// With ZFE_CHILD_RECORD set it writes to that file its current directory, its
// raw command line and then its arguments (argv[0] left out), one a line, and
// exits with code 7. Otherwise its last argument says what to write to its
// standard handles, with WriteFile so that no C run-time conversion touches
// the bytes:
//   silent       nothing
//   pattern:N[:C] N bytes of patternByte(0..N-1) to standard output, C (256
//                unless given) at a time
//   errpattern:N N pattern bytes to standard error, 64 KiB at a time, then
//                "done" to standard output
//   allbytes     every byte value 0..255, then text with CR, LF and CRLF line ends
//   mixed        lines to standard output and standard error, interleaved
//   startup      how it was started: show-window field and flags, standard input
//   linger       writes "started", closes its standard output and error, runs on 5 s
//   tree:<file>  starts itself again as "hold" with its standard handles, writes
//                "<own id> <the other's id>" into <file>, and both run on for ever
//   leave:<file> as tree:, but writes "left" to standard output and ends with
//                code 0 at once, the other one still holding its handles
//   hold         runs on for ever
// Any mode after "exit:<code>" ends with that code instead of 0.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>

#include "programs/byte_pattern.h"

namespace {

void writeTo(DWORD which, const std::string& bytes) {
    const HANDLE handle = GetStdHandle(which);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                       &written, nullptr)) {
            ExitProcess(90);
        }
        done += written;
    }
}

void writePattern(DWORD which, long long size, long long chunk) {
    for (long long offset = 0; offset < size; offset += chunk) {
        writeTo(which, zfe::testsupport::patternBytes(std::min(chunk, size - offset), offset));
    }
}

int record(const char* reportPath, int argc, char** argv) {
    std::FILE* report = std::fopen(reportPath, "wb");
    if (report == nullptr) return 100;
    char folder[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, folder);
    std::fprintf(report, "%s\n%s\n", folder, GetCommandLineA());
    for (int i = 1; i < argc; ++i) std::fprintf(report, "%s\n", argv[i]);
    std::fclose(report);
    return 7;
}

}  // namespace

[[noreturn]] void holdForEver() {
    for (;;) Sleep(INFINITE);
}

// A grandchild for the capture: it inherits this program's standard handles,
// so it keeps the pipes open as long as it runs. Returns whether it started.
bool startHolder(const std::string& idsPath) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = "\"" + std::string(self) + "\" hold";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        return false;
    }
    if (std::FILE* ids = std::fopen(idsPath.c_str(), "wb")) {
        std::fprintf(ids, "%lu %lu\n", GetCurrentProcessId(), started.dwProcessId);
        std::fclose(ids);
    }
    return true;
}

int startTree(const std::string& idsPath) {
    if (!startHolder(idsPath)) return 91;
    writeTo(STD_OUTPUT_HANDLE, "<?xml version=\"1.0\"?>\n");
    holdForEver();
}

int main(int argc, char** argv) {
    if (const char* reportPath = std::getenv("ZFE_CHILD_RECORD")) {
        return record(reportPath, argc, argv);
    }
    const std::string mode = argc > 1 ? argv[argc - 1] : "";
    const std::string first = argc > 2 ? argv[1] : "";
    const int exitCode = first.rfind("exit:", 0) == 0 ? std::atoi(first.c_str() + 5) : 0;
    if (mode == "silent") return exitCode;
    if (mode == "hold") holdForEver();
    if (mode.rfind("tree:", 0) == 0) return startTree(mode.substr(5));
    if (mode.rfind("leave:", 0) == 0) {
        if (!startHolder(mode.substr(6))) return 91;
        writeTo(STD_OUTPUT_HANDLE, "left");
        return 0;
    }
    if (mode.rfind("pattern:", 0) == 0) {
        const std::size_t chunkAt = mode.find(':', 8);
        writePattern(STD_OUTPUT_HANDLE, std::atoll(mode.c_str() + 8),
                     chunkAt == std::string::npos ? 256 : std::atoll(mode.c_str() + chunkAt + 1));
        return 0;
    }
    if (mode.rfind("errpattern:", 0) == 0) {
        writePattern(STD_ERROR_HANDLE, std::atoll(mode.c_str() + 11), 65536);
        writeTo(STD_OUTPUT_HANDLE, "done");
        return 0;
    }
    if (mode == "allbytes") {
        std::string bytes;
        for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
        writeTo(STD_OUTPUT_HANDLE, bytes + zfe::testsupport::kLineEnds);
        return 0;
    }
    if (mode == "mixed") {
        writeTo(STD_OUTPUT_HANDLE, "out 1\r\n");
        writeTo(STD_ERROR_HANDLE, "err 1\n");
        writeTo(STD_OUTPUT_HANDLE, "out 2\n");
        writeTo(STD_ERROR_HANDLE, "err 2");
        return exitCode;
    }
    if (mode == "startup") {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        GetStartupInfoA(&startup);
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        char byte;
        DWORD count = 0;
        const bool inputReadable = input != nullptr && input != INVALID_HANDLE_VALUE &&
                                   ReadFile(input, &byte, 1, &count, nullptr) && count > 0;
        writeTo(STD_OUTPUT_HANDLE, "show=" + std::to_string(startup.wShowWindow) +
                                       " flags=" + std::to_string(startup.dwFlags) +
                                       " stdin=" + (inputReadable ? "data" : "none"));
        return 0;
    }
    if (mode == "linger") {
        writeTo(STD_OUTPUT_HANDLE, "started");
        CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        if (GetStdHandle(STD_ERROR_HANDLE) != GetStdHandle(STD_OUTPUT_HANDLE)) {
            CloseHandle(GetStdHandle(STD_ERROR_HANDLE));
        }
        Sleep(5000);
        return 0;
    }
    return 2;
}
