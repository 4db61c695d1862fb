#include "schedule/timer_row.h"

#include <algorithm>
#include <limits>

#include <algorithm>
#include <cstdio>

namespace velmora {

std::string fieldDigits(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9') out += c;
    return out;
}

std::int32_t fieldNumber(std::string_view text) {
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') continue;
        v = std::min<long long>(v * 10 + (c - '0'), std::numeric_limits<std::int32_t>::max());
    }
    return static_cast<std::int32_t>(v);
}

const std::array<const char*, 4>& kindItems() {
    static const std::array<const char*, 4> items = {"After", "At", "Every day", "Every week"};
    return items;
}

const std::array<const char*, 8>& dayItems() {
    static const std::array<const char*, 8> items = {"NULL", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    return items;
}

std::string rowComponentName(std::string_view prefix, int row) {
    return std::string(prefix) + std::to_string(row);
}

std::string rowAccessiblePrefix(int row) {
    std::string name = pageOfRow(row) == TimerPage::powerOn ? "Power ON " : "Power OFF ";
    const int line = lineOfRow(row);
    if (line == kAllBanksLine) return name + "All banks";
    if (line == kWholeBankLine) return name + "Whole bank";
    return name + "Port " + std::to_string(line - 1);
}

std::string rowAccessibleName(int row, RowField field) {
    const char* f = "enable";
    switch (field) {
        case RowField::enable: f = "enable"; break;
        case RowField::kind: f = "kind"; break;
        case RowField::day: f = "day"; break;
        case RowField::hour: f = "hour"; break;
        case RowField::minute: f = "minute"; break;
    }
    return rowAccessiblePrefix(row) + " " + f;
}

std::string sinceLabelText(const TimerEntry& e) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%.19s %2d:%2d", e.sinceDate, e.baseHour, e.baseMinute);
    if (n < 0) return {};
    return std::string(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

KeyAction edNumCheck(int key) {
    if ((key >= '0' && key <= '9') || key == 8) return KeyAction::take;
    if (key == 13) return KeyAction::nextControl;
    return KeyAction::discard;
}

}  // namespace velmora
