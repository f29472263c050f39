#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string>

#include "core/settings.h"
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
    core::SetTypeSelection setTypeSelected{};  // Split, Merged, Non merged, Full non merged
    int compact = 0;                        // "Compatto": any value but 0 is ticked
};

// "-S", "-M", "-N" or "-F" for the first selected set type (empty when none is), then
// " -t" when compact.
std::string optionText(const core::SetTypeSelection& setTypeSelected, int compact);

// The quoted tool path, the option text and the two names, joined by single
// blanks. Each name is quoted and escaped by the platform's command-line rules
// so that the tool receives it whole, whatever characters it holds; a name
// beginning with "-" is given as a relative path ("./-x.dat") so that the tool
// cannot take it for an option.
std::string diffCommandLine(const std::string& applicationPath, const std::string& optionText,
                            const std::string& oldName, const std::string& newName);

// Runs a command line and waits for it; the window wraps the real runner in a
// busy cursor, tests pass a stand-in.
using CommandRunner = std::function<void(const std::string& commandLine)>;

enum class DiffOutcome { Warned, Failed, Delivered };

// How a create request ended, and after a delivery what the result window
// shows: the work folder has been cleared by then, so the report is kept here.
struct DiffRequestResult {
    DiffOutcome outcome = DiffOutcome::Warned;
    std::string destination;  // where the diff dat went
    std::string report;       // the tool's whole report; empty when it wrote none
};

// The destination browse: a Save dialog offering the remembered name. A
// confirmed choice becomes the new destination and the remembered name, and its
// folder the current directory; a cancelled one leaves everything as it was.
void browseDestination(core::UserInterface& ui, core::CommonDialogMemory& dialog,
                       std::string& destinationCaption);

// The create request: validates before any work (both selections, a
// destination; two different dats, neither named as the tool's own outputs;
// a destination that is neither inside the tool's folders nor one of the two
// dats, and whose folder can be written), clears the tool's outputs and stale
// staged dats from the work folder, stages both dats (linked where the file
// system allows, else copied), runs the tool there and delivers its diff dat.
// Once staging began, the staged dats and the tool's outputs are removed
// however the request ends, except that a run that made no diff dat leaves its
// report for the user to read. Shows its own warnings and failure messages.
DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                platform::FileSystemService& files, core::UserInterface& ui,
                                const CommandRunner& runAndWait);
// The same with the library and the work folder under `dataPath` (core/folders.h);
// the tool runs from the program's folder all the same.
DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                const std::string& dataPath, platform::FileSystemService& files,
                                core::UserInterface& ui, const CommandRunner& runAndWait);

// Writes a report the user saves from the result window, whole or not at all.
// False, after saying why, when it cannot.
bool saveReport(core::UserInterface& ui, const std::string& path, const std::string& report);

// The name the save dialog proposes for a report: the diff dat's path with
// ".log" in place of its extension (added when it has none).
std::string reportPathFor(const std::string& diffDatPath);

}  // namespace zfe::diff
