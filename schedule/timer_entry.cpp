#include "schedule/timer_entry.h"

#include <algorithm>
#include <cstring>

namespace velmora {

bool isEmptyEntry(const TimerEntry& e) { return e == TimerEntry{}; }

void setSinceDate(TimerEntry& e, std::string_view text) {
    std::memset(e.sinceDate, 0, sizeof e.sinceDate);
    const std::size_t n = std::min(text.size(), sizeof e.sinceDate - 1);
    std::memcpy(e.sinceDate, text.data(), n);
}

const char* kindLetter(std::int32_t kind) {
    switch (kind) {
    case KindAfter:
    case KindAt:
        return "T";
    case KindEveryDay:
        return "D";
    case KindEveryWeek:
        return "W";
    default:
        return "";
    }
}

std::optional<Kind> kindFromReportLetter(char letter) {
    switch (letter) {
    case 'T':
        return KindAt;
    case 'D':
        return KindEveryDay;
    case 'W':
        return KindEveryWeek;
    default:
        return std::nullopt;
    }
}

}  // namespace velmora
