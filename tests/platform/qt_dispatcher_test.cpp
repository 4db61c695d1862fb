#include "platform/qt/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/event_loop.h"

namespace velmora {
namespace {

using test::spinUntil;

TEST(QtUiDispatcher, HandOverFromAnotherThreadRunsOnTheUiThreadInTheEventLoop) {
    QtUiDispatcher dispatcher;
    const auto ui = std::this_thread::get_id();
    std::atomic<bool> returned{false};
    bool ranOnUi = false;
    bool result = false;
    std::thread reader([&] {
        result = dispatcher.runAndWait([&] { ranOnUi = std::this_thread::get_id() == ui; });
        returned = true;
    });
    // Only the Qt event loop runs here: nothing drains the queue by hand.
    EXPECT_TRUE(spinUntil([&] { return returned.load(); }));
    reader.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ranOnUi);
}

TEST(QtUiDispatcher, PostedWorkRunsInOrder) {
    QtUiDispatcher dispatcher;
    std::vector<int> order;
    std::thread poster([&] {
        for (int i = 0; i < 50; ++i) dispatcher.post([&order, i] { order.push_back(i); });
    });
    poster.join();
    ASSERT_TRUE(spinUntil([&] { return order.size() == 50; }));
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(QtUiDispatcher, ShutdownReleasesAWaitingReaderWithoutRunning) {
    QtUiDispatcher dispatcher;
    std::atomic<bool> ran{false};
    std::atomic<bool> queued{false};
    bool result = true;
    std::thread reader([&] {
        queued = true;
        result = dispatcher.runAndWait([&] { ran = true; });
    });
    // The UI thread does not spin its loop: the hand-over stays queued until
    // shutdown drops it, as at exit.
    while (!queued) std::this_thread::yield();
    dispatcher.shutdown();
    reader.join();
    EXPECT_FALSE(result);
    test::spinFor(20);  // a queued drain call, if any, must find nothing
    EXPECT_FALSE(ran.load());
    EXPECT_FALSE(dispatcher.post([&] { ran = true; }));
    EXPECT_FALSE(dispatcher.runAndWait([&] { ran = true; }));
    EXPECT_FALSE(ran.load());
}

TEST(QtUiDispatcher, HandOverOnTheUiThreadRunsAtOnce) {
    QtUiDispatcher dispatcher;
    int ran = 0;
    EXPECT_TRUE(dispatcher.runAndWait([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
}

TEST(QtUiDispatcher, DestroyedWithCallsStillPostedIsSafe) {
    int ran = 0;
    {
        QtUiDispatcher dispatcher;
        std::thread poster([&] { dispatcher.post([&] { ++ran; }); });
        poster.join();
    }
    test::spinFor(20);  // the wake-up posted to the dead receiver is dropped
    EXPECT_EQ(ran, 0);
}

}  // namespace
}  // namespace velmora
