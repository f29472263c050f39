#pragma once

#include <optional>
#include <string>

#include "core/user_interface.h"

namespace zfe::capture {

// The create-dat dialog's rules, apart from its widgets.

// The warning for a missing executable or a missing name, two lines.
inline constexpr const char* kMissingInputText =
    "E' necessario specificare percorso e nome di un eseguibile MAME e \r\n"
    "un nome descrittivo per il file Dat da crare.";

// The Open dialog's single filter: the platform's executables.
core::FileFilter executableFilter();

// True when the file system can take `name` + ".dat" as a file name: no path
// separator, no NUL, and on Windows none of \ / : * ? " < > |. Blanks and a
// trailing ".dat" are allowed; the name is used as typed.
bool isUsableDatName(const std::string& name);

// The warning the create button gives instead of running anything, or nothing
// when the input may go ahead. `exeLabel` is the caption of lblExe (empty until
// an executable has been chosen), `datName` the text of txtDatFile.
std::optional<core::Message> checkCreateInput(const std::string& exeLabel, const std::string& datName);

// DatFolder + name + ".dat", the name exactly as typed.
std::string datOutputPath(const std::string& applicationPath, const std::string& datName);

// The executable's full path and " -listinfo", not quoted: the platform's
// rules for blanks at the start of a command line find the program.
std::string listInfoCommandLine(const std::string& exePath);

}  // namespace zfe::capture
