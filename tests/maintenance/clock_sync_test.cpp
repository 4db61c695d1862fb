// Clock synchronisation with a fixed clock, manual timers and scripted
// dialogs; the unit's "V" and "err" lines go through the program's line
// processor.

#include "maintenance/clock_sync.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "link/device_state.h"
#include "link/line_processor.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora {
namespace {

using Strings = std::vector<std::string>;

struct ClockRig {
    Strings log;  // writes and messages in order
    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 7, 2, 9, 5, 3}};
    ScriptedDialogs script;
    ManualTimerHost timers;
    bool setRtc = true;
    Strings writes;

    struct RigDialogs final : Dialogs {
        ClockRig& rig;
        explicit RigDialogs(ClockRig& r) : rig(r) {}
        MessageAnswer message(const std::string& text, const std::string& caption, MessageIcon icon,
                              MessageButtons buttons) override {
            rig.log.push_back("message: " + text);
            return rig.script.message(text, caption, icon, buttons);
        }
        std::string openFile(const FileChoice& c) override { return rig.script.openFile(c); }
        std::string saveFile(const FileChoice& c) override { return rig.script.saveFile(c); }
    } dialogs{*this};

    ClockSync sync{ClockSync::Deps{state, tables, clock, dialogs, timers,
                                   [this](std::string_view text) {
                                       writes.emplace_back(text);
                                       log.push_back("write " + std::string(text));
                                   },
                                   [this] { return setRtc; }, [this] { return portHeld; }}};
    bool portHeld = false;

    ClockRig() { connect(2); }

    // What OpenLink leaves behind for a unit of `banks` banks.
    void connect(int banks) {
        state.BankCount = banks;
        state.ClockWarningArmed = true;
        state.TimerWarningArmed = true;
    }
    void disconnect() {
        resetLinkState(state, tables);
        sync.linkReset();
    }
    // A line from the unit, acted on as reportStored does for the clock's kinds.
    void deliver(std::string_view line) {
        const LineOutcome out = processLine(line, state, tables, clock.now());
        for (int i = 0; i < out.updateCount; ++i) {
            const std::int32_t kind = out.updates[static_cast<std::size_t>(i)];
            if (kind == ukVersion) sync.versionReported();
            if (kind == ukClockError) sync.clockErrorReported();
        }
    }
    int clockSets() const {
        int n = 0;
        for (const auto& w : writes) n += w.rfind("/SETTIME", 0) == 0;
        return n;
    }
    void setLiveTimer(TableId table, int bank, int port) {
        TimerEntry e;
        e.enabled = 1;
        e.kind = KindEveryDay;
        e.hour = 7;
        tables.setEntry(table, bank, port, e);
    }
};

// ---------------------------------------------------------------------------
// The command

struct MomentCase {
    const char* name;
    LocalMoment moment;
    std::string command;  // "" : nothing may be sent
};

void PrintTo(const MomentCase& c, std::ostream* os) { *os << c.name; }

class ClockCommand : public ::testing::TestWithParam<MomentCase> {};

