#pragma once

// The real main window (MainWindow, offscreen) driven by its real logic on a
// fixed clock and manual timers, with the reports the reader would store:
// for widget tests, accessibility tests and the flash-tick benchmark.

#include <string_view>

#include "link/device_state.h"
#include "mainwindow/main_window.h"
#include "mainwindow/window_logic.h"
#include "session/unit_session.h"
#include "platform/clock.h"
#include "platform/window_timer.h"
#include "schedule/timer_tables.h"

namespace velmora::test {

// One four-field status line of a bank, as the reader stores it.
struct BankReport {
    int bank;
    const char* portStates;
    const char* timerFlags;
    float current;  // amperes
};

struct LiveWindow {
    DeviceState state;
    TimerTables tables;
    FixedClock clock{LocalMoment{2026, 12, 8, 3, 10, 0, 0}};  // Tuesday 10:00:00
    MainWindow form;
    ManualTimerHost timers;
    UnitSession session{UnitSession::Deps{.state = state, .tables = tables, .clock = clock, .timers = timers}};
    MainWindowLogic logic{
        MainWindowLogic::Deps{.state = state, .tables = tables, .clock = clock, .view = form, .timers = timers}};

    LiveWindow() {
        session.subscribe(SubscriberStage::view, logic);
        MainWindow::Handlers h;
        h.scrollBarMoved = [this](int p) { logic.scrollBarMoved(p); };
        form.setHandlers(h);
        logic.initialiseView();
        form.show();
    }
    // An "M" line: the window lays itself out for `count` banks.
    void reportBankCount(int count) {
        state.BankCount = count;
        session.reportStored(ukBankCount);
    }
    void report(const BankReport& r) {
        state.editBank(r.bank, [&](BankRecord& rec) {
            rec.bankNo = r.bank;
            copyField(rec.portStates, r.portStates);
            copyField(rec.timerFlags, r.timerFlags);
            rec.current = r.current;
        });
        state.ReportedBank = r.bank;
        session.reportStored(ukStatusAndCurrent);
    }
};

}  // namespace velmora::test
