#pragma once

#include <mutex>

namespace velmora {

// One reading of the PC's local clock. Weekday counts like the unit does:
// 1 = Sunday .. 7 = Saturday.
struct LocalMoment {
    int year = 2000;   // full year, e.g. 2026
    int month = 1;     // 1..12
    int day = 1;       // 1..31
    int weekday = 7;   // 1 Sunday .. 7 Saturday
    int hour = 0;      // 0..23
    int minute = 0;    // 0..59
    int second = 0;    // 0..59

    friend bool operator==(const LocalMoment&, const LocalMoment&) = default;
};

// Source of "now" for all logic code; nothing below the widgets reads the
// system time directly, so tests can pass fixed moments.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalMoment now() const = 0;
};

// The PC's local time.
class SystemClock final : public Clock {
public:
    LocalMoment now() const override;
};

// A clock that stands still until told otherwise (tests, benchmarks).
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalMoment m = {}) : moment_(m) {}
    LocalMoment now() const override {
        std::lock_guard lock(mutex_);
        return moment_;
    }
    void set(const LocalMoment& m) {
        std::lock_guard lock(mutex_);
        moment_ = m;
    }
    // Moves the clock on by whole seconds, carrying into minutes, hours,
    // weekday and the calendar date.
    void advanceSeconds(long long seconds);

private:
    mutable std::mutex mutex_;
    LocalMoment moment_;
};

// Weekday (1 Sunday .. 7 Saturday) of a Gregorian date.
int weekdayOf(int year, int month, int day);

}  // namespace velmora
