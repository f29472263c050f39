#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "core/user_interface.h"
#include "platform/file_names.h"
#include "platform/file_system.h"

namespace zfe::diff {

// The diff tool's file name in the tool's folder.
inline const std::string kDiffToolFileName = std::string("zandorel") + platform::kExecutableSuffix;

// The two files the tool leaves in its folder: the diff dat and its report.
inline constexpr const char* kDiffDatFileName = "zandorel.dat";
inline constexpr const char* kDiffLogFileName = "zandorel.log";

// How many of the report's last lines the "no diff dat" message shows.
inline constexpr std::size_t kLogLinesShown = 20;

// What the create request reads from the main window when "Crea DiffDat" is
// pressed.
struct DiffControls {
    int oldIndex = -1;  // below 0: nothing selected in the old list
    std::string oldName;
    int newIndex = -1;
    std::string newName;
    std::string destination;  // the destination label's caption
    std::array<bool, 3> setTypeSelected{};  // Split, Merged, Non merged
    int compact = 0;                        // "Compatto": any value but 0 is ticked
};

// "-S", "-M" or "-N" for the first selected set type (empty when none is), then
// " -t" when compact.
std::string optionText(const std::array<bool, 3>& setTypeSelected, int compact);

// The quoted tool path, the option text and the two names, joined by single
// blanks. A name containing a blank is quoted so the tool receives it whole.
std::string diffCommandLine(const std::string& applicationPath, const std::string& optionText,
                            const std::string& oldName, const std::string& newName);

// Runs a command line and waits for it; the window wraps the real runner in a
// busy cursor, tests pass a stand-in.
using CommandRunner = std::function<void(const std::string& commandLine)>;

enum class DiffOutcome { Warned, Failed, Delivered };

// The destination browse: a Save dialog offering the remembered name. A
// confirmed choice becomes the new destination and the remembered name, and its
// folder the current directory; a cancelled one leaves everything as it was.
void browseDestination(core::UserInterface& ui, core::CommonDialogMemory& dialog,
                       std::string& destinationCaption);

// The create request: validates, clears stale files from the tool's folder,
// stages both dats, runs the tool there and delivers its diff dat. Shows its own
// warnings and failure messages; a failing step ends the request with a message
// and leaves what earlier steps did.
DiffOutcome createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                          platform::FileSystemService& files, core::UserInterface& ui,
                          const CommandRunner& runAndWait);
// The same with the library and the work folder under `dataPath` (core/folders.h);
// the tool runs from the program's folder all the same.
DiffOutcome createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                          const std::string& dataPath, platform::FileSystemService& files,
                          core::UserInterface& ui, const CommandRunner& runAndWait);

}  // namespace zfe::diff
