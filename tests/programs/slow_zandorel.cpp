// A diff tool that takes its time, for the window's behaviour while a diff
// runs. Run in the tool's folder, it leaves "running" there for as long as it
// runs, adds a line to "runs.txt" for each run, waits ZFE_SLOW_DIFF_MS
// milliseconds (3000 unless set) and then writes zandorel.dat (its arguments)
// and a zandorel.log that ends in a summary line, and exits with the code in
// ZFE_SLOW_DIFF_EXIT (0 unless set).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    std::ofstream("runs.txt", std::ios::app | std::ios::binary) << "run\n";
    std::ofstream("running") << "running\n";

    const char* delay = std::getenv("ZFE_SLOW_DIFF_MS");
    const long milliseconds = delay != nullptr ? std::strtol(delay, nullptr, 10) : 3000;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));

    std::string arguments;
    for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + argv[i];
    std::ofstream("zandorel.dat", std::ios::binary) << "slow diff of " << arguments << "\n";
    std::ofstream("zandorel.log", std::ios::binary)
        << "slow report\n\nSummary: 1 added, 0 removed, 0 renamed, 0 changed, 2 unchanged\n";
    std::remove("running");
    const char* exitCode = std::getenv("ZFE_SLOW_DIFF_EXIT");
    return exitCode != nullptr ? std::atoi(exitCode) : 0;
}
