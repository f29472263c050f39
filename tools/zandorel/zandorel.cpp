#include "tools/zandorel/zandorel.h"

#include <exception>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>

#include "platform/file_system.h"
#include "tools/zandorel/command_line.h"
#include "tools/zandorel/dat_file.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/field_text.h"
#include "tools/zandorel/outputs.h"
#include "tools/zandorel/parallel.h"
#include "tools/zandorel/report.h"

#ifndef ZANDOREL_VERSION
#define ZANDOREL_VERSION "0.0.0"
#endif

namespace zfe::zandorel {

namespace {

constexpr int kNoDifferences = 0;
constexpr int kDifferences = 1;
constexpr int kTrouble = 2;

// The files that the outputs' names lead to.
struct Outputs {
    OutputTarget diffDat;
    OutputTarget log;
};

bool isAnInput(const CommandLine& line, const std::string& path) {
    return platform::isSameFileOrFolder(path, line.oldPath) ||
           platform::isSameFileOrFolder(path, line.newPath);
}

int usageError(const std::string& message, std::ostream& err) {
    // As diff(1): a command line that cannot be meant touches no file.
    err << "zandorel: " << messageText(message) << "\n" << usageText();
    return kTrouble;
}

// Where the outputs go, before anything is read. Throws UsageError for two
// names of one file, OutputRefused for a name the tool writes no file at.
Outputs findOutputs(const CommandLine& line) {
    Outputs outputs{outputTarget(line.diffDatPath), outputTarget(line.logPath)};
    if (isOneOutput(outputs.diffDat.path, outputs.log.path)) {
        throw UsageError("the report " + pathText(line.logPath) + " would be the diff dat " +
                         pathText(line.diffDatPath) +
                         ", one file on its volume; name the diff dat with another extension");
    }
    return outputs;
}

// Trouble leaves an earlier diff dat as it was and a report that says why,
// unless the report's name is an input's.
int fail(const CommandLine& line, const Outputs& outputs, const std::string& message,
         std::ostream& err) {
    const std::string text = messageText(message);
    err << "zandorel: error: " << text << "\n";
    if (isAnInput(line, outputs.log.path)) return kTrouble;
    try {
        Output log(outputs.log);
        log.write("zandorel " + version() + "\nError: " + text + "\n");
        log.commit();
    } catch (const std::exception& e) {
        // The report's own trouble, told once.
        if (const std::string again = messageText(e.what()); again != text) {
            err << "zandorel: error: " << again << "\n";
        }
    }
    return kTrouble;
}

// One dat and its sets, made on a thread of its own.
struct Side {
    std::unique_ptr<Dat> dat;
    std::unique_ptr<SetModel> sets;

    // The sets before the dat they point into.
    void release() noexcept {
        sets.reset();
        dat.reset();
    }

    void load(const std::string& path, SetType type) {
        dat = std::make_unique<Dat>(readDatFile(
            path, kReadAhead,
            type == SetType::FullNonMerged ? DeviceRefs::Read : DeviceRefs::Skip));
        sets = std::make_unique<SetModel>(*dat, type);
    }
};

// OLD and NEW at once: reading and parsing one dat needs nothing of the other.
// Where both fail, OLD's trouble is told.
void loadBoth(const CommandLine& line, Side& oldSide, Side& newSide) {
    runBoth([&] { oldSide.load(line.oldPath, line.setType); },
            [&] { newSide.load(line.newPath, line.setType); });
}

// Why the inputs may not be read: an input that an output would replace, or one
// pipe or device named twice, which would give each reader part of its bytes.
std::string refusal(const CommandLine& line) {
    const std::string inputs[] = {line.oldPath, line.newPath};
    for (const std::string* output : {&line.diffDatPath, &line.logPath}) {
        for (const std::string& input : inputs) {
            if (platform::isSameFileOrFolder(input, *output)) {
                return pathText(input) + ": this input is the file " + pathText(*output) +
                       " that zandorel writes; copy or rename it first";
            }
        }
    }
    if (platform::isSameFileOrFolder(line.oldPath, line.newPath) &&
        !platform::isRegularFile(line.oldPath) && !platform::directoryExists(line.oldPath)) {
        return pathText(line.newPath) +
               ": OLD and NEW are one pipe or device, which can be read only once; "
               "save it to a file and name the file twice";
    }
    return {};
}

int diffFiles(const CommandLine& line, std::ostream& out, std::ostream& err) {
    Outputs outputs;
    try {
        outputs = findOutputs(line);
    } catch (const UsageError& e) {
        return usageError(e.what(), err);
    } catch (const OutputRefused& e) {
        err << "zandorel: error: " << messageText(e.what()) << "\n";
        return kTrouble;
    }
    if (const std::string refused = refusal(line); !refused.empty()) {
        return fail(line, outputs, refused, err);
    }
    try {
        // Made first, so that an output that cannot be written is told before
        // the inputs are read.
        Output diffDat(outputs.diffDat);
        Output log(outputs.log);
        Side oldSide;
        Side newSide;
        loadBoth(line, oldSide, newSide);
        const DiffResult diff = diffSets(*oldSide.sets, *newSide.sets);
        ReportContext context;
        context.version = version();
        context.compact = line.compact;
        context.diffDatName = line.diffDatPath;
        std::string report;
        // Both only read the models, and both may read the inputs again: the
        // diff dat holds bytes of NEW, and the report counts the lines of
        // duplicate games in either.
        runBoth(
            [&] {
                context.gamesWritten =
                    writeDiffDat(*oldSide.sets, *newSide.sets, diff, line.compact,
                                 [&](std::string_view text) { diffDat.write(text); });
            },
            [&] { writeReportBody(*oldSide.sets, *newSide.sets, diff, context, report); });
        requireUnchanged(*oldSide.dat);
        requireUnchanged(*newSide.dat);
        const std::string summary = summaryLine(diff, context);
        report += '\n';
        report += summary;
        log.write(report);
        // Both whole before either is put in place, and the report first: a
        // run that fails from here on leaves the earlier diff dat as it was.
        // A dat with no game, which its own format refuses, is not written.
        diffDat.finish();
        log.finish();
        log.commit();
        if (context.gamesWritten > 0) diffDat.commit();
        runBoth([&] { oldSide.release(); }, [&] { newSide.release(); });
        out << summary;
        return diff.empty() ? kNoDifferences : kDifferences;
    } catch (const std::bad_alloc&) {
        return fail(line, outputs, "not enough memory for these dats", err);
    } catch (const std::exception& e) {
        return fail(line, outputs, e.what(), err);
    }
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
        return usageError(e.what(), err);
    }
    if (line.action == CommandLine::Action::Help) {
        out << usageText();
        return kNoDifferences;
    }
    if (line.action == CommandLine::Action::Version) {
        out << "zandorel " << version() << (xmlSupported() ? "" : " (without XML support)") << "\n";
        return kNoDifferences;
    }
    return diffFiles(line, out, err);
}

}  // namespace zfe::zandorel
