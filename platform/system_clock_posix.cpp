#include "platform/clock.h"

#include <ctime>

namespace velmora {

LocalMoment SystemClock::now() const {
    std::time_t t = std::time(nullptr);
    std::tm tmv{};
    localtime_r(&t, &tmv);
    return LocalMoment{tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_wday + 1,
                       tmv.tm_hour,        tmv.tm_min,     tmv.tm_sec};
}

}  // namespace velmora