TEST_P(ClockCommand, OneReadingOneCommandOrAMessageWhyNot) {
    ClockRig rig;
    rig.clock.set(GetParam().moment);
    rig.sync.setClockNow();
    if (GetParam().command.empty()) {
        EXPECT_TRUE(rig.writes.empty());
        ASSERT_EQ(rig.script.shown.size(), 1u);
        const std::string& text = rig.script.shown[0].text;
        char year[8];
        std::snprintf(year, sizeof year, "%04d", GetParam().moment.year);
        EXPECT_NE(text.find(year), std::string::npos) << text;
        EXPECT_NE(text.find("2000 to 2099"), std::string::npos) << text;
        EXPECT_TRUE(rig.state.TimerWarningArmed) << "no clock was set";
    } else {
        ASSERT_EQ(rig.writes, Strings{GetParam().command});
        EXPECT_EQ(GetParam().command.size(), 28u);
        EXPECT_TRUE(rig.script.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clock, ClockCommand,
    ::testing::Values(
        MomentCase{"WinterMorning", {2026, 12, 7, 2, 9, 5, 3}, "/SETTIME2026-12-07 09:05:03\\"},
        MomentCase{"FirstSecondOfTheCentury", {2000, 1, 1, 7, 0, 0, 0}, "/SETTIME2000-01-01 00:00:00\\"},
        MomentCase{"LastSecondOfTheCentury", {2099, 12, 31, 5, 23, 59, 59}, "/SETTIME2099-12-31 23:59:59\\"},
        MomentCase{"LeapDayAfternoon", {2028, 2, 29, 3, 14, 30, 0}, "/SETTIME2028-02-29 14:30:00\\"},
        MomentCase{"PcClockBefore2000", {1999, 12, 31, 6, 23, 59, 59}, ""},
        MomentCase{"PcClockAfter2099", {2100, 1, 1, 6, 0, 0, 0}, ""},
        MomentCase{"PcClockReset1980", {1980, 1, 1, 3, 0, 0, 0}, ""}),
    [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// When the clock is set

TEST(ClockSchedule, BurstOfVersionReportsGivesOneSetASecondAfterTheFirstThenHourly) {
    ClockRig rig;
    rig.deliver("V01 1203");
    rig.timers.advance(300);
    rig.deliver("V02 1203");
    rig.timers.advance(699);
    EXPECT_EQ(rig.clockSets(), 0);
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 1) << "1000 ms after the first report";
    rig.timers.advance(3599999);
    EXPECT_EQ(rig.clockSets(), 1);
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 2) << "one hour later";
    rig.timers.advance(2 * 3600000);
    EXPECT_EQ(rig.clockSets(), 4);
}

TEST(ClockSchedule, VersionReportDuringTheHourlyCycleRestartsItWithASetOneSecondLater) {
    ClockRig rig;
    rig.deliver("V01 1203");
    rig.timers.advance(1000);
    ASSERT_EQ(rig.clockSets(), 1);
    rig.timers.advance(1800000);
    rig.deliver("V01 1204");
    rig.timers.advance(1000);
    EXPECT_EQ(rig.clockSets(), 2);
    rig.timers.advance(3599999);
    EXPECT_EQ(rig.clockSets(), 2);
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 3);
}

TEST(ClockSchedule, WithSetRtcOffNothingUntilTheMenuAsks) {
    ClockRig rig;
    rig.setRtc = false;
    rig.deliver("V01 1203");
    rig.deliver("V02 1203");
    rig.timers.advance(2 * 3600000);
    EXPECT_EQ(rig.clockSets(), 0);
    rig.sync.setClockNow();
    EXPECT_EQ(rig.clockSets(), 1) << "Set System Time: at once";
    rig.sync.startPeriodicClockSetting();
    rig.timers.advance(999);
    EXPECT_EQ(rig.clockSets(), 1);
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 2) << "Sync System Time per hour: after one second";
    rig.timers.advance(3600000);
    EXPECT_EQ(rig.clockSets(), 3) << "then hourly";
}

