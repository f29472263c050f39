#include <cstddef>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace zfe::platform {

namespace {

std::string quoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there they are doubled, and
        // the quote itself is escaped.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // The closing quote must not be taken as escaped.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

}  // namespace

std::string commandLineOf(const ProgramStart& start) {
    std::string line = "\"" + start.program + "\"";
    for (const std::string& argument : start.arguments) line += " " + quoteArgument(argument);
    return line;
}

}  // namespace zfe::platform
