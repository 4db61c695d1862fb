#pragma once

// The main window's logic wired to a recording view, manual timers, a fixed
// clock and recorders for everything it sends to the link and what the
// later stages of the session hear.

#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "support/recording_view.h"
#include "mainwindow/window_logic.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "session/unit_session.h"
#include "schedule/timer_tables.h"

namespace velmora::test {

// Tuesday 2026-12-08 10:00:00.
inline LocalMoment tuesdayTen() { return LocalMoment{2026, 12, 8, 3, 10, 0, 0}; }

struct WindowRig {
    DeviceState state;
    TimerTables tables;
    FixedClock clock{tuesdayTen()};
    RecordingView view;
    ManualTimerHost timers;
    std::vector<std::string> writes;
    // What the later stages heard: the kinds of the reports that were no
    // layout step, and every link step.
    std::vector<std::int32_t> othersHeard;
    std::vector<LinkChange> linkSteps;
    int watchdogExpiries = 0;
    int infoRequests = 0;
    UnitSession session{UnitSession::Deps{
        .state = state,
        .tables = tables,
        .clock = clock,
        .timers = timers,
        .write = [this](std::string_view text) { writes.emplace_back(text); },
        .sendInfoRequest =
            [this] {
                ++infoRequests;
                state.InfoRequestSent = true;
            },
        .watchdogExpired = [this] { ++watchdogExpiries; },
        .scheduleShown = [this](int bankIndex) { return logic.scheduleShowsBank(bankIndex); }}};
    MainWindowLogic logic{
        MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = view, .timers = timers}};
    FunctionSubscriber others{[this](const UnitEvent& e) {
                                  if (!e.layoutChanged) othersHeard.push_back(e.kind);
                              },
                              [this](LinkChange c) { linkSteps.push_back(c); }};

    WindowRig() {
        session.subscribe(SubscriberStage::view, logic);
        session.subscribe(SubscriberStage::maintenance, others);
        logic.initialiseView();
    }

    // What the reader does for an "M" line.
    void reportBankCount(int count) {
        state.BankCount = count;
        session.reportStored(ukBankCount);
    }
    void setBank(int bank, std::string_view states, std::string_view flags, float amperes) {
        state.editBank(bank, [&](BankRecord& r) {
            r.bankNo = bank;
            copyField(r.portStates, states);
            copyField(r.timerFlags, flags);
            r.current = amperes;
        });
    }
    // A report of `kind` for `bank`, handed on as the reader does.
    void report(std::int32_t kind, int bank) {
        state.ReportedBank = bank;
        session.reportStored(kind);
    }

    // Enabled timer entry in LiveOn or LiveOff for bank/port (1-based).
    void setTimer(TableId table, int bank, int port, std::int32_t kind, int hour, int minute,
                  int weekday = 0) {
        TimerEntry e;
        e.enabled = 1;
        e.scope = ScopePort;
        e.kind = kind;
        e.hour = hour;
        e.minute = minute;
        e.weekday = weekday;
        const LocalMoment now = clock.now();
        e.baseWeekday = now.weekday;
        e.baseHour = now.hour;
        e.baseMinute = now.minute;
        e.baseSecond = kind == KindAfter ? now.second : 0;
        tables.setEntry(table, bank - 1, port - 1, e);
    }

    std::size_t logMark() const { return view.log.size(); }
    std::vector<std::string> logSince(std::size_t mark, std::string_view prefix = {}) const {
        std::vector<std::string> out;
        for (std::size_t i = mark; i < view.log.size(); ++i) {
            const std::string& e = view.log[i];
            if (std::string_view(e).substr(0, prefix.size()) == prefix) out.push_back(e);
        }
        return out;
    }
};

}  // namespace velmora::test
