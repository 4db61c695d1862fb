#include "link/protocol.h"

#include <cstdio>

namespace velmora {

namespace {

bool inRange(int value, int low, int high) { return value >= low && value <= high; }

// snprintf into a buffer sized for the widest text any caller can produce.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string cmdGreeting() { return "/uni\\"; }
std::string cmdVersionRequest() { return "/VER\\"; }
std::string cmdRestoreStatus(bool on) { return on ? "/EN001\\" : "/DS001\\"; }
std::string cmdPoll() { return "/C\\"; }
std::string cmdUpgrade() { return "/UPGRADE\\"; }

std::string cmdSwitchPort(bool on, int bank, int port) {
    if (!inRange(bank, 1, 99) || !inRange(port, 1, 8)) return {};
    return format("/%c%02d%01d\\", on ? 'O' : 'F', bank, port);
}

std::string cmdSwitchBank(bool on, int bank) {
    if (!inRange(bank, 1, 99)) return {};
    return format("/%c%02d0\\", on ? 'O' : 'F', bank);
}

std::string cmdSwitchAll(bool on) { return on ? "/O000\\" : "/F000\\"; }

std::string cmdSetTime(const LocalMoment& m) {
    if (m.year < 0 || !inRange(m.month, 1, 12) || !inRange(m.day, 1, 31) || !inRange(m.hour, 0, 23) ||
        !inRange(m.minute, 0, 59) || !inRange(m.second, 0, 60)) {
        return {};
    }
    return format("/SETTIME20%02d-%02d-%02d %02d:%02d:%02d\\", m.year % 100, m.month, m.day,
                  m.hour, m.minute, m.second);
}

}  // namespace velmora
