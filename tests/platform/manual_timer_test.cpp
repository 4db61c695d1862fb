#include "platform/clock.h"
#include "platform/window_timer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velmora;

TEST(ManualTimer, FiresEveryIntervalWhileEnabled) {
    ManualTimerHost host;
    auto t = host.create("tmQuery");
    int fired = 0;
    t->setOnTimer([&] { ++fired; });
    t->setInterval(5000);
    t->setEnabled(true);
    host.advance(4999);
    EXPECT_EQ(fired, 0);
    host.advance(1);
    EXPECT_EQ(fired, 1);
    host.advance(15000);
    EXPECT_EQ(fired, 4);
    t->setEnabled(false);
    host.advance(60000);
    EXPECT_EQ(fired, 4);
}

TEST(ManualTimer, SameIntervalOrReEnableDoesNotRestart) {
    ManualTimerHost host;
    auto t = host.create("tmSetRTC");
    int fired = 0;
    t->setOnTimer([&] { ++fired; });
    t->setInterval(1000);
    t->setEnabled(true);
    host.advance(600);
    t->setInterval(1000);  // same value: countdown goes on
    t->setEnabled(true);   // already running: nothing
    host.advance(400);
    EXPECT_EQ(fired, 1);
}

TEST(ManualTimer, DifferentIntervalRestartsCountdown) {
    ManualTimerHost host;
    auto t = host.create("tmQuery");
    std::vector<std::int64_t> at;
    t->setOnTimer([&] { at.push_back(host.nowMs()); });
    t->setInterval(10);
    t->setEnabled(true);
    host.advance(5);
    t->setInterval(5000);  // restarts from now (5)
    host.advance(5000);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 5005);
}

TEST(ManualTimer, HandlerMayRetuneItsOwnTimer) {
    ManualTimerHost host;
    auto t = host.create("tmQuery");
    std::vector<std::int64_t> at;
    t->setOnTimer([&] {
        at.push_back(host.nowMs());
        t->setInterval(5000);
    });
    t->setInterval(10);
    t->setEnabled(true);
    host.advance(10010);
    EXPECT_EQ(at, (std::vector<std::int64_t>{10, 5010, 10010}));
}

TEST(ManualTimer, TimersFireInDueOrderAndFindByName) {
    ManualTimerHost host;
    auto a = host.create("a");
    auto b = host.create("b");
    std::vector<char> order;
    a->setOnTimer([&] { order.push_back('a'); });
    b->setOnTimer([&] { order.push_back('b'); });
    a->setInterval(300);
    b->setInterval(200);
    a->setEnabled(true);
    b->setEnabled(true);
    host.advance(600);
    // At 600 both fall due: the earlier-created timer goes first.
    EXPECT_EQ(order, (std::vector<char>{'b', 'a', 'b', 'a', 'b'}));
    EXPECT_EQ(host.find("b"), b.get());
    EXPECT_EQ(host.find("zz"), nullptr);
}

TEST(ManualTimer, DestroyedTimerNeverFires) {
    ManualTimerHost host;
    int fired = 0;
    {
        auto t = host.create("gone");
        t->setOnTimer([&] { ++fired; });
        t->setInterval(10);
        t->setEnabled(true);
    }
    host.advance(100);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(host.find("gone"), nullptr);
}

struct AdvanceCase {
    const char* name;
    LocalMoment from;
    long long seconds;
    LocalMoment to;
};

class FixedClockAdvance : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(FixedClockAdvance, CarriesIntoDateAndWeekday) {
    FixedClock c(GetParam().from);
    c.advanceSeconds(GetParam().seconds);
    EXPECT_EQ(c.now(), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FixedClockAdvance,
    ::testing::Values(
        AdvanceCase{"WithinMinute", {2026, 3, 7, 7, 10, 4, 30}, 25, {2026, 3, 7, 7, 10, 4, 55}},
        AdvanceCase{"SaturdayMidnightToSunday", {2026, 3, 7, 7, 23, 59, 59}, 1, {2026, 3, 8, 1, 0, 0, 0}},
        AdvanceCase{"LeapDay", {2028, 2, 28, 2, 23, 0, 0}, 3600, {2028, 2, 29, 3, 0, 0, 0}},
        AdvanceCase{"NewYear", {2026, 12, 31, 5, 23, 59, 0}, 61, {2027, 1, 1, 6, 0, 0, 1}},
        AdvanceCase{"OneWeek", {2026, 12, 8, 3, 12, 0, 0}, 7LL * 86400, {2026, 12, 15, 3, 12, 0, 0}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Weekday, KnownDates) {
    EXPECT_EQ(weekdayOf(2026, 12, 8), 3);  // a Tuesday
    EXPECT_EQ(weekdayOf(2026, 3, 7), 7);   // a Saturday
    EXPECT_EQ(weekdayOf(2000, 1, 1), 7);
    EXPECT_EQ(weekdayOf(2024, 2, 29), 5);
}
