#include "tools/zandorel/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

namespace zfe::zandorel {
namespace {

std::string thrown(const std::function<void()>& first, const std::function<void()>& second) {
    try {
        runBoth(first, second);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

// Both run to their end whatever the other does, and what went wrong comes out
// after both are done: the first piece's failure before the second's.
TEST(RunBoth, BothRunAndFailuresComeOutInOrder) {
    std::atomic<int> done{0};
    const auto fails = [&](const char* what) {
        return [&done, what] {
            ++done;
            throw std::runtime_error(what);
        };
    };
    const auto succeeds = [&] { ++done; };
    EXPECT_EQ(thrown(succeeds, succeeds), "");
    EXPECT_EQ(thrown(fails("first"), succeeds), "first");
    EXPECT_EQ(thrown(succeeds, fails("second")), "second");
    EXPECT_EQ(thrown(fails("first"), fails("second")), "first");
    EXPECT_EQ(done.load(), 8);
}

}  // namespace
}  // namespace zfe::zandorel
