// The unit's session on its own: who hears a report and in what order, what
// the session does before anyone hears it (the queue's advance, the
// watchdog), and the steps of the link as the subscribers see them. The
// cadence of polls and the watchdog is tested through the window's rig
// (tests/mainwindow/timers_test.cpp), as the window sees it.

#include "session/unit_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/report_rules.h"
#include "platform/clock.h"
#include "platform/window_timer.h"

namespace velmora {
namespace {

struct SessionRig {
    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 10, 0, 0}};
    ManualTimerHost timers;
    std::vector<std::string> writes;
    std::vector<std::string> heard;  // "<who> <kind>[ layout]" and "<who> <step>"
    UnitSession session{UnitSession::Deps{.state = state,
                                          .tables = tables,
                                          .clock = clock,
                                          .timers = timers,
                                          .write = [this](std::string_view t) { writes.emplace_back(t); }}};

    // A subscriber that notes what it hears under `who`.
    FunctionSubscriber listener(std::string who) {
        return FunctionSubscriber(
            [this, who](const UnitEvent& e) {
                heard.push_back(who + " " + std::to_string(e.kind) + (e.layoutChanged ? " layout" : ""));
            },
            [this, who](LinkChange c) { heard.push_back(who + " step " + std::to_string(static_cast<int>(c))); });
    }
    void laidOutFor(int banks) {
        state.BankCount = banks;
        state.ShownBankCount = banks;
    }
};

using Strings = std::vector<std::string>;

TEST(UnitSession, StagesHearInOrderAndWithinAStageInTheOrderTheyCame) {
    SessionRig rig;
    rig.laidOutFor(2);
    FunctionSubscriber history = rig.listener("history"), service = rig.listener("service"),
                       view1 = rig.listener("view1"), view2 = rig.listener("view2"),
                       upkeep = rig.listener("maintenance");
    // Subscribed out of order on purpose.
    rig.session.subscribe(SubscriberStage::history, history);
    rig.session.subscribe(SubscriberStage::service, service);
    rig.session.subscribe(SubscriberStage::view, view1);
    rig.session.subscribe(SubscriberStage::maintenance, upkeep);
    rig.session.subscribe(SubscriberStage::view, view2);

    rig.session.reportStored(ukPortStatus);
    rig.session.linkReset();
    EXPECT_EQ(rig.heard, (Strings{"view1 2", "view2 2", "maintenance 2", "service 2", "history 2", "view1 step 4",
                                  "view2 step 4", "maintenance step 4", "service step 4", "history step 4"}));
}

// The report says whether it is the layout step: the bank count differs
// from the one laid out for. It carries the bank the unit named.
TEST(UnitSession, EveryoneHearsTheSameValues) {
    const struct {
        const char* name;
        int laidOut;
        int count;
        std::int32_t kind;
        int bank;
        bool layout;
    } rows[] = {
        {"status_of_a_laid_out_unit", 3, 3, ukStatusAndCurrent, 2, false},
        {"count_changed", 3, 5, ukBankCount, 1, true},
        {"status_before_the_layout_caught_up", 3, 4, ukPortStatus, 4, true},
        {"version", 2, 2, ukVersion, 7, false},
    };
    for (const auto& r : rows) {
        SessionRig rig;
        rig.state.ShownBankCount = r.laidOut;
        rig.state.BankCount = r.count;
        rig.state.ReportedBank = r.bank;
        std::vector<UnitEvent> seen;
        FunctionSubscriber first([&](const UnitEvent& e) { seen.push_back(e); });
        FunctionSubscriber last([&](const UnitEvent& e) { seen.push_back(e); });
        rig.session.subscribe(SubscriberStage::view, first);
        rig.session.subscribe(SubscriberStage::history, last);
        rig.session.reportStored(r.kind);
        ASSERT_EQ(seen.size(), 2u) << r.name;
        for (const UnitEvent& e : seen) {
            EXPECT_EQ(e.kind, r.kind) << r.name;
            EXPECT_EQ(e.bank, r.bank) << r.name;
            EXPECT_EQ(e.layoutChanged, r.layout) << r.name;
        }
    }
}

