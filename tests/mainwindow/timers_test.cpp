// The flash tick (blinking lamps, time labels), the poll tick and the link
// watchdog, run on manual timers and a fixed clock.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/window_rig.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;

// ---- Flash tick: one port's label and lamp over two ticks ----

struct FlashCase {
    const char* name;
    LocalMoment now;
    // Timers of bank 1 port 2; kind < 0: none.
    std::int32_t onKind;
    int onHour, onMinute, onWeekday;
    std::int32_t offKind;
    int offHour, offMinute, offWeekday;
    const char* label;  // text after the ticks
    bool due;           // label blinks
    bool blinks;        // ALARM lamp follows the flash phase
};

LocalMoment at(int weekday, int hour, int minute, int second) {
    return LocalMoment{2026, 12, 8, weekday, hour, minute, second};
}

class FlashTick : public ::testing::TestWithParam<FlashCase> {};

TEST_P(FlashTick, ShowsTimeLeftAndBlinks) {
    const FlashCase& c = GetParam();
    WindowRig rig;
    rig.reportBankCount(1);
    rig.clock.set(c.now);
    if (c.onKind >= 0) rig.setTimer(TableId::LiveOn, 1, 2, c.onKind, c.onHour, c.onMinute, c.onWeekday);
    if (c.offKind >= 0) rig.setTimer(TableId::LiveOff, 1, 2, c.offKind, c.offHour, c.offMinute, c.offWeekday);
    rig.setBank(1, "COCCCCCC", "GGGGGGGG", 0.0f);

    // Phase 1: ALARM lamp lit when blinking, a due label hidden.
    rig.logic.flashTick();
    ASSERT_EQ(rig.logic.FlashPhase(), 1);
    EXPECT_EQ(rig.view.text(timeLabelId(12)), c.label);
    EXPECT_EQ(rig.view.pictureIndex(portLedId(12)), c.blinks ? 3 : 2);
    EXPECT_EQ(rig.view.labelShown(timeLabelId(12)), !c.due);
    EXPECT_EQ(rig.view.spoken(timeLabelId(12)), c.label);
    // Phase 0: ALARM lamp dark, every label visible.
    rig.logic.flashTick();
    ASSERT_EQ(rig.logic.FlashPhase(), 0);
    EXPECT_EQ(rig.view.text(timeLabelId(12)), c.label);
    EXPECT_EQ(rig.view.pictureIndex(portLedId(12)), 2);
    EXPECT_TRUE(rig.view.labelShown(timeLabelId(12)));
    EXPECT_EQ(rig.view.labelBackgrounds.at(timeLabelId(12)), kBlackBackground);
}

constexpr std::int32_t kNone = -1;

INSTANTIATE_TEST_SUITE_P(
    Cases, FlashTick,
    ::testing::Values(
        FlashCase{"no_timer_steady_lamp_empty_label", at(3, 10, 0, 0), kNone, 0, 0, 0, kNone, 0, 0, 0, "",
                  false, false},
        FlashCase{"on_timer_in_2h05_blank_padded", at(3, 10, 0, 0), KindAt, 12, 5, 0, kNone, 0, 0, 0,
                  " 2: 5", false, true},
        FlashCase{"off_timer_alone", at(3, 10, 0, 0), kNone, 0, 0, 0, KindAt, 10, 45, 0, " 0:45", false,
                  true},
        FlashCase{"on_sooner_shows_on", at(3, 10, 0, 0), KindAt, 11, 9, 0, KindAt, 11, 10, 0, " 1: 9",
                  false, true},
        FlashCase{"off_sooner_shows_off", at(3, 10, 0, 0), KindAt, 11, 10, 0, KindAt, 11, 9, 0, " 1: 9",
                  false, true},
        FlashCase{"fewer_hours_wins_over_minutes", at(3, 10, 0, 0), KindAt, 12, 0, 0, KindAt, 11, 59, 0,
                  " 1:59", false, true},
        FlashCase{"every_day_below_zero_wraps_to_23_59", at(3, 10, 5, 30), KindEveryDay, 10, 5, 0, kNone, 0,
                  0, 0, "23:59", false, true},
        FlashCase{"every_week_below_zero_wraps_to_167_59", at(3, 10, 5, 30), KindEveryWeek, 10, 5, 3, kNone,
                  0, 0, 0, "167:59", false, true},
        FlashCase{"at_time_passed_is_due", at(3, 10, 5, 30), KindAt, 10, 5, 0, kNone, 0, 0, 0, " 0: 0", true,
                  true},
        FlashCase{"at_time_this_minute_is_due", at(3, 10, 5, 0), KindAt, 10, 5, 0, kNone, 0, 0, 0, " 0: 0",
                  true, true},
        FlashCase{"weekly_in_two_days", at(2, 10, 0, 0), KindEveryWeek, 10, 0, 4, kNone, 0, 0, 0, "48: 0",
                  false, true}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FlashTickPorts, FlaggedPortKeepsWhatTheReportDrew) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOn, 1, 5, KindAt, 12, 0);
    rig.setBank(1, "CCCCOCCC", "GGGGFGGG", 0.0f);
    rig.report(ukPortStatus, 1);
    ASSERT_EQ(rig.view.pictureIndex(portLedId(15)), 3);
    const std::size_t mark = rig.logMark();
    for (int i = 0; i < 4; ++i) rig.logic.flashTick();
    EXPECT_TRUE(rig.logSince(mark, "picture imLed15").empty());
    EXPECT_TRUE(rig.logSince(mark, "text lblShowTime15").empty());
    EXPECT_EQ(rig.view.pictureIndex(portLedId(15)), 3);
    EXPECT_EQ(rig.view.text(timeLabelId(15)), "");
    // Its neighbours are still handled.
    EXPECT_EQ(rig.logSince(mark, "picture imLed14").size(), 4u);
}

