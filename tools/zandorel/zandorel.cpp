#include "tools/zandorel/zandorel.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "tools/zandorel/command_line.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/file_io.h"
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

using Identities = std::vector<FileIdentity>;

bool isOneOf(const std::string& path, const Identities& inputs) {
    const FileIdentity identity = identityOf(path);
    for (const FileIdentity& input : inputs) {
        if (identity.sameFileAs(input)) return true;
    }
    return false;
}

// A failed run leaves no diff dat, so that nobody takes an earlier run's result
// for this one's, and a log that says why; but it never touches an input, nor
// removes what is not a plain file.
int fail(const std::string& message, std::ostream& err, const Identities& inputs) {
    if (isPlainFile(kDiffDatName) && !isOneOf(kDiffDatName, inputs)) std::remove(kDiffDatName);
    err << "zandorel: error: " << message << "\n";
    if (isOneOf(kLogName, inputs)) return kTrouble;
    try {
        writeFileReplacing(kLogName, "zandorel " + version() + "\nError: " + message + "\n");
    } catch (const std::exception& e) {
        err << "zandorel: error: " << e.what() << "\n";
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
        dat = std::make_unique<Dat>(readDatFile(path));
        requireUnchanged(*dat);
        sets = std::make_unique<SetModel>(*dat, type);
    }
};

// OLD and NEW at once: reading and parsing one dat needs nothing of the other.
// Where both fail, OLD's trouble is told.
void loadBoth(const CommandLine& line, Side& oldSide, Side& newSide) {
    runBoth([&] { oldSide.load(line.oldPath, line.setType); },
            [&] { newSide.load(line.newPath, line.setType); });
}

// Why the run may not go on: an input that one of the outputs would replace.
std::string clashWithOutputs(const CommandLine& line, const Identities& inputs) {
    const std::string paths[] = {line.oldPath, line.newPath};
    for (const char* output : {kDiffDatName, kLogName}) {
        const FileIdentity identity = identityOf(output);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            if (inputs[i].sameFileAs(identity)) {
                return paths[i] + ": this input is the file " + output +
                       " that zandorel writes in the current folder; copy or rename it first";
            }
        }
    }
    return {};
}

int diffFiles(const CommandLine& line, std::ostream& err) {
    const Identities inputs = {identityOf(line.oldPath), identityOf(line.newPath)};
    if (const std::string clash = clashWithOutputs(line, inputs); !clash.empty()) {
        return fail(clash, err, inputs);
    }
    try {
        Side oldSide;
        Side newSide;
        loadBoth(line, oldSide, newSide);
        const DiffResult diff = diffSets(*oldSide.sets, *newSide.sets);
        OutputFile diffDat(kDiffDatName);
        ReportContext context;
        context.version = version();
        context.compact = line.compact;
        std::string report;
        // Both only read the models, and both may read the text again: the diff
        // dat holds bytes of NEW, and the report counts the lines of duplicate
        // games in either. Each input is checked once both are done with it.
        runBoth(
            [&] {
                context.gamesWritten =
                    writeDiffDat(*oldSide.sets, *newSide.sets, diff, line.compact,
                                 [&](std::string_view text) { diffDat.write(text); });
            },
            [&] { writeReportBody(*oldSide.sets, *newSide.sets, diff, context, report); });
        requireUnchanged(*oldSide.dat);
        requireUnchanged(*newSide.dat);
        writeReportSummary(diff, context.gamesWritten, report);
        OutputFile log(kLogName);
        log.write(report);
        // Replacing the outputs of an earlier run frees their pages, and letting
        // go of the inputs and models unmaps theirs: the two threads share that.
        runBoth(
            [&] {
                diffDat.commit();
                log.commit();
                oldSide.release();
            },
            [&] { newSide.release(); });
        return diff.empty() ? kNoDifferences : kDifferences;
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for these dats", err, inputs);
    } catch (const std::exception& e) {
        return fail(e.what(), err, inputs);
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
        err << usageText();
        // Any argument may have been meant as an input: none of them is touched.
        Identities named;
        for (const std::string& argument : arguments) named.push_back(identityOf(argument));
        return fail(e.what(), err, named);
    }
    if (line.action == CommandLine::Action::Help) {
        out << usageText();
        return kNoDifferences;
    }
    if (line.action == CommandLine::Action::Version) {
        out << "zandorel " << version() << (xmlSupported() ? "" : " (without XML support)") << "\n";
        return kNoDifferences;
    }
    return diffFiles(line, err);
}

}  // namespace zfe::zandorel
