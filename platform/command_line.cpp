#include <cstddef>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace zfe::platform {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::size_t skipBlanks(std::string_view text, std::size_t position) {
    while (position < text.size() && isBlank(text[position])) ++position;
    return position;
}

// Windows takes an unquoted program with blanks in its path by trying the
// blank-separated prefixes until one names a file, so "C:\My Emus\mame -x" runs
// "C:\My Emus\mame" when "C:\My" is not a file. Returns where the program ends.
std::size_t endOfUnquotedProgram(std::string_view line,
                                 const std::function<bool(const std::string&)>& namesExistingFile) {
    std::size_t firstWordEnd = std::string_view::npos;
    std::size_t position = 0;
    while (position < line.size()) {
        while (position < line.size() && !isBlank(line[position])) ++position;
        if (firstWordEnd == std::string_view::npos) firstWordEnd = position;
        if (namesExistingFile(std::string(line.substr(0, position)))) return position;
        position = skipBlanks(line, position);
    }
    return firstWordEnd == std::string_view::npos ? 0 : firstWordEnd;
}

// A quoted run joins blanks into the argument and loses its quotes; quotes may
// sit anywhere in an argument (a"b c"d is the one argument "ab cd"), and ""
// stands for an empty argument. Backslashes are ordinary characters, as paths
// need them to be, except before a double quote, where they follow the rules
// that Windows programs read their arguments by: 2n backslashes and a quote
// give n backslashes and a quote that opens or closes a quoted run, 2n + 1 give
// n backslashes and a literal quote.
std::vector<std::string> splitArguments(std::string_view rest) {
    std::vector<std::string> arguments;
    std::size_t position = skipBlanks(rest, 0);
    while (position < rest.size()) {
        std::string argument;
        bool quoted = false;
        while (position < rest.size() && (quoted || !isBlank(rest[position]))) {
            std::size_t backslashes = 0;
            while (position < rest.size() && rest[position] == '\\') {
                ++backslashes;
                ++position;
            }
            if (position < rest.size() && rest[position] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else {
                    quoted = !quoted;
                }
                ++position;
            } else if (backslashes > 0) {
                argument.append(backslashes, '\\');
            } else {
                argument += rest[position];
                ++position;
            }
        }
        arguments.push_back(std::move(argument));
        position = skipBlanks(rest, position);
    }
    return arguments;
}

}  // namespace

CommandLineParts splitCommandLine(
    std::string_view line, const std::function<bool(const std::string&)>& namesExistingFile) {
    CommandLineParts parts;
    line.remove_prefix(skipBlanks(line, 0));
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    if (line.empty()) return parts;

    std::string_view rest;
    if (line.front() == '"') {
        const std::size_t closingQuote = line.find('"', 1);
        if (closingQuote == std::string_view::npos) {
            parts.program = std::string(line.substr(1));
        } else {
            parts.program = std::string(line.substr(1, closingQuote - 1));
            rest = line.substr(closingQuote + 1);
        }
    } else {
        const std::size_t programEnd = endOfUnquotedProgram(line, namesExistingFile);
        parts.program = std::string(line.substr(0, programEnd));
        rest = line.substr(programEnd);
    }
    parts.arguments = splitArguments(rest);
    return parts;
}

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

}  // namespace zfe::platform