struct StopCase {
    const char* name;
    void (*stop)(ClockRig&);
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class ClockScheduleStops : public ::testing::TestWithParam<StopCase> {};

TEST_P(ClockScheduleStops, NoSetAfterwardsFromEitherState) {
    for (bool hourly : {false, true}) {
        SCOPED_TRACE(hourly ? "hourly" : "counting down one second");
        ClockRig rig;
        rig.deliver("V01 1203");
        if (hourly) rig.timers.advance(1000);
        const int before = rig.clockSets();
        GetParam().stop(rig);
        rig.timers.advance(3 * 3600000);
        EXPECT_EQ(rig.clockSets(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Clock, ClockScheduleStops,
    ::testing::Values(StopCase{"LinkReset", [](ClockRig& r) { r.disconnect(); }},
                      StopCase{"SettingsTurnSyncOff", [](ClockRig& r) { r.sync.stopClockSyncTimer(); }}),
    [](const auto& row) { return std::string(row.param.name); });

// ---------------------------------------------------------------------------
// The timer warning

struct WarningCase {
    const char* name;
    int bankCount;
    TableId table;
    int timerBank;  // bank index of the one enabled timer; -1 none
    bool warned;
};

void PrintTo(const WarningCase& c, std::ostream* os) { *os << c.name; }

class TimerWarning : public ::testing::TestWithParam<WarningCase> {};

TEST_P(TimerWarning, FirstSetOfAConnectionWithLivePowerOnTimersOfReportedBanksOnly) {
    const WarningCase& c = GetParam();
    ClockRig rig;
    rig.connect(c.bankCount);
    if (c.timerBank >= 0) rig.setLiveTimer(c.table, c.timerBank, 3);
    rig.sync.SendClockSet();
    if (c.warned) {
        ASSERT_EQ(rig.log, (Strings{"write /SETTIME2026-12-07 09:05:03\\",
                                    "message: Existing Timer Settings might be affected. \rPlease check."}))
            << "shown after the command went out";
        EXPECT_EQ(rig.script.shown[0].caption, "Warning");
        EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::information);
    } else {
        EXPECT_EQ(rig.log, (Strings{"write /SETTIME2026-12-07 09:05:03\\"}));
    }
    EXPECT_FALSE(rig.state.TimerWarningArmed);
    // Never again on this connection.
    rig.sync.SendClockSet();
    EXPECT_EQ(rig.script.shown.size(), c.warned ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Clock, TimerWarning,
    ::testing::Values(WarningCase{"PowerOnTimerOfFirstBank", 2, TableId::LiveOn, 0, true},
                      WarningCase{"PowerOnTimerOfLastReportedBank", 2, TableId::LiveOn, 1, true},
                      WarningCase{"PowerOnTimerOfUnreportedBank", 2, TableId::LiveOn, 2, false},
                      WarningCase{"OnlyPowerOffTimers", 2, TableId::LiveOff, 0, false},
                      WarningCase{"OnlyEditedNotSent", 2, TableId::EditOn, 0, false},
                      WarningCase{"NoTimers", 2, TableId::LiveOn, -1, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TimerWarningPerConnection, ArmedAgainByTheNextConnectionAndKeptOverARefusedReading) {
    ClockRig rig;
    rig.setLiveTimer(TableId::LiveOn, 0, 0);
    rig.clock.set({1999, 12, 31, 6, 23, 0, 0});
    rig.sync.SendClockSet();  // refused: says why, sets nothing
    rig.clock.set({2026, 12, 7, 2, 9, 5, 3});
    rig.sync.SendClockSet();
    rig.sync.SendClockSet();
    rig.disconnect();
    rig.connect(2);
    rig.setLiveTimer(TableId::LiveOn, 0, 0);  // the reset cleared the tables
    rig.sync.SendClockSet();
    int warnings = 0;
    for (const auto& m : rig.script.shown) warnings += m.text == kTimerWarningText;
    EXPECT_EQ(warnings, 2);
    EXPECT_EQ(rig.clockSets(), 3);
}

// ---------------------------------------------------------------------------
// The clock-failure report

TEST(ClockFailure, TwoReportsOneMessageAfterAHundredMillisecondsThenAgainAfterANewConnection) {
    ClockRig rig;
    rig.deliver("err");
    rig.timers.advance(50);
    rig.deliver("err");
    rig.timers.advance(49);
    EXPECT_TRUE(rig.script.shown.empty()) << "not inside the update routine";
    rig.timers.advance(1);
    ASSERT_EQ(rig.script.shown.size(), 1u);
    EXPECT_EQ(rig.script.shown[0].text, "Battery no power or RTC failure");
    EXPECT_EQ(rig.script.shown[0].caption, "Warning");
    EXPECT_EQ(rig.script.shown[0].icon, MessageIcon::information);
    EXPECT_FALSE(rig.sync.clockAnswerTimer().enabled());
    rig.deliver("err");
    rig.timers.advance(1000);
    EXPECT_EQ(rig.script.shown.size(), 1u) << "once per connection";

    rig.disconnect();
    rig.connect(2);
    rig.deliver("err");
    rig.timers.advance(100);
    EXPECT_EQ(rig.script.shown.size(), 2u) << "the next connection warns again";
}

TEST(ClockFailure, ReportJustBeforeADisconnectShowsNothing) {
    ClockRig rig;
    rig.deliver("err");
    rig.disconnect();
    rig.timers.advance(1000);
    EXPECT_TRUE(rig.script.shown.empty());
}

// ---------------------------------------------------------------------------
// An upgrade holds the port: the clock waits for it

// The hourly tick and "Set System Time" during a transfer would put the
// command into the image. They are noted instead, and the clock is set once,
// a second after the completion, however many fell due.
TEST(ClockDuringUpgrade, DueSettingsWaitAndGoOnceAfterTheCompletion) {
    ClockRig rig;
    rig.setLiveTimer(TableId::LiveOn, 0, 0);
    rig.sync.startPeriodicClockSetting();
    rig.timers.advance(kClockSetDelayMs);
    ASSERT_EQ(rig.clockSets(), 1);
    rig.log.clear();

    rig.portHeld = true;
    rig.timers.advance(kClockSetPeriodMs);  // the hourly tick
    rig.sync.setClockNow();
    rig.timers.advance(kClockSetPeriodMs);
    EXPECT_EQ(rig.clockSets(), 1) << "nothing was written while the port was held";
    EXPECT_TRUE(rig.log.empty()) << rig.log.front();
    EXPECT_TRUE(rig.sync.settingDue());

    rig.portHeld = false;
    rig.sync.upgradeCompleted();
    // The new firmware's version reports start no second countdown.
    rig.deliver("V01 1204");
    rig.deliver("V02 1204");
    rig.timers.advance(kClockSetDelayMs - 1);
    EXPECT_EQ(rig.clockSets(), 1);
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 2);
    rig.timers.advance(kClockSetPeriodMs - 1);
    EXPECT_EQ(rig.clockSets(), 2) << "then hourly again";
    rig.timers.advance(1);
    EXPECT_EQ(rig.clockSets(), 3);
}

TEST(ClockDuringUpgrade, NothingDueSurvivesTheLinkReset) {
    ClockRig rig;
    rig.portHeld = true;
    rig.sync.setClockNow();
    ASSERT_TRUE(rig.sync.settingDue());
    rig.disconnect();
    rig.portHeld = false;
    rig.sync.upgradeCompleted();
    rig.timers.advance(kClockSetPeriodMs);
    EXPECT_EQ(rig.clockSets(), 0);
}

}  // namespace
}  // namespace velmora
