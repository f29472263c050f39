#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {

struct CommandLine {
    enum class Action { Diff, Help, Version };
    Action action = Action::Diff;
    SetType setType = SetType::Split;
    bool compact = false;
    std::string oldPath;
    std::string newPath;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `(-S | -M | -N) [-t] OLD NEW`: options in any order and any letter case before
// the two files, split when no set type is given. Throws UsageError.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

}  // namespace zfe::zandorel