TEST(FlashTickPorts, BankWideTimerGovernsEveryPort) {
    WindowRig rig;
    rig.reportBankCount(1);
    TimerEntry e;
    e.enabled = 1;
    e.scope = ScopeBank;
    e.kind = KindAt;
    e.hour = 13;
    e.minute = 15;
    rig.tables.setEntry(TableId::LiveOn, 0, 0, e);
    rig.logic.flashTick();
    for (int port = 1; port <= 8; ++port)
        EXPECT_EQ(rig.view.text(timeLabelId(10 + port)), " 3:15") << port;
}

TEST(FlashTickPorts, TickEndsAtTheFirstKeyOfAHiddenPanel) {
    const struct {
        const char* name;
        int banks;
        const char* lastKey;    // last LED drawn
        const char* firstSkip;  // first LED not drawn
        std::size_t leds;
    } rows[] = {{"one_bank_ends_at_key_21", 1, "picture imLed18", "picture imLed21", 8},
                {"two_banks_end_at_key_31", 2, "picture imLed28", "picture imLed31", 16},
                {"three_banks_all_keys", 3, "picture imLed38", "", 24}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(r.banks);
        const std::size_t mark = rig.logMark();
        rig.logic.flashTick();
        const auto leds = rig.logSince(mark, "picture imLed");
        ASSERT_EQ(leds.size(), r.leds) << r.name;
        EXPECT_EQ(leds.back(), r.lastKey) << r.name;
        for (const auto& l : leds) EXPECT_NE(l, r.firstSkip) << r.name;
    }
}

TEST(FlashTickPorts, DueLabelDisappearsAndReappearsEveryTick) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOff, 1, 1, KindAfter, 0, 10);  // stamped at 10:00
    rig.clock.set(at(3, 10, 30, 0));                          // 20 minutes overdue
    std::vector<bool> seen;
    for (int i = 0; i < 4; ++i) {
        rig.logic.flashTick();
        seen.push_back(rig.view.labelShown(timeLabelId(11)));
    }
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(rig.view.text(timeLabelId(11)), " 0: 0");
}

TEST(FlashTickPorts, TimerDisabledEmptiesTheLabel) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.setTimer(TableId::LiveOn, 1, 3, KindAt, 11, 0);
    rig.logic.flashTick();
    ASSERT_EQ(rig.view.text(timeLabelId(13)), " 1: 0");
    rig.tables.setEntry(TableId::LiveOn, 0, 2, TimerEntry{});
    rig.logic.flashTick();
    EXPECT_EQ(rig.view.text(timeLabelId(13)), "");
    EXPECT_EQ(rig.view.pictureIndex(portLedId(13)), 0);
}

TEST(FlashTickPorts, RunsOnTheFlashTimerEvery500ms) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.session.greeted();
    rig.timers.advance(499);
    EXPECT_EQ(rig.logic.FlashPhase(), 0);
    rig.timers.advance(1);
    EXPECT_EQ(rig.logic.FlashPhase(), 1);
    rig.timers.advance(500);
    EXPECT_EQ(rig.logic.FlashPhase(), 0);
}

// ---- Polling ----

