// A child for the capture tests and the benchmark. It carries out its
// arguments in order:
//   out:<hex>            write the bytes to standard output
//   err:<hex>            write the bytes to standard error
//   pattern:<n>:<chunk>  write n pattern bytes to standard output, `chunk` per write
//   tofile:<path>:<n>    write n pattern bytes straight into a file, 64 KiB per write
//   pid                  write "pid=<id>\n"
//   fds                  write "fds=<open descriptors>;stdin=<what fd 0 is>\n"
//   close                close standard output and standard error
//   leave:<ms>:<hex>     (POSIX) start a process that keeps standard output and
//                        error open, writes the bytes to standard output after
//                        <ms> and runs on for ever; write "left=<its id>\n"
//   sleep:<ms>           sleep
//   exit:<code>          end at once with that exit code
//   -listinfo            write a small listinfo dat naming its own arguments
// With ZFE_STAND_IN_ARGUMENTS set, its blank-separated words stand in for the
// arguments.
// The pattern byte at offset i is patternByte(i), shared with the tests.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <io.h>
#else
#define O_BINARY 0
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "programs/byte_pattern.h"

namespace {

void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) std::exit(3);
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void writeAll(int fd, const std::string& text) {
    writeAll(fd, text.data(), text.size());
}

std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

void writePattern(int fd, long long count, std::size_t chunk) {
    std::vector<char> buffer(chunk);
    long long offset = 0;
    while (offset < count) {
        const std::size_t size = static_cast<std::size_t>(
            std::min<long long>(static_cast<long long>(chunk), count - offset));
        for (std::size_t i = 0; i < size; ++i) {
            buffer[i] = static_cast<char>(
                zfe::testsupport::patternByte(offset + static_cast<long long>(i)));
        }
        writeAll(fd, buffer.data(), size);
        offset += static_cast<long long>(size);
    }
}

#ifdef _WIN32
std::string openDescriptors() { return "?"; }  // Windows has no /proc to ask
#else
std::string openDescriptors() {
    std::string list;
    DIR* folder = ::opendir("/proc/self/fd");
    if (folder == nullptr) return "?";
    std::vector<int> fds;
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != ::dirfd(folder)) fds.push_back(fd);
    }
    ::closedir(folder);
    std::sort(fds.begin(), fds.end());
    for (int fd : fds) list += (list.empty() ? "" : ",") + std::to_string(fd);
    char target[256] = {};
    const ssize_t length = ::readlink("/proc/self/fd/0", target, sizeof target - 1);
    return list +
           ";stdin=" + std::string(target, length > 0 ? static_cast<std::size_t>(length) : 0);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // The bytes go out as given, without the run-time's LF to CRLF conversion.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
#endif
    std::vector<std::string> arguments(argv + 1, argv + argc);
    // Started as an emulator, with the capture's own arguments: it is told
    // what to do by the environment instead.
    if (const char* told = std::getenv("ZFE_STAND_IN_ARGUMENTS")) {
        arguments.clear();
        std::istringstream words(told);
        for (std::string word; words >> word;) arguments.push_back(word);
    }
    for (const std::string& argument : arguments) {
        const auto colon = argument.find(':');
        const std::string verb = argument.substr(0, colon);
        const std::string rest = colon == std::string::npos ? "" : argument.substr(colon + 1);
        if (verb == "out") {
            writeAll(1, fromHex(rest));
        } else if (verb == "err") {
            writeAll(2, fromHex(rest));
        } else if (verb == "pattern") {
            const auto split = rest.find(':');
            writePattern(1, std::stoll(rest.substr(0, split)),
                         static_cast<std::size_t>(std::stoul(rest.substr(split + 1))));
        } else if (verb == "tofile") {
            const auto split = rest.rfind(':');
            const int fd =
                ::open(rest.substr(0, split).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_BINARY, 0644);
            if (fd < 0) return 4;
            writePattern(fd, std::stoll(rest.substr(split + 1)), 65536);
            ::close(fd);
        } else if (verb == "pid") {
            writeAll(1, "pid=" + std::to_string(::getpid()) + "\n");
        } else if (verb == "fds") {
            writeAll(1, "fds=" + openDescriptors() + "\n");
#ifndef _WIN32
        } else if (verb == "leave") {
            const auto split = rest.find(':');
            const pid_t left = ::fork();
            if (left == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(std::stoll(rest.substr(0, split))));
                writeAll(1, fromHex(rest.substr(split + 1)));
                for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
            }
            writeAll(1, "left=" + std::to_string(left) + "\n");
#endif
        } else if (verb == "close") {
            ::close(1);
            ::close(2);
        } else if (verb == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoll(rest)));
        } else if (verb == "exit") {
            return std::stoi(rest);
        } else if (verb == "-listinfo") {
            writeAll(1, "game (\r\n\tname stand_in\r\n\tdescription \"" + std::string(argv[0]) +
                            " with " + std::to_string(argc - 1) + " argument(s)\"\r\n)\r\n");
        } else {
            writeAll(2, "stand-in child: unknown argument " + argument + "\n");
            return 2;
        }
    }
    return 0;
}
