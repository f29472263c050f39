// Stand-in for a second window: takes the lock file named by its argument,
// says "held" (or "refused") on standard output and waits to be killed, for
// a minute at most.

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/lock_file.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const auto lock = zfe::platform::LockFile::tryToTake(argv[1]);
    std::puts(lock ? "held" : "refused");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 0;
}
