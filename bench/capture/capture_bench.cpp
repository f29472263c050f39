// The pipe capture against the emulator writing the same output into a file
// by itself (its standard output redirected by a shell, as "mame -listxml >
// file" would; on Windows by the command interpreter, %ComSpec%), both
// measured in the same run, turn about.
//
//   zfe_capture_bench [--repeat N] [--folder DIR] [--goal RATIO] [-- PROGRAM ARGUMENT...]
//
// Without a program the stand-in child prints ZFE_BENCH_CAPTURE_MB megabytes
// (200 unless given) as fast as it can. The goal: the capture takes at most
// 1.1 times as long as the program writing the file itself (--goal 0: the
// figures alone, no goal).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/capture_to_file.h"
#include "platform/piped_child.h"

namespace {

using Clock = std::chrono::steady_clock;
using zfe::capture::CaptureOutcome;
using zfe::capture::Command;


class NoDialogs : public zfe::core::UserInterface {
public:
    zfe::core::MessageAnswer showMessage(const zfe::core::Message& message) override {
        throw std::runtime_error("unexpected message: " + message.text);
    }
    std::optional<std::string> showOpenDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> showSaveDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
};

struct Options {
    int repeat = 3;
    double goal = 1.1;
    std::filesystem::path folder;
    Command emulator;
};

Options parse(int argc, char** argv) {
    Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--") {
            ++i;
            break;
        }
        if (argument == "--repeat" && i + 1 < argc) {
            options.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--folder" && i + 1 < argc) {
            options.folder = argv[++i];
        } else if (argument == "--goal" && i + 1 < argc) {
            options.goal = std::atof(argv[++i]);
        } else {
            throw std::runtime_error("usage: zfe_capture_bench [--repeat N] [--folder DIR] "
                                     "[--goal RATIO] [-- PROGRAM ARGUMENT...]");
        }
    }
    if (i < argc) {
        options.emulator.program = argv[i];
        options.emulator.arguments.assign(argv + i + 1, argv + argc);
    } else {
        const char* megabytes = std::getenv("ZFE_BENCH_CAPTURE_MB");
        const long long size = (megabytes != nullptr ? std::atoll(megabytes) : 200) * 1024 * 1024;
        options.emulator = {ZFE_STAND_IN_CHILD, {"pattern:" + std::to_string(size) + ":65536"}};
    }
#ifdef _WIN32
    // The command interpreter would take a path that starts with "/" for an
    // option of its own.
    options.emulator.program =
        std::filesystem::absolute(options.emulator.program).make_preferred().string();
#endif
    if (options.folder.empty()) {
        options.folder = std::filesystem::temp_directory_path() /
                         ("zfe-capture-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
    }
    std::filesystem::create_directories(options.folder);
    return options;
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The program started the same way as by the capture, through a shell that
// sends its standard output into `file`.
double writeDirectly(const Command& emulator, const std::filesystem::path& file) {
#ifdef _WIN32
    // The command interpreter takes the rest of its line as it stands: the
    // paths must hold no blank.
    const char* interpreter = std::getenv("ComSpec");
    const std::string shell = interpreter != nullptr ? interpreter : "C:\\windows\\system32\\cmd.exe";
    std::vector<std::string> arguments{"/d", "/c", emulator.program};
    arguments.insert(arguments.end(), emulator.arguments.begin(), emulator.arguments.end());
    arguments.insert(arguments.end(), {">", file.string()});
#else
    const std::string shell = "/bin/sh";
    std::vector<std::string> arguments{"-c", "out=$1; shift; exec \"$@\" > \"$out\"", "sh",
                                       file.string(), emulator.program};
    arguments.insert(arguments.end(), emulator.arguments.begin(), emulator.arguments.end());
#endif
    const auto start = Clock::now();
    zfe::platform::PipedChild child(shell, arguments);
    if (!child.started()) throw std::runtime_error("cannot start " + shell);
    char buffer[256];
    while (child.read(buffer, sizeof buffer, std::chrono::milliseconds(-1)).kind !=
           zfe::platform::PipedChild::ReadResult::Kind::Ended) {
    }
    const std::optional<int> code = child.waitForExit(std::chrono::hours(1));
    const double seconds = secondsSince(start);
    child.close();
    if (code != 0) throw std::runtime_error("the program failed writing by itself");
    return seconds;
}

double capture(const Command& emulator, const std::filesystem::path& file, std::uintmax_t expected,
               std::int64_t& reads) {
    NoDialogs ui;
    const auto start = Clock::now();
    const auto result = zfe::capture::captureToFile(ui, emulator, file.string());
    const double seconds = secondsSince(start);
    reads = result.reads;
    if (result.outcome != CaptureOutcome::Completed ||
        static_cast<std::uintmax_t>(result.totalBytes) != expected) {
        throw std::runtime_error("capture incomplete: " + std::to_string(result.totalBytes) +
                                 " of " + std::to_string(expected) + " bytes");
    }
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parse(argc, argv);
        std::printf("emulator: %s\nfolder:   %s\n",
                    zfe::capture::shownCommandLine(options.emulator).c_str(),
                    options.folder.string().c_str());
        const std::filesystem::path direct = options.folder / "direct.dat";
        const std::filesystem::path captured = options.folder / "captured.dat";
        std::vector<double> directTimes;
        std::vector<double> captureTimes;
        std::uintmax_t size = 0;
        for (int run = 1; run <= options.repeat; ++run) {
            directTimes.push_back(writeDirectly(options.emulator, direct));
            size = std::filesystem::file_size(direct);
            std::int64_t reads = 0;
            captureTimes.push_back(capture(options.emulator, captured, size, reads));
            std::printf("run %d: %.1f MB, by itself %.3f s, captured %.3f s (%lld reads, %.0f KB a read)\n",
                        run, static_cast<double>(size) / 1e6, directTimes.back(), captureTimes.back(),
                        static_cast<long long>(reads),
                        static_cast<double>(size) / 1e3 / static_cast<double>(std::max<std::int64_t>(reads, 1)));
        }
        std::filesystem::remove(direct);
        std::filesystem::remove(captured);
        const double ratio = median(captureTimes) / median(directTimes);
        std::printf("median: by itself %.3f s, captured %.3f s (%.0f MB/s): %.2f times",
                    median(directTimes), median(captureTimes),
                    static_cast<double>(size) / 1e6 / median(captureTimes), ratio);
        if (options.goal <= 0) {
            std::printf("\n");
            return 0;
        }
        std::printf(", goal at most %.1f: %s\n", options.goal, ratio <= options.goal ? "met" : "MISSED");
        return ratio <= options.goal ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zfe_capture_bench: %s\n", error.what());
        return 2;
    }
}
