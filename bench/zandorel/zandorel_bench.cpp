// Times the diff under each set type against merely reading the two files, and
// the tool's peak memory against the inputs' size.
//
//   zandorel_bench [--games N] [--seed S] [--folder DIR] [--repeat R]
//
// The dats are generated into DIR (kept there for later runs with the same
// options). Times are the best of R runs on a warm file cache.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tools/datgen/datgen.h"
#include "tools/zandorel/dat_writer.h"
#include "tools/zandorel/diff.h"
#include "tools/zandorel/report.h"

namespace fs = std::filesystem;
using namespace zfe::zandorel;

namespace {

double bestSeconds(int repeat, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
        std::exit(2);
    }
}

// Everything that the tool does between its arguments and its output files.
std::size_t diffOnce(const std::string& oldPath, const std::string& newPath, SetType type,
                     bool compact) {
    const Dat oldDat = readDatFile(oldPath);
    const Dat newDat = readDatFile(newPath);
    const SetModel oldSets(oldDat, type);
    const SetModel newSets(newDat, type);
    const DiffResult diff = diffSets(oldSets, newSets);
    std::string diffDat;
    const std::size_t games = writeDiffDat(oldSets, newSets, diff, compact, diffDat);
    std::string report;
    writeReport(oldSets, newSets, diff, ReportContext{"bench", compact, games}, report);
    return diffDat.size() + report.size();
}

struct ChildRun {
    double seconds = 0;
    long peakKilobytes = -1;
    int exitCode = -1;
};

// The tool itself as a child process, for its own peak resident memory.
ChildRun runTool(const fs::path& folder, const char* option) {
    ChildRun run;
#ifndef _WIN32
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.c_str()) != 0) _exit(127);
        execl(ZANDOREL_EXECUTABLE, ZANDOREL_EXECUTABLE, option, "old.dat", "new.dat",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child) {
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.peakKilobytes = usage.ru_maxrss;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    run.seconds = took.count();
#else
    (void)folder;
    (void)option;
#endif
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    int games = 40000;
    std::uint32_t seed = 1;
    int repeat = 5;
    fs::path folder = fs::temp_directory_path() / "zandorel-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--games") {
            games = std::atoi(argv[i + 1]);
        } else if (option == "--seed") {
            seed = static_cast<std::uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        } else if (option == "--folder") {
            folder = argv[i + 1];
        } else if (option == "--repeat") {
            repeat = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr, "unknown option %s\n", option.c_str());
            return 2;
        }
    }
    fs::create_directories(folder);
    const fs::path oldPath = folder / "old.dat";
    const fs::path newPath = folder / "new.dat";
    const fs::path stamp =
        folder / ("generated-" + std::to_string(games) + "-" + std::to_string(seed));
    if (!fs::exists(stamp) || !fs::exists(oldPath) || !fs::exists(newPath)) {
        std::printf("Generating two dats of %d games (seed %u) in %s\n", games, seed,
                    folder.string().c_str());
        zfe::datgen::Options options;
        options.games = games;
        options.seed = seed;
        writeFile(oldPath, zfe::datgen::generate(options).text);
        options.nextVersion = true;
        writeFile(newPath, zfe::datgen::generate(options).text);
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind("generated-", 0) == 0)
                fs::remove(entry.path());
        }
        writeFile(stamp, "");
    }
    const double inputBytes = static_cast<double>(fs::file_size(oldPath) + fs::file_size(newPath));
    std::printf("Inputs: old.dat %.1f MB, new.dat %.1f MB\n", fs::file_size(oldPath) / 1e6,
                fs::file_size(newPath) / 1e6);

    const double read = bestSeconds(repeat, [&] {
        const Bytes a = readFileBytes(oldPath.string());
        const Bytes b = readFileBytes(newPath.string());
        if (a.size() + b.size() == 0) std::abort();
    });
    // Parsing alone, from bytes already in memory.
    double parse = 1e30;
    for (int i = 0; i < repeat; ++i) {
        Bytes a = readFileBytes(oldPath.string());
        Bytes b = readFileBytes(newPath.string());
        parse = std::min(parse, bestSeconds(1, [&] {
                             const Dat oldDat = parseDat(std::move(a), oldPath.string());
                             const Dat newDat = parseDat(std::move(b), newPath.string());
                             if (oldDat.games.empty() || newDat.games.empty()) std::abort();
                         }));
    }
    // What the tool does to get both dats: map (or read) and parse.
    const double load = bestSeconds(repeat, [&] {
        const Dat a = readDatFile(oldPath.string());
        const Dat b = readDatFile(newPath.string());
        if (a.games.empty() || b.games.empty()) std::abort();
    });
    std::printf("\nRead both files into memory: %8.1f ms\n", read * 1e3);
    std::printf("Parse both, bytes in memory: %8.1f ms\n", parse * 1e3);
    std::printf("Map and parse both (tool):   %8.1f ms\n", load * 1e3);

    std::printf("\n%-22s %10s %10s %12s %14s %10s\n", "Diff (in process)", "time", "x read",
                "tool time", "tool peak RSS", "x inputs");
    const struct {
        const char* label;
        SetType type;
        bool compact;
        const char* option;
    } cases[] = {{"split -S", SetType::Split, false, "-S"},
                 {"merged -M", SetType::Merged, false, "-M"},
                 {"non-merged -N", SetType::NonMerged, false, "-N"},
                 {"merged compact -M -t", SetType::Merged, true, "-Mt"}};
    bool allWithinGoal = true;
    for (const auto& c : cases) {
        std::size_t sink = 0;
        const double took = bestSeconds(repeat, [&] {
            sink += diffOnce(oldPath.string(), newPath.string(), c.type, c.compact);
        });
        ChildRun tool;
        if (!c.compact) {
            tool = runTool(folder, c.option);
            for (int i = 1; i < repeat; ++i) {
                const ChildRun again = runTool(folder, c.option);
                tool.seconds = std::min(tool.seconds, again.seconds);
            }
        }
        const double memoryRatio = tool.peakKilobytes * 1024.0 / inputBytes;
        if (tool.exitCode > 0) std::printf("  the tool exited with %d\n", tool.exitCode);
        if (c.compact) {
            std::printf("%-22s %8.1fms %9.2fx %12s %14s %10s\n", c.label, took * 1e3, took / read,
                        "-", "-", "-");
        } else {
            std::printf("%-22s %8.1fms %9.2fx %10.1fms %11.1f MB %9.2fx\n", c.label, took * 1e3,
                        took / read, tool.seconds * 1e3, tool.peakKilobytes / 1024.0, memoryRatio);
            allWithinGoal = allWithinGoal && memoryRatio <= 2.0;
        }
        allWithinGoal = allWithinGoal && took / read <= 4.0;
        if (sink == 0) std::abort();
    }
    std::printf("\nGoal: diff within 4x the read time, peak memory within 2x the inputs: %s\n",
                allWithinGoal ? "met" : "NOT met");
    return 0;
}
