#include "cli/loop_timers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::cli {
namespace {

struct Host {
    std::int64_t now = 0;
    LoopTimerHost timers{[this] { return now; }};
    std::vector<std::string> fired;
    std::unique_ptr<WindowTimer> make(const std::string& name, int interval) {
        auto t = timers.create(name);
        t->setInterval(interval);
        t->setOnTimer([this, name] { fired.push_back(name); });
        return t;
    }
};

TEST(LoopTimers, KeepTheWindowTimersRules) {
    Host h;
    auto t = h.make("t", 1000);
    EXPECT_EQ(h.timers.untilNextMs(), -1);  // not enabled
    t->setEnabled(true);
    h.now = 600;
    t->setEnabled(true);      // enabling a running timer changes nothing
    t->setInterval(1000);     // nor does the same interval
    h.now = 1000;
    EXPECT_EQ(h.timers.runDue(), 1);
    h.now = 1500;
    t->setInterval(800);      // a new interval counts from now
    h.now = 2200;
    EXPECT_EQ(h.timers.runDue(), 0);
    EXPECT_EQ(h.timers.untilNextMs(), 100);
    h.now = 2300;
    EXPECT_EQ(h.timers.runDue(), 1);
    t->setEnabled(false);
    h.now = 10000;
    EXPECT_EQ(h.timers.runDue(), 0);
    EXPECT_EQ(h.fired.size(), 2u);
}

TEST(LoopTimers, DueTimersFireInDueOrderAndMayStopEachOther) {
    Host h;
    auto late = h.make("late", 300);
    auto early = h.make("early", 100);
    late->setEnabled(true);
    early->setEnabled(true);
    early->setOnTimer([&] {
        h.fired.push_back("early");
        late->setEnabled(false);
    });
    h.now = 400;
    h.timers.runDue();
    EXPECT_EQ(h.fired, std::vector<std::string>{"early"});
}

TEST(LoopTimers, ATimerGoneIsForgotten) {
    Host h;
    {
        auto t = h.make("t", 10);
        t->setEnabled(true);
    }
    h.now = 100;
    EXPECT_EQ(h.timers.runDue(), 0);
    EXPECT_EQ(h.timers.untilNextMs(), -1);
}

}  // namespace
}  // namespace velmora::cli