// A confirmation sends the next command before anyone hears it, once; not
// while the layout is behind (the confirmation then waits for nothing).
TEST(UnitSession, AConfirmationSendsTheNextCommandOnce) {
    const struct {
        const char* name;
        std::int32_t kind;
        bool layoutBehind;
        Strings writes;
    } rows[] = {
        {"clear_confirmed", ukNextAfterClear, false, {"/second\\"}},
        {"set_confirmed", ukNextAfterSet, false, {"/second\\"}},
        {"layout_behind", ukNextAfterSet, true, {}},
        {"a_status_report_sends_nothing", ukPortStatus, false, {}},
    };
    for (const auto& r : rows) {
        SessionRig rig;
        rig.laidOutFor(1);
        if (r.layoutBehind) rig.state.BankCount = 2;
        rig.state.Queue.append("/first\\");
        rig.state.Queue.append("/second\\");
        Strings writesWhenHeard;
        FunctionSubscriber view([&](const UnitEvent&) { writesWhenHeard = rig.writes; });
        rig.session.subscribe(SubscriberStage::view, view);
        rig.session.reportStored(r.kind);
        EXPECT_EQ(rig.writes, r.writes) << r.name;
        EXPECT_EQ(writesWhenHeard, r.writes) << r.name << ": the view heard before the command went";
    }
}

// A report stops the watchdog before anyone hears it, so a poll made on
// hearing it (the owner's service confirming a switching) arms it again.
TEST(UnitSession, APollMadeOnHearingAReportArmsTheWatchdogAgain) {
    SessionRig rig;
    rig.laidOutFor(1);
    rig.session.poll();
    ASSERT_TRUE(rig.session.watchdogTimer().enabled());
    FunctionSubscriber service([&](const UnitEvent&) { rig.session.poll(); });
    rig.session.subscribe(SubscriberStage::service, service);
    rig.session.reportStored(ukStatusAndCurrent);
    EXPECT_TRUE(rig.session.watchdogTimer().enabled());
    EXPECT_EQ(rig.writes, (Strings{"/C\\", "/C\\"}));
    EXPECT_EQ(rig.state.PollCount.load(), 2);
}

TEST(UnitSession, ASubscriberLeavingDuringADeliveryIsNotCalledAgain) {
    SessionRig rig;
    rig.laidOutFor(1);
    int laterCalls = 0;
    FunctionSubscriber later([&](const UnitEvent&) { ++laterCalls; });
    FunctionSubscriber first([&](const UnitEvent&) { rig.session.unsubscribe(later); });
    rig.session.subscribe(SubscriberStage::view, first);
    rig.session.subscribe(SubscriberStage::service, later);
    rig.session.reportStored(ukPortStatus);
    rig.session.reportStored(ukPortStatus);
    EXPECT_EQ(laterCalls, 0);
}

// An upgrade's hold: no polls and no watchdog, and the window stops its
// flashing; given back, the watchdog runs and polls come every 5 s.
TEST(UnitSession, PausedPollingPollsNothingAndResumesOnTheSteadyCadence) {
    SessionRig rig;
    std::vector<LinkChange> steps;
    FunctionSubscriber view(nullptr, [&](LinkChange c) { steps.push_back(c); });
    rig.session.subscribe(SubscriberStage::view, view);
    rig.session.greeted();
    rig.timers.advance(kFirstPollDelayMs);
    ASSERT_EQ(rig.writes.size(), 1u);
    rig.session.pausePolling();
    rig.timers.advance(60000);
    EXPECT_EQ(rig.writes.size(), 1u);
    rig.session.resumePolling();
    EXPECT_TRUE(rig.session.watchdogTimer().enabled());
    rig.timers.advance(kPollIntervalMs);
    EXPECT_EQ(rig.writes.size(), 2u);
    EXPECT_EQ(steps, (std::vector<LinkChange>{LinkChange::greeted, LinkChange::pollingPaused,
                                              LinkChange::pollingResumed}));
}

