#include "platform/qt/qt_timer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/event_loop.h"

namespace velmora {
namespace {

using test::spinUntil;
using test::spinFor;

constexpr int kLong = 60000;  // never expires during a test

// After the countdown has visibly run a little, one window-timer call; the
// remaining time then tells whether the countdown started afresh. A restart
// puts it back at (nearly) the full interval; otherwise it keeps going down.
struct RestartCase {
    const char* name;
    std::function<void(QtWindowTimer&)> act;
    bool restarts;
    int intervalAfter;
};

class QtTimerRestartTest : public ::testing::TestWithParam<RestartCase> {};

TEST_P(QtTimerRestartTest, RestartsOnlyWhenTheRulesSaySo) {
    const RestartCase& c = GetParam();
    QtWindowTimer timer("tmTest");
    timer.setInterval(kLong);
    timer.setEnabled(true);
    ASSERT_TRUE(timer.counting());
    // Let the countdown run visibly below the full interval.
    ASSERT_TRUE(spinUntil([&] { return timer.remainingMs() <= kLong - 50; }));
    const int before = timer.remainingMs();

    c.act(timer);

    EXPECT_EQ(timer.interval(), c.intervalAfter);
    const int after = timer.remainingMs();
    if (c.restarts) {
        EXPECT_GT(after, before) << "countdown should have started afresh";
    } else {
        EXPECT_LE(after, before) << "countdown should have gone on";
        EXPECT_GE(after, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    App, QtTimerRestartTest,
    ::testing::Values(
        RestartCase{"SameIntervalGoesOn", [](QtWindowTimer& t) { t.setInterval(kLong); }, false, kLong},
        RestartCase{"EnableWhileRunningGoesOn", [](QtWindowTimer& t) { t.setEnabled(true); }, false, kLong},
        RestartCase{"LongerIntervalRestarts", [](QtWindowTimer& t) { t.setInterval(kLong + 10000); }, true, kLong + 10000},
        RestartCase{"OtherIntervalThenBackRestarts",
                    [](QtWindowTimer& t) {
                        t.setInterval(kLong - 1);
                        t.setInterval(kLong);
                    },
                    true, kLong},
        RestartCase{"DisableThenEnableRestarts",
                    [](QtWindowTimer& t) {
                        t.setEnabled(false);
                        t.setEnabled(true);
                    },
                    true, kLong}),
    [](const auto& row) { return std::string(row.param.name); });

struct CountingCase {
    const char* name;
    std::function<void(QtWindowTimer&)> act;
    bool counting;
    bool enabled;
};

class QtTimerStateTest : public ::testing::TestWithParam<CountingCase> {};

TEST_P(QtTimerStateTest, CountsDownOnlyWhenEnabledWithAnInterval) {
    QtWindowTimer timer;
    GetParam().act(timer);
    EXPECT_EQ(timer.counting(), GetParam().counting);
    EXPECT_EQ(timer.enabled(), GetParam().enabled);
    if (!GetParam().counting) {
        EXPECT_EQ(timer.remainingMs(), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    App, QtTimerStateTest,
    ::testing::Values(
        CountingCase{"NewTimerIsIdle", [](QtWindowTimer&) {}, false, false},
        CountingCase{"IntervalAloneDoesNotStart", [](QtWindowTimer& t) { t.setInterval(500); }, false, false},
        CountingCase{"EnabledWithoutIntervalNeverFires", [](QtWindowTimer& t) { t.setEnabled(true); }, false, true},
        CountingCase{"EnabledThenIntervalStarts",
                     [](QtWindowTimer& t) {
                         t.setEnabled(true);
                         t.setInterval(500);
                     },
                     true, true},
        CountingCase{"IntervalZeroStops",
                     [](QtWindowTimer& t) {
                         t.setInterval(500);
                         t.setEnabled(true);
                         t.setInterval(0);
                     },
                     false, true},
        CountingCase{"NegativeIntervalStops",
                     [](QtWindowTimer& t) {
                         t.setInterval(500);
                         t.setEnabled(true);
                         t.setInterval(-5);
                     },
                     false, true},
        CountingCase{"DisabledStops",
                     [](QtWindowTimer& t) {
                         t.setInterval(500);
                         t.setEnabled(true);
                         t.setEnabled(false);
                     },
                     false, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(QtTimerFiring, FiresRepeatedlyWhileEnabled) {
    QtTimerFactory factory;
    auto timer = factory.create("tmFlash1");
    int fired = 0;
    timer->setOnTimer([&] { ++fired; });
    timer->setInterval(10);
    timer->setEnabled(true);
    EXPECT_TRUE(spinUntil([&] { return fired >= 3; }));
}

TEST(QtTimerFiring, HandlerThatDisablesItsTimerFiresOnce) {
    QtWindowTimer timer;
    int fired = 0;
    timer.setOnTimer([&] {
        ++fired;
        timer.setEnabled(false);  // a one-shot, as the start-up scan does
    });
    timer.setInterval(5);
    timer.setEnabled(true);
    ASSERT_TRUE(spinUntil([&] { return fired >= 1; }));
    spinFor(100);  // twenty intervals and more
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer.counting());
}

TEST(QtTimerFiring, HandlerMayReplaceItself) {
    QtWindowTimer timer;
    std::string log;
    timer.setOnTimer([&] {
        log += "a";
        timer.setOnTimer([&] {
            log += "b";
            timer.setEnabled(false);
        });
    });
    timer.setInterval(5);
    timer.setEnabled(true);
    EXPECT_TRUE(spinUntil([&] { return !timer.enabled(); }));
    EXPECT_EQ(log, "ab");
}

}  // namespace
}  // namespace velmora
