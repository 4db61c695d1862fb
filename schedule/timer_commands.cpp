#include "schedule/timer_commands.h"

#include <cstdio>

namespace velmora {

namespace {

bool inRange(int value, int low, int high) { return value >= low && value <= high; }

// The longest command, a set with a large hour count, fits easily.
template <typename... Args>
std::string formatCommand(const char* pattern, Args... args) {
    char buffer[48];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string cmdClearTimer(int bank, int port, int action) {
    if (!inRange(bank, 0, 99) || !inRange(port, 0, 8) || !inRange(action, 0, 1)) return {};
    return formatCommand("/Q%02d%01d%01d\\", bank, port, action);
}

std::string cmdSetTimer(char letter, int bank, int port, int action, int hours, int minutes,
                        int seconds) {
    if (letter != 'T' && letter != 'D' && letter != 'W') return {};
    if (!inRange(bank, 0, 99) || !inRange(port, 0, 8) || !inRange(action, 0, 1)) return {};
    if (hours < 0 || !inRange(minutes, 0, 99) || !inRange(seconds, 0, 99)) return {};
    return formatCommand("/%c%02d%01d%01d %03d%02d%02d\\", letter, bank, port, action, hours, minutes,
                  seconds);
}

}  // namespace velmora