TEST(Polling, FirstPollAfter10msThenEvery5s) {
    WindowRig rig;
    rig.session.greeted();
    const struct {
        std::int64_t advance;
        std::size_t polls;
    } steps[] = {{9, 0}, {1, 1}, {4999, 1}, {1, 2}, {5000, 3}, {5000, 4}};
    for (const auto& s : steps) {
        rig.timers.advance(s.advance);
        EXPECT_EQ(rig.writes.size(), s.polls) << "at " << rig.timers.nowMs() << " ms";
    }
    for (const auto& w : rig.writes) EXPECT_EQ(w, "/C\\");
    EXPECT_EQ(rig.session.pollTimer().interval(), kPollIntervalMs);
    EXPECT_TRUE(rig.session.pollTimer().enabled());
    EXPECT_TRUE(rig.logic.flashTimer().enabled());
}

TEST(Polling, SixthPollSendsTheInformationRequestWhenStillDue) {
    const struct {
        const char* name;
        bool alreadySent;
        int polls;
        int requests;
    } rows[] = {{"five_polls_not_yet", false, 5, 0},
                {"sixth_poll_sends", false, 6, 1},
                {"sent_once_only", false, 9, 1},
                {"already_sent_never_again", true, 9, 0}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.state.InfoRequestSent = r.alreadySent;
        for (int i = 0; i < r.polls; ++i) rig.session.poll();
        EXPECT_EQ(rig.infoRequests, r.requests) << r.name;
        EXPECT_EQ(rig.state.PollCount.load(), r.polls) << r.name;
    }
}

TEST(Polling, GreetingDuringSteadyPollingRestartsWith10ms) {
    WindowRig rig;
    rig.session.greeted();
    rig.timers.advance(5010);  // two polls, steady 5 s interval
    ASSERT_EQ(rig.writes.size(), 2u);
    rig.timers.advance(2000);
    rig.session.greeted();
    rig.timers.advance(10);
    EXPECT_EQ(rig.writes.size(), 3u);
}

// ---- Watchdog ----

TEST(Watchdog, FiresTwentySecondsAfterAnUnansweredPoll) {
    WindowRig rig;
    rig.session.greeted();
    rig.timers.advance(10);  // first poll arms it
    ASSERT_TRUE(rig.session.watchdogTimer().enabled());
    rig.timers.advance(19999);
    EXPECT_EQ(rig.watchdogExpiries, 0);
    rig.timers.advance(1);
    EXPECT_EQ(rig.watchdogExpiries, 1);
    EXPECT_FALSE(rig.session.watchdogTimer().enabled());
}

TEST(Watchdog, ReportsKeepItFromFiring) {
    const struct {
        const char* name;
        std::int32_t kind;
        int bank;
    } rows[] = {{"status", ukPortStatus, 1},
                {"current", ukCurrent, 1},
                {"four_fields", ukStatusAndCurrent, 1},
                {"bank_count_kind", ukBankCount, 1},
                {"current_of_a_bank_not_shown", ukCurrent, 9}};
    for (const auto& r : rows) {
        WindowRig rig;
        rig.reportBankCount(9);
        rig.session.greeted();
        // The unit answers each poll 100 ms later, for two minutes.
        rig.timers.advance(10);
        for (int i = 0; i < 24; ++i) {
            rig.timers.advance(100);
            rig.report(r.kind, r.bank);
            rig.timers.advance(4900);
        }
        EXPECT_EQ(rig.watchdogExpiries, 0) << r.name;
        EXPECT_EQ(rig.writes.size(), 25u) << r.name;
    }
}

TEST(Watchdog, LaterPollsDoNotRestartIt) {
    WindowRig rig;
    rig.session.greeted();
    rig.timers.advance(10);
    rig.timers.advance(15000);  // three more polls meanwhile
    ASSERT_EQ(rig.writes.size(), 4u);
    rig.timers.advance(5000);
    EXPECT_EQ(rig.watchdogExpiries, 1);
}

TEST(Watchdog, SilenceAfterAnswersFiresFromTheNextPoll) {
    WindowRig rig;
    rig.reportBankCount(1);
    rig.session.greeted();
    rig.timers.advance(10);
    rig.timers.advance(100);
    rig.report(ukStatusAndCurrent, 1);  // answered; the poll at 5010 re-arms it
    rig.timers.advance(24899);          // just before 5010 + 20000
    EXPECT_EQ(rig.watchdogExpiries, 0);
    rig.timers.advance(1);
    EXPECT_EQ(rig.watchdogExpiries, 1);
}

TEST(Watchdog, StoppedLinkTimersDoNothing) {
    WindowRig rig;
    rig.session.greeted();
    rig.timers.advance(10);
    rig.session.linkStopped();
    const std::size_t writes = rig.writes.size();
    rig.timers.advance(60000);
    EXPECT_EQ(rig.writes.size(), writes);
    EXPECT_EQ(rig.watchdogExpiries, 0);
    EXPECT_FALSE(rig.logic.flashTimer().enabled());
}

}  // namespace
}  // namespace velmora::test
