#pragma once

#include <string>
#include <vector>

#include "tools/datgen/datgen.h"

namespace zfe::datgen {

struct CommandLine {
    Options options;
    std::string outputPath;   // empty: standard output
    std::string changesPath;  // empty: no change list
    bool help = false;
};

// Throws std::invalid_argument, with a message meant for the user, on an
// unknown option, a missing value or a value that is not a number in range.
// The single argument "-listinfo" (or "-listxml") is what a front end passes to
// an emulator: it asks for the default dat of that format on standard output.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// The whole program after main: returns the exit code (0, or 1 on bad options
// or a failed write, with the reason on standard error).
int runDatgen(const std::vector<std::string>& arguments);

}  // namespace zfe::datgen
