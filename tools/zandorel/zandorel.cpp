#include "tools/zandorel/zandorel.h"

#include <ostream>
#include <stdexcept>

#include "tools/zandorel/command_line.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/output_file.h"
#include "tools/zandorel/report.h"

#ifndef ZANDOREL_VERSION
#define ZANDOREL_VERSION "0.0.0"
#endif

namespace zfe::zandorel {

namespace {

// A failed run leaves no diff dat, so that nobody takes an earlier run's result
// for this one's, and a log that says why.
int fail(const std::string& message, std::ostream& err) {
    removeFileIfPresent(kDiffDatName);
    err << "zandorel: error: " << message << "\n";
    try {
        writeFileReplacing(kLogName, "zandorel " + version() + "\nError: " + message + "\n");
    } catch (const std::exception& e) {
        err << "zandorel: error: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace

std::string version() {
    return ZANDOREL_VERSION;
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    CommandLine line;
    try {
        line = parseCommandLine(arguments);
    } catch (const UsageError& e) {
        err << usageText();
        return fail(e.what(), err);
    }
    if (line.action == CommandLine::Action::Help) {
        out << usageText();
        return 0;
    }
    if (line.action == CommandLine::Action::Version) {
        out << "zandorel " << version() << (xmlSupported() ? "" : " (without XML support)") << "\n";
        return 0;
    }
    try {
        const Dat oldDat = readDatFile(line.oldPath);
        const Dat newDat = readDatFile(line.newPath);
        const SetModel oldSets(oldDat, line.setType);
        const SetModel newSets(newDat, line.setType);
        const DiffResult diff = diffSets(oldSets, newSets);
        std::string diffDat;
        ReportContext context;
        context.version = version();
        context.compact = line.compact;
        context.gamesWritten = writeDiffDat(oldSets, newSets, diff, line.compact, diffDat);
        std::string report;
        writeReport(oldSets, newSets, diff, context, report);
        writeFileReplacing(kDiffDatName, diffDat);
        writeFileReplacing(kLogName, report);
    } catch (const std::exception& e) {
        return fail(e.what(), err);
    }
    return 0;
}

}  // namespace zfe::zandorel
