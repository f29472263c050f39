#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/user_interface.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace zfe::diff {

// The diff tool's file name in the tool's folder.
inline const std::string kDiffToolFileName = std::string("zandorel") + platform::kExecutableSuffix;

// The two files the tool leaves in its folder: the diff dat and its report.
inline constexpr const char* kDiffDatFileName = "zandorel.dat";
inline constexpr const char* kDiffLogFileName = "zandorel.log";

// How many of the report's last lines the "no diff dat" message shows.
inline constexpr std::size_t kLogLinesShown = 20;

// The set types as the window names them, by index (core::kSetTypeCount).
inline constexpr std::array<const char*, core::kSetTypeCount> kSetTypeNames = {
    "Split", "Merged", "Non merged", "Full non merged"};

// A diff dat as the window delivered it: enough to tell it later from any
// other file put at that place since.
struct DeliveredFile {
    std::string path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    bool operator==(const DeliveredFile&) const = default;
};

// The file at `path` as it is now, or nothing when there is none.
std::optional<DeliveredFile> deliveredFileAt(const std::string& path);

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
    // The diff dat that this window delivered last: replaced without a question.
    std::optional<DeliveredFile> lastDelivery;
};

// The tool's options: "-S", "-M", "-N" or "-F" for the first selected set
// type (none when none is), then "-t" when compact.
std::vector<std::string> toolOptions(const core::SetTypeSelection& setTypeSelected, int compact);

// The tool's start: the tool in the program's zdrl/ with the options and the
// two names, each one argument whatever characters it holds, in the work
// folder under `dataPath` where the names are staged. A name beginning with
// "-" is given as a relative path ("./-x.dat") so that the tool cannot take
// it for an option.
platform::ProgramStart diffToolStart(const std::string& applicationPath, const std::string& dataPath,
                                     std::vector<std::string> options, const std::string& oldName,
                                     const std::string& newName);

// Runs a program, waits for it and returns its exit code; the window wraps
// the real runner in a busy cursor, tests pass a stand-in.
using CommandRunner = std::function<int(const platform::ProgramStart& start)>;

// Warned: ended before any work (a warning, a No, another diff running).
// NothingToDeliver: the tool found nothing that a diff dat would hold, wrote
// none and said so in its report; the destination is left as it was.
enum class DiffOutcome { Warned, Failed, Delivered, NothingToDeliver };

// How a create request ended, and after a run what the result window shows:
// the work folder has been cleared by then, so the report is kept here.
struct DiffRequestResult {
    DiffOutcome outcome = DiffOutcome::Warned;
    std::string destination;  // where the diff dat went, or would have gone
    std::string report;       // the tool's whole report; empty when it wrote none
    std::optional<DeliveredFile> delivered;  // the diff dat as delivered
};

// The diff dat's name that the destination browse proposes, made from the
// two dats and the set type ("mame0250 - mame0251 (Merged).xml", with the new
// dat's extension); empty unless both dats are selected.
std::string proposedDiffDatName(const DiffControls& controls);

// The destination browse: a Save dialog offering `proposedName` in the folder
// of the destination last chosen in it (`dialog`, its own memory: never a file
// that the import chose). A confirmed choice becomes the new destination and
// the remembered one, and its folder the current directory; a cancelled one
// leaves everything as it was.
void browseDestination(core::UserInterface& ui, core::CommonDialogMemory& dialog,
                       const std::string& proposedName, std::string& destinationCaption);

// The create request: validates before any work (both selections, a
// destination; two different dats, neither named as the tool's own outputs;
// a destination that is neither inside the tool's folders nor one of the two
// dats, a regular file if it exists, and whose folder can be written), asks
// before it replaces an existing destination that is not the diff dat this
// window delivered there last, holds the work folder (core/work_folder.h;
// another window's diff running there is told and nothing is run), clears
// what a killed run left there, the tool's outputs and stale staged dats,
// stages both dats (linked where the file system allows, else copied), runs
// the tool there and delivers its diff dat. The run fails when the tool ends
// with a code other than 0 or 1, even with a diff dat there. Once staging
// began, the staged dats and the tool's outputs are removed however the
// request ends, except that a failed run leaves its report for the user to
// read. Shows its own warnings and failure messages.
DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                platform::FileSystemService& files, core::UserInterface& ui,
                                const CommandRunner& runAndWait);
// The same with the library and the work folder under `dataPath` (core/folders.h);
// the tool runs from the program's folder all the same.
DiffRequestResult createDiffDat(const DiffControls& controls, const std::string& applicationPath,
                                const std::string& dataPath, platform::FileSystemService& files,
                                core::UserInterface& ui, const CommandRunner& runAndWait);

// Writes a file the user saves from the result window, whole or not at all.
// False, after saying that `what` ("il rapporto") could not be saved and why,
// when it cannot.
bool saveWhole(core::UserInterface& ui, const std::string& path, const std::string& text,
               const std::string& what);
bool saveReport(core::UserInterface& ui, const std::string& path, const std::string& report);

// The names the save dialogs propose for a report and for its CSV: the diff
// dat's path with ".log" or ".csv" in place of its extension (added when it
// has none).
std::string reportPathFor(const std::string& diffDatPath);
std::string csvPathFor(const std::string& diffDatPath);

}  // namespace zfe::diff
