// The pipe capture against the child writing the same bytes straight into a
// file: what the pipe, the 256-byte reads and the replaced file cost.
// ZFE_BENCH_CAPTURE_MB sets the size (200 MB unless given).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "capture/capture_to_file.h"

namespace {

using zfe::capture::CaptureOutcome;

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

long long outputBytes() {
    const char* megabytes = std::getenv("ZFE_BENCH_CAPTURE_MB");
    return (megabytes != nullptr ? std::atoll(megabytes) : 200) * 1024 * 1024;
}

std::string scratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zfe-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

// The child writes through the pipe, the capture copies into the dat.
void captureThroughPipe(benchmark::State& state) {
    NoDialogs ui;
    const long long size = outputBytes();
    const std::string folder = scratchFolder();
    const std::string command =
        std::string(ZFE_STAND_IN_CHILD) + " pattern:" + std::to_string(size) + ":65536";
    for (auto _ : state) {
        const auto result = zfe::capture::captureToFile(ui, command, folder + "/bench.dat");
        if (result.outcome != CaptureOutcome::Completed || result.totalBytes != size) {
            state.SkipWithError("capture incomplete");
        }
        state.counters["reads"] = static_cast<double>(result.reads);
    }
    state.SetBytesProcessed(state.iterations() * size);
    std::filesystem::remove_all(folder);
}

// The same child and start, writing the same bytes into a file itself; the
// pipe carries nothing.
void childWritesFileItself(benchmark::State& state) {
    NoDialogs ui;
    const long long size = outputBytes();
    const std::string folder = scratchFolder();
    const std::string command = std::string(ZFE_STAND_IN_CHILD) + " tofile:" + folder +
                                "/direct.dat:" + std::to_string(size);
    for (auto _ : state) {
        zfe::capture::captureToFile(ui, command, folder + "/empty.dat");
        if (std::filesystem::file_size(folder + "/direct.dat") !=
            static_cast<std::uintmax_t>(size)) {
            state.SkipWithError("file incomplete");
        }
    }
    state.SetBytesProcessed(state.iterations() * size);
    std::filesystem::remove_all(folder);
}

}  // namespace

BENCHMARK(captureThroughPipe)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(childWritesFileItself)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
