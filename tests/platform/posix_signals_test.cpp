#include "platform/posix_signals.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <csignal>

namespace velmora {
namespace {

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

TEST(StopSignals, SignalBecomesAReadableDescriptorAndTheFirstOneCounts) {
    std::string error;
    auto stop = StopSignals::install(&error);
    ASSERT_NE(stop, nullptr) << error;
    EXPECT_FALSE(stop->requested());
    EXPECT_FALSE(readable(stop->fd()));
    ASSERT_EQ(std::raise(SIGTERM), 0);  // handled: the test goes on
    EXPECT_TRUE(stop->requested());
    EXPECT_EQ(stop->signalNumber(), SIGTERM);
    EXPECT_TRUE(readable(stop->fd()));
    ASSERT_EQ(std::raise(SIGINT), 0);
    EXPECT_EQ(stop->signalNumber(), SIGTERM);
    // A closed pipe must not kill the program while stop signals are handled.
    ASSERT_EQ(std::raise(SIGPIPE), 0);
}

TEST(StopSignals, OneInstanceAtATimeAndTheOldHandlersComeBack) {
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        auto first = StopSignals::install();
        ASSERT_NE(first, nullptr);
        std::string error;
        EXPECT_EQ(StopSignals::install(&error), nullptr);
        EXPECT_FALSE(error.empty());
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    auto again = StopSignals::install();
    ASSERT_NE(again, nullptr);
    EXPECT_FALSE(again->requested());
}

}  // namespace
}  // namespace velmora
