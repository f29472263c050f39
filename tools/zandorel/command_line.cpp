#include "tools/zandorel/command_line.h"

#include <optional>

namespace zfe::zandorel {

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::optional<SetType> setType;
    std::vector<std::string> files;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        // A command line with a missing set type leaves an empty argument behind
        // on some platforms; it means nothing.
        if (argument.empty()) continue;
        if (optionsEnded || argument[0] != '-' || argument == "-") {
            files.push_back(argument);
            continue;
        }
        if (!files.empty()) {
            throw UsageError("the option '" + argument + "' comes after a file name");
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string lower;
        for (const char c : argument) lower += foldCase(c);
        if (lower == "--help" || lower == "-h" || lower == "-?") {
            line.action = CommandLine::Action::Help;
            return line;
        }
        if (lower == "--version") {
            line.action = CommandLine::Action::Version;
            return line;
        }
        std::optional<SetType> chosen;
        if (lower == "-s") {
            chosen = SetType::Split;
        } else if (lower == "-m") {
            chosen = SetType::Merged;
        } else if (lower == "-n") {
            chosen = SetType::NonMerged;
        } else if (lower == "-t") {
            line.compact = true;
            continue;
        } else {
            throw UsageError("unknown option '" + argument + "'");
        }
        if (setType && *setType != *chosen) {
            throw UsageError("more than one set type given ('" + argument + "')");
        }
        setType = chosen;
    }
    if (files.size() != 2) {
        throw UsageError("expected two dat files, the old and the new, got " +
                         std::to_string(files.size()));
    }
    line.setType = setType.value_or(SetType::Split);
    line.oldPath = files[0];
    line.newPath = files[1];
    return line;
}

std::string usageText() {
    return "Usage: zandorel (-S | -M | -N) [-t] [--] OLD NEW\n"
           "Compares two dats and writes the sets that changed from OLD to NEW into\n"
           "zandorel.dat and a report into zandorel.log, in the current directory.\n"
           "  -S         split sets (the default)\n"
           "  -M         merged sets: a parent with all its clones\n"
           "  -N         non-merged sets: every game with all its roms\n"
           "  -t         compact: only the roms and disks that OLD does not have\n"
           "  --help     this text\n"
           "  --version  the version\n"
           "  --         ends the options (for a dat whose name starts with '-')\n"
           "Options may come in any order and letter case, before the two files.\n"
           "Exit code 0 when the dats hold the same sets, 1 when they differ (both\n"
           "write zandorel.dat), 2 on trouble: a bad option, a dat that cannot be\n"
           "read or is malformed, an input that is one of the output files.\n";
}

}  // namespace zfe::zandorel
