#include "link/report_rules.h"

#include <cstdio>

#include "link/device_state.h"
#include "schedule/timer_tables.h"

#include <algorithm>

namespace velmora {

int shownBanks(int bankCount) { return std::clamp(bankCount, 0, kMaxBanks); }

namespace {

constexpr int kPorts = 8;

char charAt(std::string_view text, int port) {
    if (port < 1 || port > kPorts || static_cast<std::size_t>(port) > text.size()) return '\0';
    return text[static_cast<std::size_t>(port - 1)];
}

}  // namespace

bool portIsOn(std::string_view portStates, int port) { return charAt(portStates, port) == 'O'; }

TimerFlagEffect timerFlagRule(std::string_view timerFlags, int port) {
    const bool flagged = charAt(timerFlags, port) == 'F';
    return {flagged, flagged, flagged};
}

void markFlaggedTimers(const DeviceState& state, TimerTables& tables, int bank) {
    const BankRecord record = state.bankSnapshot(bank);
    for (int port = 1; port <= kPorts; ++port)
        tables.setInvalid(bank - 1, port - 1, timerFlagRule(record.timerFlagsText(), port).invalid);
}

void forgetBank(DeviceState& state, TimerTables& tables, int bank) {
    state.editBank(bank, [](BankRecord& record) {
        copyField(record.portStates, "CCCCCCCC");
        copyField(record.timerFlags, "GGGGGGGG");
        record.current = 0.0f;
        copyField(record.version, "");
    });
    tables.clearBanksFrom(bank - 1, bank);
}

std::string versionText(std::string_view version) {
    if (version == kWaitVersionText) return std::string(version);
    // scanf needs a terminated text; the version field holds at most 19
    // characters, so a longer view is cut like the field would cut it.
    char field[20] = {};
    copyField(field, version);
    int major = 0;
    int minor = 0;
    int build = 0;
    if (std::sscanf(field, "%1d%1d%2d", &major, &minor, &build) != 3) {
        return std::string(kUnknownVersionText);
    }
    char text[64];
    std::snprintf(text, sizeof text, "Firmware Version: %1d.%1d.%d", major, minor, build);
    return text;
}

}  // namespace velmora
