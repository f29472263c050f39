// The diff tool's run time against the time to merely read its two inputs once
// (`cat OLD NEW > /dev/null`, measured in the same run, warm cache), and its peak
// memory against the inputs' size, under every set type, full and compact.
//
//   zandorel_bench [--games N] [--seed S] [--folder DIR] [--repeat R]
//       two listinfo dats made by datgen's library into DIR (kept for later runs)
//   zandorel_bench --old OLD --new NEW [--repeat R]
//       a pair of dats of any format and size
//   zandorel_bench --generator "COMMAND" [--folder DIR] [--repeat R]
//       the pair written by COMMAND -o DIR/old.dat and COMMAND --next -o DIR/new.dat
//       (for instance "datgen --listxml" for a real-scale MAME -listxml pair)
//
// Times are the best of R runs, the reads in turns with each mode's runs. Exit code 0 when every
// goal is met, 1 when one is not, 2 on trouble.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/datgen/datgen.h"

namespace fs = std::filesystem;

namespace {

constexpr double kTimeGoal = 16.0;   // times the read of both inputs
constexpr double kMemoryGoal = 0.5;  // times the inputs' size

[[noreturn]] void trouble(const std::string& message) {
    std::fprintf(stderr, "zandorel_bench: %s\n", message.c_str());
    std::exit(2);
}

struct ChildRun {
    double seconds = 0;
    double peakBytes = 0;
    int exitCode = -1;
};

// A program run with its output thrown away, in `folder`, for its wall time
// and its own peak resident memory.
ChildRun runChild(const std::vector<std::string>& command, const fs::path& folder) {
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // The window clears the tool's folder after every request, so the tool never
    // replaces earlier outputs there; a rename over an existing file would also
    // time ext4 writing the new one out to the disk at once.
    std::error_code ignored;
    fs::remove(folder / "zandorel.dat", ignored);
    fs::remove(folder / "zandorel.log", ignored);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || chdir(folder.c_str()) != 0) _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child) trouble("cannot run " + command[0]);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    run.seconds = took.count();
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakBytes = static_cast<double>(usage.ru_maxrss) * 1024.0;
    return run;
}

void keepFastest(ChildRun& fastest, const ChildRun& again) {
    const double peakBytes = std::max(fastest.peakBytes, again.peakBytes);
    if (again.seconds < fastest.seconds) fastest = again;
    fastest.peakBytes = peakBytes;
}

struct Rounds {
    ChildRun read;
    ChildRun tool;
};

// The best of `repeat` reads of the inputs and of as many runs of the tool, in
// turns: the machine's speed drifts from one second to the next, and each
// ratio is then taken of times measured side by side.
Rounds bestInTurns(int repeat, const std::vector<std::string>& read,
                   const std::vector<std::string>& tool, const fs::path& folder) {
    Rounds rounds{runChild(read, folder), runChild(tool, folder)};
    for (int i = 1; i < repeat; ++i) {
        keepFastest(rounds.read, runChild(read, folder));
        keepFastest(rounds.tool, runChild(tool, folder));
    }
    return rounds;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) trouble("cannot write " + path.string());
}

// A file just written is flushed before anything is timed: the system writing
// out hundreds of megabytes meanwhile would slow the runs that are measured.
void flush(const fs::path& path) {
    const int file = ::open(path.c_str(), O_RDONLY);
    const bool flushed = file >= 0 && ::fsync(file) == 0;
    if (file >= 0) ::close(file);
    if (!flushed) trouble("cannot flush " + path.string());
}

void generateListinfo(const fs::path& folder, int games, std::uint32_t seed) {
    const fs::path stamp =
        folder / ("generated-" + std::to_string(games) + "-" + std::to_string(seed));
    if (fs::exists(stamp) && fs::exists(folder / "old.dat") && fs::exists(folder / "new.dat")) {
        return;
    }
    std::printf("Generating two dats of %d games (seed %u) in %s\n", games, seed,
                folder.string().c_str());
    zfe::datgen::Options options;
    options.games = games;
    options.seed = seed;
    writeFile(folder / "old.dat", zfe::datgen::generate(options).text);
    options.nextVersion = true;
    writeFile(folder / "new.dat", zfe::datgen::generate(options).text);
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("generated-", 0) == 0) fs::remove(entry.path());
    }
    writeFile(stamp, "");
}

