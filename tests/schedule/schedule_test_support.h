#pragma once

#include "platform/clock.h"
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_entry.h"

#include <ostream>
#include <string>

namespace velmora::testing {

// A moment in the week of Sunday 1 March 2026, so that the day of the
// month equals the weekday (1 Sunday .. 7 Saturday).
inline LocalMoment onWeekday(int weekday, int hour, int minute, int second) {
    return LocalMoment{2026, 3, weekday, weekday, hour, minute, second};
}

inline TimerEntry timer(std::int32_t kind, std::int32_t hour, std::int32_t minute,
                        std::int32_t weekday = 0) {
    TimerEntry e;
    e.kind = kind;
    e.hour = hour;
    e.minute = minute;
    e.weekday = weekday;
    return e;
}

inline TimerEntry enabledTimer(std::int32_t kind, std::int32_t hour, std::int32_t minute,
                               std::int32_t weekday = 0) {
    TimerEntry e = timer(kind, hour, minute, weekday);
    e.enabled = 1;
    return e;
}

}  // namespace velmora::testing

namespace velmora {

// Readable failure output for whole entries.
inline void PrintTo(const TimerEntry& e, std::ostream* os) {
    *os << "{since \"" << std::string(e.sinceDate) << "\" pending " << int(e.pending)
        << " enabled " << int(e.enabled) << " invalid " << int(e.invalid) << " scope " << e.scope
        << " kind " << e.kind << " weekday " << e.weekday << " " << e.hour << ":" << e.minute
        << " base " << e.baseWeekday << " " << e.baseHour << ":" << e.baseMinute << ":"
        << e.baseSecond << "}";
}

inline void PrintTo(const TimeLeft& t, std::ostream* os) {
    *os << t.hours << "h " << t.minutes << "m " << t.seconds << "s";
}

inline void PrintTo(const PortTime& t, std::ostream* os) {
    *os << t.hours << "h " << t.minutes << "m" << (t.due ? " due" : "")
        << (t.powerOn ? " power-on" : " power-off");
}

}  // namespace velmora
