#include "tools/zandorel/command_line.h"

#include <optional>

namespace zfe::zandorel {

namespace {

std::string folded(const std::string& text) {
    std::string lower;
    for (const char c : text) lower += foldCase(c);
    return lower;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    CommandLine parse() {
        std::vector<std::string> files;
        bool optionsEnded = false;
        for (next_ = 0; next_ < arguments_.size();) {
            const std::string& argument = arguments_[next_++];
            // A command line with a missing set type leaves an empty argument
            // behind on some platforms; it means nothing.
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
            } else if (argument[1] == '-') {
                longOption(argument);
            } else {
                shortOptions(argument);
            }
            if (line_.action != CommandLine::Action::Diff) return line_;
        }
        if (files.size() != 2) {
            throw UsageError("expected two dat files, the old and the new, got " +
                             std::to_string(files.size()));
        }
        line_.setType = setType_.value_or(SetType::Split);
        line_.oldPath = files[0];
        line_.newPath = files[1];
        if (output_) {
            line_.diffDatPath = *output_;
            line_.logPath = logPathFor(*output_);
            if (line_.logPath == line_.diffDatPath) {
                throw UsageError("the report would be the diff dat '" + *output_ +
                                 "' itself; name the diff dat with another extension");
            }
        }
        return line_;
    }

private:
    void longOption(const std::string& argument) {
        const std::string lower = folded(argument);
        if (lower == "--help") {
            line_.action = CommandLine::Action::Help;
        } else if (lower == "--version") {
            line_.action = CommandLine::Action::Version;
        } else if (lower == "--output") {
            output(argument);
        } else if (lower.starts_with("--output=")) {
            setOutput(argument.substr(9), argument);
        } else {
            throw UsageError("unknown option '" + argument + "'");
        }
    }

    // Letters that stand for themselves, as many as come; "o" takes the rest of
    // the argument as its file, or else the next argument.
    void shortOptions(const std::string& argument) {
        for (std::size_t i = 1; i < argument.size(); ++i) {
            const char letter = foldCase(argument[i]);
            switch (letter) {
                case 's':
                    chooseType(SetType::Split, argument);
                    break;
                case 'm':
                    chooseType(SetType::Merged, argument);
                    break;
                case 'n':
                    chooseType(SetType::NonMerged, argument);
                    break;
                case 'f':
                    chooseType(SetType::FullNonMerged, argument);
                    break;
                case 't':
                    line_.compact = true;
                    break;
                case 'h':
                case '?':
                    line_.action = CommandLine::Action::Help;
                    return;
                case 'o':
                    if (i + 1 < argument.size()) {
                        setOutput(argument.substr(i + 1), argument);
                    } else {
                        output(argument);
                    }
                    return;
                default:
                    throw UsageError(
                        i == 1 ? "unknown option '" + argument + "'"
                               : "unknown option '-" + std::string(1, argument[i]) + "' in '" +
                                     argument + "'");
            }
        }
    }

    void output(const std::string& option) {
        if (next_ >= arguments_.size()) {
            throw UsageError("the option '" + option + "' needs a file name after it");
        }
        setOutput(arguments_[next_++], option);
    }

    void setOutput(const std::string& path, const std::string& option) {
        if (path.empty()) throw UsageError("the option '" + option + "' needs a file name");
        if (output_ && *output_ != path) {
            throw UsageError("more than one output file given ('" + path + "')");
        }
        output_ = path;
    }

    void chooseType(SetType chosen, const std::string& argument) {
        if (setType_ && *setType_ != chosen) {
            throw UsageError("more than one set type given ('" + argument + "')");
        }
        setType_ = chosen;
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
    CommandLine line_;
    std::optional<SetType> setType_;
    std::optional<std::string> output_;
};

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    return Parser(arguments).parse();
}

std::string logPathFor(const std::string& diffDatPath) {
    const std::size_t nameStart = diffDatPath.find_last_of("/\\") + 1;
    const std::size_t dot = diffDatPath.rfind('.');
    // A name's leading dot starts no extension (".dat" is a name).
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    return (hasExtension ? diffDatPath.substr(0, dot) : diffDatPath) + ".log";
}

std::string usageText() {
    return "Usage: zandorel [-S | -M | -N | -F] [-t] [-o FILE] [--] OLD NEW\n"
           "Compares two dats and writes the sets that changed from OLD to NEW.\n"
           "The diff dat goes to zandorel.dat in the current directory, and a report\n"
           "beside it to zandorel.log.\n"
           "  -S           split sets (the default)\n"
           "  -M           merged sets: a parent with all its clones\n"
           "  -N           non-merged sets: every game with all its roms\n"
           "  -F           full non-merged sets: as -N, with the roms of the devices\n"
           "               that the game names (device_ref)\n"
           "  -t           compact: only the roms and disks that OLD does not have\n"
           "  -o, --output FILE\n"
           "               the diff dat goes to FILE, the report beside it, named as\n"
           "               FILE with .log in place of its extension\n"
           "  --help       this text\n"
           "  --version    the version\n"
           "  --           ends the options (for a dat whose name starts with '-')\n"
           "Options may come in any order and letter case, before the two files; short\n"
           "ones may be given together (-Mt).\n"
           "\n"
           "After exit code 0 or 1 the report's summary line is printed.\n"
           "Exit code 0 when the dats hold the same sets, 1 when they differ (both\n"
           "write the report, and the diff dat when it holds a game: otherwise none is\n"
           "written and an earlier one is left as it was), 2 on trouble. A bad option\n"
           "or a wrong number of files writes nothing, nor does an output that is no\n"
           "regular file (a folder, a pipe, a device: refused; a symbolic link is\n"
           "followed). Trouble with an input (a dat that cannot be read, is malformed or\n"
           "changed while it was read, an input that is one of the outputs) writes only\n"
           "the report and leaves an earlier diff dat as it was.\n";
}

}  // namespace zfe::zandorel
