#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/capture_to_file.h"
#include "core/user_interface.h"

namespace zfe::capture {

// The create-dat dialog's rules, apart from its widgets.

// The warning for a missing executable or a missing name, two lines.
inline constexpr const char* kMissingInputText =
    "E' necessario specificare percorso e nome di un eseguibile MAME e \r\n"
    "un nome descrittivo per il file Dat da creare.";

// The Open dialog's single filter: the platform's executables.
core::FileFilter executableFilter();

// The warning the create button gives instead of running anything, or nothing
// when the input may go ahead. `exeLabel` is the caption of lblExe (empty until
// an executable has been chosen), `datName` the text of txtDatFile. A name the
// file system would refuse in the library under `dataPath` (a separator,
// a reserved name, too long) is warned about here, before the emulator runs;
// the warning never repeats the name, so that a long one keeps it narrow.
std::optional<core::Message> checkCreateInput(const std::string& exeLabel, const std::string& datName,
                                              const std::string& dataPath);

// DatFolder + name + ".dat", the name exactly as typed.
std::string datOutputPath(const std::string& dataPath, const std::string& datName);

// Where the new dat goes, asked before anything runs: datOutputPath, or the
// library's own spelling of that name when the library has it in another
// letter case (the library keeps one file of a name). When the library has a
// file of that name, the user is asked whether to replace it (No by
// default), and nothing is returned on No. A library that cannot be read has
// nothing to replace; writing there reports the failure.
std::optional<std::string> confirmedOutputPath(core::UserInterface& ui, const std::string& dataPath,
                                               const std::string& datName);

enum class CreateDatOutcome {
    Stored,       // the dat is in the library
    Failed,       // the emulator ran but gave no dat either way; reported
    StartFailed,  // no pipe or no program; reported
    OutputFailed, // the dat could not be written; reported
    Stopped,      // given up by the user
};

// Runs the emulator with -listinfo and, when that run fails (an exit code
// other than 0, nothing on standard output, as with every MAME since
// -listinfo was dropped, output that is not a dat, as from a program that
// is no emulator, or a dat that is not whole, judgeDat), again with -listxml,
// and stores the standard output of the run that succeeded as the dat at
// `outputPath`; a message then names the new dat and its size. When both
// fail, nothing is stored, an older dat stays as it was, and a critical
// message names each command line, its exit code, the first line of output
// that is not a dat or the last line of a dat that ended early, and the last
// lines of its standard error. The count shown starts afresh for the second
// run.
CreateDatOutcome createDat(core::UserInterface& ui, const std::string& exePath,
                           const std::string& outputPath, const CaptureCallbacks& callbacks = {});

// The critical message for an emulator that failed both ways: each run's
// command line, how it ended, the first line of output that is not a dat (or
// the last line of a dat that ended early) and its last lines of standard
// error.
struct FailedRun {
    Command command;
    CaptureResult result;
};
core::Message noDatMessage(const std::string& outputPath, const FailedRun& first,
                           const FailedRun& second);

// The message after a dat has been stored: its path and size.
core::Message datStoredMessage(const std::string& outputPath, std::int64_t size);

}  // namespace zfe::capture
