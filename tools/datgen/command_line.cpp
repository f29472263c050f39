#include "tools/datgen/command_line.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <stdexcept>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace zfe::datgen {
namespace {

constexpr long long kMaxGames = 10'000'000;

long long parseNumber(const std::string& option, const std::string& text, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value < 0 || value > max)
        throw std::invalid_argument("datgen: " + option + " needs a whole number from 0 to " +
                                    std::to_string(max) + ", not '" + text + "'");
    return value;
}

// Writes everything or reports why not; a file left half-written is removed.
bool writeAll(const std::string& path, const std::string& text) {
    std::FILE* file = path.empty() ? stdout : std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "datgen: cannot create '%s'\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = (path.empty() ? std::fflush(file) : std::fclose(file)) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "datgen: cannot write '%s'\n",
                     path.empty() ? "standard output" : path.c_str());
        if (!path.empty()) std::remove(path.c_str());
    }
    return ok;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    if (arguments.size() == 1 && arguments[0] == "-listinfo") return commandLine;
    if (arguments.size() == 1 && arguments[0] == "-listxml") {
        commandLine.options.format = Format::listxml;
        commandLine.options.games = kListxmlMachines;
        return commandLine;
    }
    bool machinesGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasInlineValue = false;
        if (auto equals = option.find('=');
            option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            hasInlineValue = true;
        }
        auto takeValue = [&]() {
            if (hasInlineValue) return value;
            if (i + 1 >= arguments.size())
                throw std::invalid_argument("datgen: " + option + " needs a value");
            return arguments[++i];
        };
        auto noValue = [&]() {
            if (hasInlineValue)
                throw std::invalid_argument("datgen: " + option + " takes no value");
        };
        if (option == "--games") {
            commandLine.options.games =
                static_cast<int>(parseNumber(option, takeValue(), kMaxGames));
            machinesGiven = true;
        } else if (option == "--listxml") {
            noValue();
            commandLine.options.format = Format::listxml;
        } else if (option == "--seed") {
            commandLine.options.seed = static_cast<std::uint32_t>(
                parseNumber(option, takeValue(), std::numeric_limits<std::uint32_t>::max()));
        } else if (option == "--next") {
            noValue();
            commandLine.options.nextVersion = true;
        } else if (option == "--crlf") {
            noValue();
            commandLine.options.crlf = true;
        } else if (option == "--changes") {
            commandLine.changesPath = takeValue();
            if (commandLine.changesPath.empty())
                throw std::invalid_argument("datgen: --changes needs a file name");
        } else if (option == "-o" || option == "--output") {
            commandLine.outputPath = takeValue();
            if (commandLine.outputPath.empty())
                throw std::invalid_argument("datgen: " + option + " needs a file name");
        } else if (option == "--help" || option == "-h") {
            noValue();
            commandLine.help = true;
        } else {
            throw std::invalid_argument("datgen: unknown option '" + arguments[i] + "'");
        }
    }
    if (commandLine.options.format == Format::listxml && !machinesGiven)
        commandLine.options.games = kListxmlMachines;
    return commandLine;
}

std::string usageText() {
    return "Usage: datgen [--listxml] [--games N] [--seed S] [--next] [--crlf] [--changes FILE]\n"
           "              [-o FILE]\n"
           "       datgen -listinfo\n"
           "       datgen -listxml\n"
           "\n"
           "Writes a synthetic emulator dat in the listinfo text format, or as MAME's\n"
           "-listxml, the same bytes for the same options.\n"
           "\n"
           "  --listxml       MAME -listxml: machines, devices and BIOS sets in the\n"
           "                  proportions of MAME 0.251, at its size by default\n"
           "  --games N       games in the first version, parents and clones (default 300);\n"
           "                  with --listxml, machines of every kind (default 45294)\n"
           "  --seed S        seed, 0 to 4294967295 (default 1)\n"
           "  --next          write the next version of the same dat: games added,\n"
           "                  removed, renamed and changed; driver statuses and\n"
           "                  descriptions changed\n"
           "  --crlf          CRLF line ends instead of LF\n"
           "  --changes FILE  write what the next version changed, one line each:\n"
           "                  added NAME, removed NAME, renamed OLD NEW, changed NAME,\n"
           "                  reparented NAME OLDPARENT NEWPARENT (--listxml only),\n"
           "                  status NAME OLD NEW, redescribed NAME\n"
           "  -o FILE         write the dat to FILE instead of standard output\n"
           "  -listinfo       alone: print the default dat, the way an emulator does\n"
           "  -listxml        alone: print the default -listxml dat, the same way\n"
           "  --help          show this text\n";
}

int runDatgen(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    try {
        commandLine = parseCommandLine(arguments);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "%s\nTry 'datgen --help'.\n", error.what());
        return 1;
    }
    if (commandLine.help) {
        std::string usage = usageText();
        return writeAll("", usage) ? 0 : 1;
    }
#ifdef _WIN32
    // The bytes must be the same as on Linux: no LF to CRLF translation.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    Generated generated = generate(commandLine.options);
    if (!commandLine.changesPath.empty() &&
        !writeAll(commandLine.changesPath, changesText(generated.changes)))
        return 1;
    return writeAll(commandLine.outputPath, generated.text) ? 0 : 1;
}

}  // namespace zfe::datgen
