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

bool isAnInput(const CommandLine& line, const std::string& path) {
    return platform::isSameFileOrFolder(path, line.oldPath) ||
           platform::isSameFileOrFolder(path, line.newPath);
}

// An output written whole under a name of its own and renamed into place:
// gathered in large writes, as the diff dat comes in small pieces.
class Output {
public:
    explicit Output(const std::string& path) : file_(path) {}

    void write(std::string_view text) {
        constexpr std::size_t kBufferSize = 1U << 20;
        if (buffer_.size() + text.size() > kBufferSize) flush();
        if (text.size() >= kBufferSize) {
            file_.write(text.data(), text.size());
            return;
        }
        if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
        buffer_.append(text);
    }

    // A diff dat is made again by running again: no wait for the disk.
    void commit() {
        flush();
        file_.commitWithoutFlush();
    }

private:
    void flush() {
        file_.write(buffer_.data(), buffer_.size());
        buffer_.clear();
    }

    platform::FileReplacement file_;
    std::string buffer_;
};

// Trouble leaves an earlier diff dat as it was and a report that says why,
// unless the report's name is an input's.
int fail(const CommandLine& line, const std::string& message, std::ostream& err) {
    err << "zandorel: error: " << message << "\n";
    if (isAnInput(line, line.logPath)) return kTrouble;
    try {
        Output log(line.logPath);
        log.write("zandorel " + version() + "\nError: " + message + "\n");
        log.commit();
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
                return input + ": this input is the file " + *output +
                       " that zandorel writes; copy or rename it first";
            }
        }
    }
    if (platform::isSameFileOrFolder(line.oldPath, line.newPath) &&
        !platform::isRegularFile(line.oldPath) && !platform::directoryExists(line.oldPath)) {
        return line.newPath +
               ": OLD and NEW are one pipe or device, which can be read only once; "
               "save it to a file and name the file twice";
    }
    return {};
}

std::string summaryOf(const std::string& report) {
    const std::size_t start = report.rfind("Summary: ");
    return start == std::string::npos ? std::string() : report.substr(start);
}

int diffFiles(const CommandLine& line, std::ostream& out, std::ostream& err) {
    if (const std::string refused = refusal(line); !refused.empty()) {
        return fail(line, refused, err);
    }
    try {
        Side oldSide;
        Side newSide;
        loadBoth(line, oldSide, newSide);
        const DiffResult diff = diffSets(*oldSide.sets, *newSide.sets);
        Output diffDat(line.diffDatPath);
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
        writeReportSummary(diff, context, report);
        Output log(line.logPath);
        log.write(report);
        diffDat.commit();
        log.commit();
        runBoth([&] { oldSide.release(); }, [&] { newSide.release(); });
        out << summaryOf(report);
        return diff.empty() ? kNoDifferences : kDifferences;
    } catch (const std::bad_alloc&) {
        return fail(line, "not enough memory for these dats", err);
    } catch (const std::exception& e) {
        return fail(line, e.what(), err);
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
        // As diff(1): a command line that cannot be meant touches no file.
        err << "zandorel: " << e.what() << "\n" << usageText();
        return kTrouble;
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
