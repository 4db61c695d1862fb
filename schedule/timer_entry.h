#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

namespace velmora {

constexpr int kMaxBanks = 16;      // banks the timer tables hold
constexpr int kPortsPerBank = 8;   // ports of one bank

// What an entry addresses. Codes 1 and 2 only ever sit in port index 0 of a
// bank, which doubles as the bank-wide entry; 3..6 are clear requests that
// the dialog leaves in port index 0 of an edit table for the transfer.
enum Scope : std::int32_t {
    ScopePort = 0,
    ScopeAllBanks = 1,
    ScopeBank = 2,
    ScopeClearAll = 3,
    ScopeClearBank = 4,
    ScopeClearAllThenPort = 5,
    ScopeClearBankThenPort = 6,
};

enum Kind : std::int32_t {
    KindAfter = 0,      // a delay of hour:minute from the stamp
    KindAt = 1,         // once, at hour:minute
    KindEveryDay = 2,   // daily at hour:minute
    KindEveryWeek = 3,  // weekly on weekday at hour:minute
};

// One timer of one port and one direction. The field order is the record
// layout the schedule files and the rest of the program rely on; an entry
// whose fields are all zero means "no timer".
struct TimerEntry {
    char sinceDate[20] = {};   // "2026/3/7" (no leading zeros), NUL-terminated; empty = never stamped
    std::uint8_t pending = 0;  // 1: changed in the dialog, still to be sent
    std::uint8_t enabled = 0;  // 1: the timer is active
    std::uint8_t invalid = 0;  // 1: the unit says the port's timer is not available
    std::int32_t scope = 0;    // a Scope code
    std::int32_t kind = 0;     // a Kind code
    std::int32_t weekday = 0;  // KindEveryWeek target: 1 Sunday .. 7 Saturday; 0 none
    std::int32_t hour = 0;     // KindAfter: hours of the delay; others: hour of day 0..23
    std::int32_t minute = 0;   // KindAfter: minutes of the delay; others: minute 0..59
    std::int32_t baseWeekday = 0;  // weekday (1 Sunday .. 7 Saturday) of the stamp
    std::int32_t baseHour = 0;     // hour of the stamp
    std::int32_t baseMinute = 0;   // minute of the stamp
    std::int32_t baseSecond = 0;   // second within the minute at which the timer falls due; 0 if never stamped

    friend bool operator==(const TimerEntry&, const TimerEntry&) = default;
};
static_assert(std::is_trivially_copyable_v<TimerEntry>);

// True when every field is zero (no timer in that direction).
bool isEmptyEntry(const TimerEntry& e);

// Stores text in sinceDate, cut to the 19 characters the field holds and
// always NUL-terminated; the rest of the field is zeroed.
void setSinceDate(TimerEntry& e, std::string_view text);

// Bank index 0..15 (bank number - 1) by port index 0..7 (port number - 1).
using TimerTable = std::array<std::array<TimerEntry, kPortsPerBank>, kMaxBanks>;

// The three entries that decide what the main window shows for one port.
struct PortEntries {
    TimerEntry ownOn;         // the port's own LiveOn entry (its invalid mark)
    TimerEntry effectiveOn;   // EffectiveEntry(LiveOn, ...)
    TimerEntry effectiveOff;  // EffectiveEntry(LiveOff, ...)
};

enum class TableId { LiveOn, LiveOff, EditOn, EditOff };

// Letter of the unit's timer commands and reports for a kind: "T" for
// KindAfter and KindAt, "D" for KindEveryDay, "W" for KindEveryWeek; ""
// for any other value, which no command can carry.
const char* kindLetter(std::int32_t kind);

// Kind a reported letter stands for: 'T' KindAt, 'D' KindEveryDay,
// 'W' KindEveryWeek; nullopt for any other letter.
std::optional<Kind> kindFromReportLetter(char letter);

}  // namespace velmora
