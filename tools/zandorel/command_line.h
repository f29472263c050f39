#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/zandorel/set_model.h"

namespace zfe::zandorel {

inline constexpr const char* kDiffDatName = "zandorel.dat";
inline constexpr const char* kLogName = "zandorel.log";

struct CommandLine {
    enum class Action { Diff, Help, Version };
    Action action = Action::Diff;
    SetType setType = SetType::Split;
    bool compact = false;
    std::string oldPath;
    std::string newPath;
    std::string diffDatPath = kDiffDatName;
    std::string logPath = kLogName;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `[-S | -M | -N | -F] [-t] [-o FILE] [--] OLD NEW`: options in any order and any
// letter case before the two files, short ones alone or together (`-Mt`), split
// when no set type is given. Throws UsageError.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// The report beside a diff dat: its name with ".log" in place of its extension.
std::string logPathFor(const std::string& diffDatPath);

std::string usageText();

}  // namespace zfe::zandorel
