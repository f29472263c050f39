#include "platform/termination_signals.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

namespace zfe::platform {
namespace {

TEST(TerminationSignals, FirstSignalIsNotedForTheEventLoopTheNextEndsTheProgram) {
    const int signalled = watchTerminationSignals();
    ASSERT_GE(signalled, 0);
    EXPECT_EQ(watchTerminationSignals(), signalled);
    pollfd ready{signalled, POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 0), 0) << "readable before any signal";

    ASSERT_EQ(::raise(SIGTERM), 0);  // still running afterwards
    EXPECT_EQ(::poll(&ready, 1, 1000), 1);
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    ::sigaction(SIGINT, nullptr, &now);
    EXPECT_NE(now.sa_handler, SIG_DFL) << "SIGINT is still caught once";
}

}  // namespace
}  // namespace zfe::platform
