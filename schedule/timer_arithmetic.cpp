#include "schedule/timer_arithmetic.h"

#include "schedule/int_math.h"

namespace velmora {

using intmath::clamp32;

namespace {

// Shortest wait a set command ever tells the unit, also used for a delay
// of 0:00 and for a time of day that is this very minute.
constexpr long long kMinSendSeconds = 6;

struct Span {
    long long hours = 0;
    long long minutes = 0;
    long long seconds = 0;
};

TimeLeft toTimeLeft(const Span& s) { return {clamp32(s.hours), clamp32(s.minutes), clamp32(s.seconds)}; }

bool isWeekday(long long d) { return d >= 1 && d <= 7; }

Span timeToTrigger(const TimerEntry& e, TriggerMode mode, const LocalMoment& now) {
    const long long H = e.hour;
    const long long M = e.minute;
    if (e.kind == KindAfter) {
        if (H == 0 && M == 0) return {0, 0, kMinSendSeconds};
        return {H, M, 0};
    }

    const long long W = now.weekday;
    const long long h = now.hour;
    const long long m = now.minute;
    const long long s = now.second;

    // Whole days to wait before the target time of day counts.
    long long days = 0;
    if (e.kind == KindEveryWeek && isWeekday(e.weekday)) {
        const long long target = e.weekday;
        const bool aheadToday = H > h || (H == h && M >= m);
        if (target > W)
            days = target - W - (aheadToday ? 0 : 1);
        else if (target == W)
            days = aheadToday ? 0 : 6;
        else
            days = target - W + 7 - (aheadToday ? 0 : 1);
    }

    if (H == h && M == m) {
        if (mode == TriggerMode::display) return {days * 24, 0, 0};
        if (days > 0) return {days * 24, 0, 0};
        return {0, 0, kMinSendSeconds};
    }

    long long hours = 0;
    long long minutes = 0;
    if (H > h) {
        if (M >= m) {
            hours = H - h;
            minutes = M - m;
        } else {
            hours = H - h - 1;
            minutes = M - m + 60;
        }
    } else if (H == h) {
        if (M > m) {
            hours = 0;
            minutes = M - m;
        } else {
            hours = 23;
            minutes = M - m + 60;
        }
    } else {
        if (M >= m) {
            hours = H - h + 24;
            minutes = M - m;
        } else {
            hours = H - h + 23;
            minutes = M - m + 60;
        }
    }
    hours += days * 24;

    if (mode == TriggerMode::display) return {hours, minutes, 0};

    long long seconds = 0;
    if (s > 0) {
        // The current minute has partly gone: borrow it.
        seconds = 60 - s;
        if (--minutes < 0) {
            minutes = 59;
            --hours;
        }
    }
    if (hours == 0 && minutes == 0 && seconds < 7) seconds = kMinSendSeconds;
    return {hours, minutes, seconds};
}

Span afterTimeLeft(const TimerEntry& e, const LocalMoment& now) {
    long long W = now.weekday;
    long long h = now.hour;
    const long long m = now.minute;
    const long long bW = e.baseWeekday;
    const long long bH = e.baseHour;
    const long long bM = e.baseMinute;

    long long elapsedMinutes = 0;
    if (bM > m) {
        elapsedMinutes = 60 - (bM - m);
        --h;
    } else {
        elapsedMinutes = m - bM;
    }
    long long elapsedHours = 0;
    if (bH > h) {
        elapsedHours = 24 - (bH - h);
        --W;
    } else {
        elapsedHours = h - bH;
    }
    const long long elapsedDays = bW > W ? 7 - (bW - W) : W - bW;

    long long hours = e.hour - (elapsedDays * 24 + elapsedHours);
    long long minutes = 0;
    if (e.minute >= elapsedMinutes) {
        minutes = e.minute - elapsedMinutes;
    } else {
        minutes = 60 - (elapsedMinutes - e.minute);
        --hours;
    }
    return {hours, minutes, 0};
}

// Display time of one enabled governing entry, with the part-gone minute
// taken off once now's second has passed the entry's due second.
Span shownTime(const TimerEntry& e, const LocalMoment& now) {
    Span t = e.kind != KindAfter ? timeToTrigger(e, TriggerMode::display, now) : afterTimeLeft(e, now);
    if (e.baseSecond < now.second) {
        if (--t.minutes < 0) {
            t.minutes = 59;
            if (--t.hours < 0) {
                // A repeating timer that fired this minute is next due a
                // period later.
                if (e.kind == KindEveryDay)
                    t.hours = 23;
                else if (e.kind == KindEveryWeek)
                    t.hours = 167;
            }
        }
    }
    return t;
}

bool isDue(const Span& t) { return t.hours < 0 || (t.hours < 1 && t.minutes < 1); }

}  // namespace

TimeLeft TimeToTrigger(const TimerEntry& e, TriggerMode mode, const LocalMoment& now) {
    return toTimeLeft(timeToTrigger(e, mode, now));
}

TimeLeft AfterTimeLeft(const TimerEntry& e, const LocalMoment& now) {
    return toTimeLeft(afterTimeLeft(e, now));
}

std::optional<PortTime> PortTimeLeft(const PortEntries& entries,
                                     const LocalMoment& now) {
    if (entries.ownOn.invalid == 1) return std::nullopt;
    const bool onEnabled = entries.effectiveOn.enabled == 1;
    const bool offEnabled = entries.effectiveOff.enabled == 1;
    if (!onEnabled && !offEnabled) return std::nullopt;

    Span chosen;
    bool chosenOn = onEnabled;
    if (onEnabled && offEnabled) {
        const Span on = shownTime(entries.effectiveOn, now);
        const Span off = shownTime(entries.effectiveOff, now);
        // The sooner one; equal times show the power-off time.
        bool takeOn = false;
        if (on.hours != off.hours)
            takeOn = on.hours < off.hours;
        else
            takeOn = on.minutes < off.minutes;
        chosen = takeOn ? on : off;
        chosenOn = takeOn;
    } else {
        chosen = shownTime(onEnabled ? entries.effectiveOn : entries.effectiveOff, now);
    }
    if (isDue(chosen)) return PortTime{0, 0, true, chosenOn};
    return PortTime{clamp32(chosen.hours), clamp32(chosen.minutes), false, chosenOn};
}

void Stamp(TimerEntry& e, const LocalMoment& now) {
    setSinceDate(e, formatSinceDate(now));
    e.baseWeekday = now.weekday;
    e.baseHour = now.hour;
    e.baseMinute = now.minute;
    e.baseSecond = e.kind == KindAfter ? now.second : 0;
}

std::string formatSinceDate(const LocalMoment& now) {
    return std::to_string(now.year) + "/" + std::to_string(now.month) + "/" + std::to_string(now.day);
}

}  // namespace velmora
