#include "platform/queue_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace velmora;

TEST(QueueDispatcher, RunAndWaitFromUiThreadRunsDirectly) {
    QueueDispatcher d;
    int ran = 0;
    EXPECT_TRUE(d.runAndWait([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(d.drain(), 0);
}

TEST(QueueDispatcher, OtherThreadWaitsUntilUiThreadRanTheTask) {
    QueueDispatcher d;
    std::atomic<int> value{0};
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_TRUE(d.runAndWait([&] { value = 42; }));
        // The task ran before runAndWait returned.
        EXPECT_EQ(value.load(), 42);
        returned = true;
    });
    ASSERT_TRUE(d.drainUntil([&] { return returned.load(); }, 10000));
    worker.join();
}

TEST(QueueDispatcher, ShutdownReleasesAWaitingThreadWithoutRunning) {
    QueueDispatcher d;
    std::atomic<bool> ran{false};
    std::atomic<int> result{-1};
    std::atomic<bool> queued{false};
    d.setWakeup([&] { queued = true; });
    std::thread worker([&] { result = d.runAndWait([&] { ran = true; }) ? 1 : 0; });
    while (!queued.load()) std::this_thread::yield();
    d.shutdown();
    worker.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(d.drain(), 0);
}

TEST(QueueDispatcher, RefusesNewWorkAfterShutdown) {
    QueueDispatcher d;
    d.shutdown();
    int ran = 0;
    EXPECT_FALSE(d.post([&] { ++ran; }));
    EXPECT_FALSE(d.runAndWait([&] { ++ran; }));
    std::thread worker([&] { EXPECT_FALSE(d.runAndWait([&] { ++ran; })); });
    worker.join();
    EXPECT_EQ(ran, 0);
}

TEST(QueueDispatcher, PostedTasksRunInOrderIncludingOnesQueuedWhileDraining) {
    QueueDispatcher d;
    std::vector<int> order;
    d.post([&] {
        order.push_back(1);
        d.post([&] { order.push_back(3); });
    });
    d.post([&] { order.push_back(2); });
    EXPECT_EQ(d.drain(), 3);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(QueueDispatcher, ThrowingTaskStillReleasesItsWaiter) {
    QueueDispatcher d;
    std::atomic<int> result{-1};
    std::thread worker([&] { result = d.runAndWait([] { throw std::runtime_error("boom"); }) ? 1 : 0; });
    bool thrown = false;
    while (!thrown) {
        try {
            if (d.drain() == 0) std::this_thread::yield();
        } catch (const std::runtime_error&) {
            thrown = true;
        }
    }
    worker.join();
    EXPECT_EQ(result.load(), 1);
}
