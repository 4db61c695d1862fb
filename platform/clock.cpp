#include "platform/clock.h"


namespace velmora {

namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m == 2 && isLeap(y)) return 29;
    return days[(m - 1) % 12];
}

}  // namespace

int weekdayOf(int year, int month, int day) {
    // Sakamoto's method: 0 = Sunday.
    static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    int w = (year + year / 4 - year / 100 + year / 400 + t[month - 1] + day) % 7;
    return w + 1;
}

void FixedClock::advanceSeconds(long long seconds) {
    std::lock_guard lock(mutex_);
    LocalMoment& m = moment_;
    long long total = m.second + seconds;
    long long carry = total / 60;
    m.second = static_cast<int>(total % 60);
    total = m.minute + carry;
    carry = total / 60;
    m.minute = static_cast<int>(total % 60);
    total = m.hour + carry;
    carry = total / 24;
    m.hour = static_cast<int>(total % 24);
    for (long long d = 0; d < carry; ++d) {
        m.weekday = m.weekday % 7 + 1;
        if (++m.day > daysInMonth(m.year, m.month)) {
            m.day = 1;
            if (++m.month > 12) {
                m.month = 1;
                ++m.year;
            }
        }
    }
}

}  // namespace velmora