// The transfer: every pending entry becomes a command in the queue and the
// head goes out once; the next waits for the unit's confirmation.
TEST(UnitSession, AScheduleGoesOutOneCommandAtATime) {
    SessionRig rig;
    rig.laidOutFor(1);
    TimerEntry on{};
    on.enabled = 1;
    on.pending = 1;
    on.scope = ScopePort;
    on.kind = KindAt;
    on.hour = 12;
    for (int port = 0; port < 2; ++port) ASSERT_TRUE(rig.tables.setEntry(TableId::EditOn, 0, port, on));
    const std::size_t added = rig.session.sendSchedule();
    ASSERT_GE(added, 2u);
    ASSERT_EQ(rig.writes.size(), 1u) << "only the head goes out";
    rig.session.reportStored(ukNextAfterSet);
    EXPECT_EQ(rig.writes.size(), 2u);
    EXPECT_NE(rig.writes[0], rig.writes[1]);
}

// A poll's answer is complete once every shown bank has told its status and
// its current after the poll; the count goes up before anyone hears the
// report that completed it. Reports are "<bank><s|c|b>" (status, current,
// both), "poll" and "reset".
TEST(UnitSession, APollsAnswerIsCompleteOnceEveryBankToldStatusAndCurrent) {
    const struct {
        const char* name;
        int banks;
        Strings steps;
        std::uint64_t answers;
    } rows[] = {
        {"one_bank_both_in_one", 1, {"poll", "1b"}, 1},
        {"two_banks_in_parts", 2, {"poll", "1s", "1c", "2s", "2c"}, 1},
        {"a_bank_missing_its_current", 2, {"poll", "1b", "2s"}, 0},
        {"before_the_poll_does_not_count", 2, {"1b", "2s", "poll", "2c"}, 0},
        {"each_poll_its_own_answer", 2, {"poll", "1b", "2b", "poll", "1b", "2b"}, 2},
        {"a_full_set_unasked_is_another_answer", 1, {"poll", "1b", "1b", "1c"}, 2},
        {"half_a_set_unasked_is_none", 2, {"poll", "1b", "2b", "1b"}, 1},
        {"a_reset_drops_what_came", 2, {"poll", "1b", "reset", "2b"}, 0},
        {"no_banks_never_answer", 0, {"poll", "0b", "1b"}, 0},
        {"out_of_range_bank_ignored", 1, {"poll", "25b", "1s"}, 0},
    };
    for (const auto& r : rows) {
        SessionRig rig;
        rig.laidOutFor(r.banks);
        std::vector<std::uint64_t> countWhenHeard;
        FunctionSubscriber service([&](const UnitEvent&) { countWhenHeard.push_back(rig.session.answers()); });
        rig.session.subscribe(SubscriberStage::service, service);
        std::uint64_t expectedLast = 0;
        for (const std::string& step : r.steps) {
            if (step == "poll") {
                rig.session.poll();
            } else if (step == "reset") {
                rig.session.linkReset();
            } else {
                rig.state.ReportedBank = std::stoi(step);
                const char k = step.back();
                rig.session.reportStored(k == 's' ? ukPortStatus : k == 'c' ? ukCurrent : ukStatusAndCurrent);
                expectedLast = rig.session.answers();
                ASSERT_FALSE(countWhenHeard.empty()) << r.name;
                EXPECT_EQ(countWhenHeard.back(), expectedLast) << r.name << ": heard before it was counted";
            }
        }
        EXPECT_EQ(rig.session.answers(), r.answers) << r.name;
    }
}

// A bank's current is known once reported on this link, and unknown again
// after a reset (a view shows it as unknown, not as 0.0 A).
TEST(UnitSession, ACurrentIsKnownFromItsReportUntilTheLinkResets) {
    SessionRig rig;
    rig.laidOutFor(2);
    rig.state.ReportedBank = 2;
    rig.session.reportStored(ukPortStatus);
    EXPECT_FALSE(rig.session.currentKnown()[2]);
    rig.session.reportStored(ukCurrent);
    EXPECT_TRUE(rig.session.currentKnown()[2]);
    EXPECT_FALSE(rig.session.currentKnown()[1]);
    rig.session.poll();
    EXPECT_TRUE(rig.session.currentKnown()[2]) << "a poll does not forget it";
    rig.session.linkReset();
    EXPECT_FALSE(rig.session.currentKnown()[2]);
}

}  // namespace
}  // namespace velmora
