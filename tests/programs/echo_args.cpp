// Writes a report to the file named by ZFE_ECHO_ARGS_REPORT, in UTF-8:
//   line 1: the current directory
//   line 2: POSIX: the descriptors above 2 that were open at start;
//           Windows: the command line the program was given
//   then one line per argument, argv[0] left out
// and exits with the code in ZFE_ECHO_ARGS_EXIT (0 when unset). On Windows it
// reads its arguments as wide text, as its C runtime takes the line apart, so
// that names outside the code page arrive whole.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#endif

namespace {

int report(const std::vector<std::string>& lines, std::FILE* file, const char* exitCode) {
    if (file == nullptr) return 100;
    for (const std::string& line : lines) std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
    return exitCode == nullptr ? 0 : std::atoi(exitCode);
}

}  // namespace

#ifdef _WIN32
namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* reportPath = _wgetenv(L"ZFE_ECHO_ARGS_REPORT");
    const char* exitCode = std::getenv("ZFE_ECHO_ARGS_EXIT");
    if (reportPath == nullptr) return exitCode == nullptr ? 0 : std::atoi(exitCode);
    wchar_t folder[32768];
    GetCurrentDirectoryW(32768, folder);
    std::vector<std::string> lines{utf8(folder), utf8(GetCommandLineW())};
    for (int i = 1; i < argc; ++i) lines.push_back(utf8(argv[i]));
    return report(lines, _wfopen(reportPath, L"wb"), exitCode);
}
#else
int main(int argc, char** argv) {
    std::string openDescriptors;
    for (int fd = 3; fd < 1024; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) openDescriptors += std::to_string(fd) + " ";
    }
    const char* reportPath = std::getenv("ZFE_ECHO_ARGS_REPORT");
    const char* exitCode = std::getenv("ZFE_ECHO_ARGS_EXIT");
    if (reportPath == nullptr) return exitCode == nullptr ? 0 : std::atoi(exitCode);
    std::vector<std::string> lines{std::filesystem::current_path().string(), openDescriptors};
    lines.insert(lines.end(), argv + 1, argv + argc);
    return report(lines, std::fopen(reportPath, "wb"), exitCode);
}
#endif