void generateWith(const std::string& generator, const fs::path& folder) {
    std::printf("Generating with: %s\n", generator.c_str());
    const std::string old = generator + " -o \"" + (folder / "old.dat").string() + "\"";
    const std::string next = generator + " --next -o \"" + (folder / "new.dat").string() + "\"";
    if (std::system(old.c_str()) != 0 || std::system(next.c_str()) != 0) {
        trouble("the generator failed: " + generator);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int games = 40000;
    std::uint32_t seed = 1;
    int repeat = 5;
    fs::path folder = fs::temp_directory_path() / "zandorel-bench";
    std::string oldPath;
    std::string newPath;
    std::string generator;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--games") {
            games = std::atoi(value.c_str());
        } else if (option == "--seed") {
            seed = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (option == "--folder") {
            folder = value;
        } else if (option == "--repeat") {
            repeat = std::max(1, std::atoi(value.c_str()));
        } else if (option == "--old") {
            oldPath = value;
        } else if (option == "--new") {
            newPath = value;
        } else if (option == "--generator") {
            generator = value;
        } else {
            trouble("unknown option " + option);
        }
    }
    if (argc % 2 == 0) trouble(std::string("the option ") + argv[argc - 1] + " needs a value");
    if (oldPath.empty() != newPath.empty()) trouble("--old and --new go together");

    fs::create_directories(folder);
    if (oldPath.empty()) {
        if (generator.empty()) {
            generateListinfo(folder, games, seed);
        } else {
            generateWith(generator, folder);
        }
        oldPath = (folder / "old.dat").string();
        newPath = (folder / "new.dat").string();
        flush(oldPath);
        flush(newPath);
    }
    oldPath = fs::absolute(oldPath).string();
    newPath = fs::absolute(newPath).string();
    const double inputBytes = static_cast<double>(fs::file_size(oldPath) + fs::file_size(newPath));
    std::printf("Inputs: %s %.1f MB, %s %.1f MB\n", oldPath.c_str(), fs::file_size(oldPath) / 1e6,
                newPath.c_str(), fs::file_size(newPath) / 1e6);

    // The files once, to warm the cache; the reads that the goals scale by are
    // taken in turns with each mode's runs.
    const std::vector<std::string> read = {"cat", oldPath, newPath};
    runChild(read, folder);
    std::printf(
        "Best of %d runs each; \"read\" is cat OLD NEW > /dev/null, in turns with them.\n\n",
        repeat);

    std::printf("%-10s %9s %10s %8s %12s %9s  %s\n", "mode", "read", "time", "x read", "peak RSS",
                "x inputs", "goals");
    bool allMet = true;
    for (const char* type : {"-S", "-M", "-N", "-F"}) {
        for (const bool compact : {false, true}) {
            std::vector<std::string> command = {ZANDOREL_EXECUTABLE, type};
            if (compact) command.push_back("-t");
            command.push_back(oldPath);
            command.push_back(newPath);
            const Rounds rounds = bestInTurns(repeat, read, command, folder);
            const ChildRun& tool = rounds.tool;
            if (tool.exitCode != 0 && tool.exitCode != 1) {
                trouble("zandorel exited with " + std::to_string(tool.exitCode) + "; see " +
                        (folder / "zandorel.log").string());
            }
            const double timeRatio = tool.seconds / rounds.read.seconds;
            const double memoryRatio = tool.peakBytes / inputBytes;
            const bool met = timeRatio <= kTimeGoal && memoryRatio <= kMemoryGoal;
            allMet = allMet && met;
            std::printf("%-10s %7.1fms %8.1fms %7.2fx %9.1f MB %8.2fx  %s\n",
                        (std::string(type) + (compact ? " -t" : "")).c_str(),
                        rounds.read.seconds * 1e3, tool.seconds * 1e3, timeRatio,
                        tool.peakBytes / 1e6, memoryRatio, met ? "met" : "NOT met");
        }
    }
    std::printf("\nGoals: within %.0fx the read time, peak memory within %.1fx the inputs: %s\n",
                kTimeGoal, kMemoryGoal, allMet ? "all met" : "NOT all met");
    return allMet ? 0 : 1;
}
