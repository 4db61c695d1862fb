#pragma once

#include "platform/clock.h"
#include "schedule/timer_entry.h"

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// Time computations on timer entries. None reads the clock: "now" is
// always passed in (weekday 1 Sunday .. 7 Saturday, hour, minute, second).
// Results that would not fit 32 bits (only possible for garbage entries)
// are clamped to the int32 range.

enum class TriggerMode {
    sending,  // what a set command tells the unit: never less than 6 seconds
    display,  // what the window shows: hours and minutes, seconds unused (0)
};

struct TimeLeft {
    std::int32_t hours = 0;    // may exceed 23 (up to 167 for weekly timers, more for long delays)
    std::int32_t minutes = 0;  // 0..59 for sane entries
    std::int32_t seconds = 0;  // 0..59; 0 in display mode except KindAfter 0:00 (6)

    friend bool operator==(const TimeLeft&, const TimeLeft&) = default;
};

// Time from `now` until the entry next fires.
//  - KindAfter: the delay itself, hour:minute:00, or 0:00:06 for a 0:00
//    delay, in both modes.
//  - Other kinds: time from now's h:m to the entry's hour:minute, plus the
//    days until the entry's weekday for KindEveryWeek (weekday 0, or a
//    weekday outside 1..7, counts as "no weekday": today or tomorrow).
//    The same minute counts as now: sending gives days*24 h or 0:00:06,
//    display gives days*24 h and 0 minutes. Sending mode also takes now's
//    seconds off and never answers less than 6 seconds.
TimeLeft TimeToTrigger(const TimerEntry& e, TriggerMode mode, const LocalMoment& now);

// Display time left of a KindAfter entry: the delay minus the time since
// its stamp (base weekday, hour, minute). Negative once the delay has run
// out; seconds are always 0.
TimeLeft AfterTimeLeft(const TimerEntry& e, const LocalMoment& now);

struct PortTime {
    std::int32_t hours;    // 0 when due
    std::int32_t minutes;  // 0 when due
    bool due;              // the shown timer has fallen due (or is overdue)
    bool powerOn = false;  // the time shown is the power-on timer's (else power-off's)

    friend bool operator==(const PortTime&, const PortTime&) = default;
};

// What the main window shows for a port, from its three entries: the sooner
// of the enabled power-on and power-off timers that govern the port (a tie
// in hours and minutes shows the power-off time). nullopt when the port's
// own LiveOn entry is marked invalid or neither governing entry is enabled.
std::optional<PortTime> PortTimeLeft(const PortEntries& entries,
                                     const LocalMoment& now);

// Records `now` as the moment the entry is sent: sinceDate, base weekday,
// hour and minute; baseSecond = now's second for KindAfter, 0 otherwise.
void Stamp(TimerEntry& e, const LocalMoment& now);

// "year/month/day" in decimal without leading zeros, e.g. "2026/3/7".
std::string formatSinceDate(const LocalMoment& now);

}  // namespace velmora
