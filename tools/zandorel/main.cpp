#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/wide_text.h"
#endif
#include "tools/zandorel/zandorel.h"

// The tool takes its file names as UTF-8, as the platform layer does. On
// Windows the narrow argv is in the ANSI code page, which cannot hold every
// name (and gives the platform layer bytes that are not UTF-8): the wide one
// is taken there instead.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.push_back(zfe::platform::win32::toUtf8(argv[index]));
    }
    return zfe::zandorel::run(arguments, std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return zfe::zandorel::run(arguments, std::cout, std::cerr);
}
#endif
