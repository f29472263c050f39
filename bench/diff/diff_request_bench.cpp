// The whole diff request of the window (checks, staging, the tool, delivery of
// the diff dat, reading the report back, clearing the work folder) against the
// tool alone on the same pair in the same run, both started the same way.
//
//   zfe_diff_request_bench --old OLD --new NEW [--folder DIR] [--repeat R]
//
// DIR (made if missing) becomes a program folder: datfiles/ with the two dats
// (hard links to OLD and NEW where possible), zdrl/ with the tool. Times are
// the best of R runs, the two taken in turns. Exit code 0 when the goal is met,
// 1 when it is not, 2 on trouble.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/user_interface.h"
#include "diff/command_runner.h"
#include "diff/diff_request.h"
#include "platform/file_system.h"

namespace fs = std::filesystem;

namespace {

constexpr double kGoal = 1.3;  // the request within this many times the tool alone

[[noreturn]] void trouble(const std::string& message) {
    std::fprintf(stderr, "zfe_diff_request_bench: %s\n", message.c_str());
    std::exit(2);
}

// No box may come up: any message is a failed request.
class SilentUi : public zfe::core::UserInterface {
public:
    zfe::core::MessageAnswer showMessage(const zfe::core::Message& message) override {
        trouble("the request said: " + message.text);
    }
    std::optional<std::string> showOpenDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
    std::optional<std::string> showSaveDialog(const zfe::core::FileDialogRequest&) override {
        return std::nullopt;
    }
};

// A hard link where the file system allows one, so that both runs read the
// very same cached pages; a copy elsewhere.
void place(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::remove(to, error);
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to);
}

template <typename Run>
double seconds(Run&& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    fs::path folder = fs::temp_directory_path() / "zfe-diff-request-bench";
    fs::path oldDat;
    fs::path newDat;
    int repeat = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--folder") {
            folder = value;
        } else if (option == "--old") {
            oldDat = value;
        } else if (option == "--new") {
            newDat = value;
        } else if (option == "--repeat") {
            repeat = std::max(1, std::atoi(value.c_str()));
        } else {
            trouble("unknown option " + option);
        }
    }
    if (argc % 2 == 0 || oldDat.empty() || newDat.empty()) {
        trouble("usage: zfe_diff_request_bench --old OLD --new NEW [--folder DIR] [--repeat R]");
    }

    const fs::path program = fs::absolute(folder);
    fs::create_directories(program / "datfiles");
    fs::create_directories(program / "zdrl");
    fs::create_directories(program / "alone");
    fs::create_directories(program / "out");
    // A diff dat of an earlier bench run would be asked about.
    fs::remove(program / "out" / "diff.dat");
    place(oldDat, program / "datfiles" / "old.dat");
    place(newDat, program / "datfiles" / "new.dat");
    place(ZFE_ZANDOREL_EXECUTABLE, program / "zdrl" / fs::path(ZFE_ZANDOREL_EXECUTABLE).filename());
    // The tool alone reads the same files, from a folder of its own.
    place(program / "datfiles" / "old.dat", program / "alone" / "old.dat");
    place(program / "datfiles" / "new.dat", program / "alone" / "new.dat");

    zfe::diff::DiffControls controls;
    controls.oldIndex = 0;
    controls.oldName = "old.dat";
    controls.newIndex = 0;
    controls.newName = "new.dat";
    controls.destination = (program / "out" / "diff.dat").string();
    controls.setTypeSelected = {true, false, false};
    zfe::platform::ProgramStart toolStart = zfe::diff::diffToolStart(
        program.string(), program.string(), {"-S"}, controls.oldName, controls.newName);
    toolStart.workingFolder = (program / "alone").string();

    const auto toolAlone = [&] {
        // As the request does, the tool starts in a folder without its outputs.
        for (const char* output : {"zandorel.dat", "zandorel.log"}) fs::remove(program / "alone" / output);
        zfe::diff::RunAndWait(toolStart);
    };
    SilentUi ui;
    const auto files = zfe::platform::makeFileSystemService();
    const auto wholeRequest = [&] {
        const zfe::diff::DiffRequestResult result = zfe::diff::createDiffDat(
            controls, program.string(), *files, ui, zfe::diff::RunAndWait);
        if (result.outcome != zfe::diff::DiffOutcome::Delivered) trouble("the request delivered nothing");
        // As the window does, so that the next run replaces it without a question.
        controls.lastDelivery = result.delivered;
    };

    std::printf("Inputs: %.1f MB and %.1f MB, split set type; best of %d runs in turns.\n",
                static_cast<double>(fs::file_size(oldDat)) / 1e6,
                static_cast<double>(fs::file_size(newDat)) / 1e6, repeat);
    toolAlone();  // warms the cache
    double alone = 1e30;
    double request = 1e30;
    for (int i = 0; i < repeat; ++i) {
        alone = std::min(alone, seconds(toolAlone));
        request = std::min(request, seconds(wholeRequest));
    }
    const double ratio = request / alone;
    const bool met = ratio <= kGoal;
    std::printf("\nTool alone: %.1f ms\nWhole request: %.1f ms (%.2fx the tool alone)\n"
                "Goal: within %.1fx: %s\n",
                alone * 1e3, request * 1e3, ratio, kGoal, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
