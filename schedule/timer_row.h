#pragma once

// One row of the Set Timer dialog: what its controls show, the names its
// components and a screen reader give it, and the texts it is drawn with.
// Rows 0..9 are on the power-on page, 10..19 on the power-off page; the
// line of a row is row mod 10: line 0 is the all-banks row, line 1 the
// whole-bank row, lines 2..9 are ports 1..8.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "schedule/timer_entry.h"

namespace velmora {

inline constexpr int kTimerRows = 20;
inline constexpr int kRowsPerPage = 10;
inline constexpr int kAllBanksLine = 0;
inline constexpr int kWholeBankLine = 1;
inline constexpr int kFirstPortLine = 2;  // port p (1..8) is line kFirstPortLine + p - 1

inline constexpr int kDelayHourLimit = 99;  // udHour range for "After"
inline constexpr int kDayHourLimit = 23;    // udHour range for the other kinds
inline constexpr int kMinuteLimit = 59;     // udMin range

enum class TimerPage { powerOn, powerOff };
// The fields of a row, as the accessible names call them.
enum class RowField { enable, kind, day, hour, minute };

// Items of the drop-down lists; the item index is the entry's kind or weekday.
const std::array<const char*, 4>& kindItems();  // "After", "At", "Every day", "Every week"
const std::array<const char*, 8>& dayItems();   // "NULL", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"

// One row of the editor: its two flags and what its controls show.
struct TimerRow {
    // The port behind the row has no usable timer: the row hides its
    // controls, shows "Invalid" (red) in the since place and ignores its
    // check box. Lines 0 and 1 are never invalid.
    bool invalid = false;
    // The check box changed since the bank was shown (collected rows with
    // this flag are sent).
    bool changed = false;

    bool checked = false;      // chkEnable
    bool checkEnabled = true;
    std::int32_t kind = KindAfter;  // cmbAfter item
    bool kindEnabled = true;
    std::int32_t day = 0;      // cmbDay item (0 "NULL")
    bool dayEnabled = false;
    std::string hourText = "0";    // edHour
    std::string minuteText = "0";  // edMin
    bool timeEnabled = true;   // edHour, udHour, edMin, udMin
    std::string bankText;      // lblBank: "all" on line 0, else the bank number
    std::string portText;      // lblPort: "all" on lines 0 and 1, else the port number
    bool labelsEnabled = true; // lblBank, lblPort
    std::string sinceText;     // lblSince
    bool sinceEnabled = true;

    // udHour's upper bound: 99 for "After", 23 for the other kinds.
    int hourLimit() const { return kind == KindAfter ? kDelayHourLimit : kDayHourLimit; }

    friend bool operator==(const TimerRow&, const TimerRow&) = default;
};

// The page and line of a row.
inline TimerPage pageOfRow(int row) { return row < kRowsPerPage ? TimerPage::powerOn : TimerPage::powerOff; }
inline int lineOfRow(int row) { return row % kRowsPerPage; }

// The digits of a field's text, and the number they make: 0 for none,
// capped far above any limit so that long pasted digit runs cannot
// overflow.
std::string fieldDigits(std::string_view text);
std::int32_t fieldNumber(std::string_view text);

// Object name of a row's component: prefix and row number, e.g.
// ("chkEnable", 13) -> "chkEnable13".
std::string rowComponentName(std::string_view prefix, int row);

// What a screen reader says for a row control: page ("Power ON" /
// "Power OFF"), row ("All banks", "Whole bank", "Port 1" .. "Port 8") and
// field ("enable", "kind", "day", "hour", "minute"), e.g.
// "Power ON Port 3 hour".
std::string rowAccessibleName(int row, RowField field);
// Page and row only: "Power OFF Whole bank".
std::string rowAccessiblePrefix(int row);

// "%s %2d:%2d" from sinceDate, baseHour and baseMinute, e.g. "2026/3/7 21: 5".
std::string sinceLabelText(const TimerEntry& e);

// What a key typed into an hour or minute field does.
enum class KeyAction {
    take,         // digits and backspace
    nextControl,  // Enter: the focus moves on in tab order
    discard,      // everything else
};
// `key` is the typed character: '0'..'9', 8 (backspace), 13 (Enter), ...
KeyAction edNumCheck(int key);

}  // namespace velmora
