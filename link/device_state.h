#pragma once

// What the reader has learnt from the unit, shared with the UI thread.
//
// The reader writes these values and then, for most lines, hands a view
// update to the UI thread and waits for it, so values read inside a view
// update are stable. Scalars and flags are atomics because the UI's timers
// also read them outside view updates; bank records are written under a
// small lock, and bankSnapshot() copies one under the same lock for readers
// outside view updates.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "link/command_queue.h"

namespace velmora {

class TimerTables;

// Kinds of report the reader raises: which view update it asks for.
inline constexpr std::int32_t ukBankCount = 0;         // BankCount changed ("M" line)
inline constexpr std::int32_t ukCurrent = 1;           // BankInfo.current of ReportedBank
inline constexpr std::int32_t ukPortStatus = 2;        // one status text of ReportedBank
inline constexpr std::int32_t ukStatusAndCurrent = 3;  // both texts and the current
inline constexpr std::int32_t ukUpgradeBegin = 4;      // RawLineMode set ("Please ...")
inline constexpr std::int32_t ukUpgradeDone = 5;       // upgrade completed
inline constexpr std::int32_t ukScheduleRefresh = 6;   // timer entries of the shown bank tab
inline constexpr std::int32_t ukUpgradeStep = 7;       // progress mark: send the next byte
inline constexpr std::int32_t ukNextAfterClear = 8;    // "Q" matched the head, more wait
inline constexpr std::int32_t ukNextAfterSet = 9;      // "E" matched the head, more wait
inline constexpr std::int32_t ukUpgradeFailed = 10;    // FirmwareFailed set ("Fail", "abc")
inline constexpr std::int32_t ukUpgradeMessage = 11;   // LastLine is a banner/progress line
inline constexpr std::int32_t ukClockError = 12;       // "err": the unit's clock failed
inline constexpr std::int32_t ukVersion = 13;          // BankInfo.version of ReportedBank

// Reports that carry a bank's port states, and those that carry its current.
constexpr bool isStatusReport(std::int32_t kind) { return kind == ukPortStatus || kind == ukStatusAndCurrent; }
constexpr bool isCurrentReport(std::int32_t kind) { return kind == ukCurrent || kind == ukStatusAndCurrent; }
// Reports that prove the unit answers a poll and that a front end draws:
// status, current, bank count and any kind not listed here. The upgrade's,
// the clock's, the version's, the transfer's and the schedule refresh are
// others' work.
constexpr bool answersAPoll(std::int32_t kind) {
    switch (kind) {
        case ukUpgradeBegin:
        case ukUpgradeDone:
        case ukScheduleRefresh:
        case ukUpgradeStep:
        case ukNextAfterClear:
        case ukNextAfterSet:
        case ukUpgradeFailed:
        case ukUpgradeMessage:
        case ukClockError:
        case ukVersion: return false;
        default: return true;
    }
}

// Bank numbers 0..19 index BankInfo (the unit's banks are 1..BankCount,
// element 0 is never shown).
inline constexpr int kBankRecords = 20;
// Longest line the receiver keeps (characters, without terminator).
inline constexpr std::size_t kMaxLineLength = 51;

// Status of one bank. Texts are NUL-terminated C strings in fixed fields.
struct BankRecord {
    std::int32_t bankNo = 0;
    char timerFlags[9] = {};  // one letter per port, port 1 first: 'G' normal, 'F' flagged
    char portStates[9] = {};  // one letter per port, port 1 first: 'O' on, 'C' off
    float current = 0.0f;     // amperes
    char version[20] = {};    // firmware version text, normally four digits

    std::string_view timerFlagsText() const;
    std::string_view portStatesText() const;
    std::string_view versionText() const;
};

// The version text of every bank while new versions are awaited (after an
// upgrade, until the unit reports again); the Version items show it as is.
inline constexpr std::string_view kWaitVersionText = "Wait a minute";

// Copies text into a fixed field, cutting it to the field's size - 1 and
// zero-filling the rest, so the field is always terminated.
template <std::size_t N>
void copyField(char (&field)[N], std::string_view text) {
    static_assert(N > 0);
    const std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < N; ++i) field[i] = i < n ? text[i] : '\0';
}

class DeviceState {
public:
    DeviceState() = default;
    DeviceState(const DeviceState&) = delete;
    DeviceState& operator=(const DeviceState&) = delete;

    std::atomic<std::int32_t> BankCount{0};       // banks in the last "M" line (0..16); 0 without link
    std::atomic<std::int32_t> ShownBankCount{0};  // banks the window is laid out for
    std::atomic<std::int32_t> ReportedBank{1};    // bank named by the last status/current/version line

    std::atomic<bool> RawLineMode{false};        // upgrade text mode of the line assembler
    std::atomic<bool> FirmwareFailed{false};     // the unit has no valid firmware / upgrade failed
    std::atomic<bool> GreetingSeen{false};       // "xyz" arrived since the port was opened
    std::atomic<bool> InfoRequestSent{false};    // "/VER\" and restore setting sent on this link
    std::atomic<bool> ClockWarningArmed{false};  // the clock-failure warning may still be shown
    std::atomic<bool> TimerWarningArmed{false};  // the warning before the first clock setting
    std::atomic<std::int32_t> PollCount{0};      // status polls since the link came up

    CommandQueue Queue;

    // Indexed by bank number 0..19. Written by the reader under the record
    // lock (see editBank); read directly only inside view updates.
    std::array<BankRecord, kBankRecords> BankInfo{};

    // A consistent copy of one bank record; a zero record for bank numbers
    // outside 0..19.
    BankRecord bankSnapshot(int bank) const;
    // Runs edit(record) under the record lock. Returns false (and runs
    // nothing) for bank numbers outside 0..19.
    template <typename Edit>
    bool editBank(int bank, Edit&& edit) {
        if (bank < 0 || bank >= kBankRecords) return false;
        std::lock_guard lock(recordsMutex_);
        edit(BankInfo[static_cast<std::size_t>(bank)]);
        return true;
    }

    // The most recent complete line (at most 51 characters; longer text is cut).
    std::string lastLine() const;
    void setLastLine(std::string_view line);

private:
    mutable std::mutex recordsMutex_;
    char LastLine_[kMaxLineLength + 1] = {};
};

// The data part of the link reset (the UI part - menus, timers, tabs - is
// the window's): clears RawLineMode, FirmwareFailed, ShownBankCount, PollCount
// and InfoRequestSent; clears the timer tables for the first BankCount banks
// (the tables hold at most 16); resets BankInfo of banks 1..BankCount to
// "CCCCCCCC", "GGGGGGGG", 0 A and an empty version; sets BankCount to 0;
// clears ClockWarningArmed and TimerWarningArmed; throws the Queue away.
// GreetingSeen is left to the closing of the port.
void resetLinkState(DeviceState& state, TimerTables& tables);

}  // namespace velmora
