#pragma once

// Processing of one complete line from the unit: classify it, store what it
// says in the device state and the timer tables, and tell the reader which
// view updates to hand to the UI thread. A pure step over the state passed
// in: no I/O, no waiting, no allocation.
//
// How a line is read:
//  - Its text is what precedes its first NUL byte.
//  - A line beginning with 'T', 'D' or 'W' that scans as
//    "%c%02d%01d%01d %3d%2d%2d" with all seven fields is a timer report.
//  - Otherwise it is cut into at most four words ("%s %s %s %s") and the
//    number of words picks the rules. A scanned word longer than its buffer
//    (24, 14, 9, 9 characters) makes the line unclassifiable: it is dropped
//    (only LastLine keeps it).
//  - Bank numbers outside BankInfo (0..19), a missing or unreadable bank
//    number, and timer addresses outside the tables (16 banks, 8 ports) make
//    the line ignored: nothing but LastLine changes.
//  - "M" counts above 16 are stored as 16 (the tables hold 16 banks);
//    negative or missing counts are ignored.
//  - Status texts longer than 8 letters are cut to 8.
//  - A current that does not read as a finite number leaves the stored
//    current unchanged; the update is raised all the same.
//  - RawLineMode is set by the unit's prompt ("Please ...") and cleared by
//    every line that ends the upgrade dialogue: a completion ("Version ...",
//    "<word> OK", "OK") and a failure ("Fail", "abc").
// Every line, whatever its class, is stored as LastLine first (cut to 51
// characters). The kinds of report it raises are returned, not stored: the
// reader hands each to the UI thread as a value.

#include <array>
#include <cstdint>
#include <string_view>

#include "link/command_queue.h"
#include "link/device_state.h"
#include "platform/clock.h"

namespace velmora {

class TimerTables;

struct LineOutcome {
    static constexpr int kMaxUpdates = 2;

    // Reports to raise, in this order: each handed to the UI thread
    // (LinkEvents::reportStored), the reader waiting for it.
    std::array<std::int32_t, kMaxUpdates> updates{};
    int updateCount = 0;

    // After the updates: bank index (0..15) whose timer entries a "Q" or "E"
    // confirmation changed; when the Set Timer dialog is visible with this
    // bank tab selected, raise ukScheduleRefresh as well. -1: none.
    int scheduleBank = -1;

    // "xyz" arrived (GreetingSeen is already set): the reader has the UI
    // thread start the flash timer and the first poll.
    bool greeting = false;

    // How a "Q"/"E" confirmation met the pending-command list (noMatch for
    // every other line).
    CommandQueue::Match queueMatch = CommandQueue::Match::noMatch;

    // The line fitted a rule (even one that only stores, like "OK" or a
    // timer report). False for lines dropped or ignored.
    bool recognised = false;

    void add(std::int32_t kind) {
        if (updateCount < kMaxUpdates) updates[static_cast<std::size_t>(updateCount++)] = kind;
    }
};

// Processes one line (without its framing characters). `now` is the PC's
// local time, used to base timer reports. Never reads outside `line`.
LineOutcome processLine(std::string_view line, DeviceState& state, TimerTables& tables,
                        const LocalMoment& now);

}  // namespace velmora
