#include "link/device_state.h"

#include <cstring>

#include "schedule/timer_tables.h"

namespace velmora {

namespace {

template <std::size_t N>
std::string_view fieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

}  // namespace

std::string_view BankRecord::timerFlagsText() const { return fieldText(timerFlags); }
std::string_view BankRecord::portStatesText() const { return fieldText(portStates); }
std::string_view BankRecord::versionText() const { return fieldText(version); }

BankRecord DeviceState::bankSnapshot(int bank) const {
    if (bank < 0 || bank >= kBankRecords) return {};
    std::lock_guard lock(recordsMutex_);
    return BankInfo[static_cast<std::size_t>(bank)];
}

std::string DeviceState::lastLine() const {
    std::lock_guard lock(recordsMutex_);
    return std::string(fieldText(LastLine_));
}

void DeviceState::setLastLine(std::string_view line) {
    std::lock_guard lock(recordsMutex_);
    copyField(LastLine_, line);
}

void resetLinkState(DeviceState& state, TimerTables& tables) {
    state.RawLineMode = false;
    state.FirmwareFailed = false;
    state.ShownBankCount = 0;
    state.PollCount = 0;
    state.InfoRequestSent = false;

    const int bankCount = state.BankCount.load();
    tables.clearAll(bankCount);
    for (int bank = 1; bank <= bankCount && bank < kBankRecords; ++bank) {
        state.editBank(bank, [](BankRecord& record) {
            copyField(record.portStates, "CCCCCCCC");
            copyField(record.timerFlags, "GGGGGGGG");
            record.current = 0.0f;
            copyField(record.version, "");
        });
    }

    state.BankCount = 0;
    state.ClockWarningArmed = false;
    state.TimerWarningArmed = false;
    state.Queue.clear();
}

}  // namespace velmora
