#pragma once

// How every front end reads the unit's reports and keeps the link alive:
// the poll and watchdog cadence, what a port-state or timer-flag letter
// means, how a version text reads, and what is forgotten of a bank the
// unit no longer reports. The window draws from these; velmoractl, its
// service and the control socket answer from them. Pure functions and
// constants, no I/O.

#include <string>
#include <string_view>

namespace velmora {

class DeviceState;
class TimerTables;

// ---- Cadence, milliseconds ----
inline constexpr int kPollIntervalMs = 5000;       // tmQuery, steady
inline constexpr int kFirstPollDelayMs = 10;       // tmQuery right after the greeting
inline constexpr int kWatchdogIntervalMs = 20000;  // tmOpenComError: no report this long after a poll
// Polls after which the information request goes out if it has not yet.
inline constexpr int kPollsBeforeInfoRequest = 5;

// A port of the unit: bank and port, both counted from 1 (bank 0 with
// port 0: every bank; port 0: the whole bank, where a command says so).
struct PortAddress {
    int bank;
    int port;

    friend bool operator==(const PortAddress&, const PortAddress&) = default;
};

// Banks a front end shows of a unit that reports `bankCount`: no more
// than the timer tables hold, and never fewer than none.
int shownBanks(int bankCount);

// ---- Port states and timer flags ----
// True when character `port` (1..8) of the port-state text is 'O'. A text
// too short for the port, or a port outside 1..8, reads as off.
bool portIsOn(std::string_view portStates, int port);

// What character `port` of the timer-flag text means for a redraw by a
// status report: 'F' (the unit flagged the port's timer) lights the ALARM
// lamp, marks the port's timer entries invalid and empties its time label;
// anything else, including a text too short for the port: ALARM dark,
// invalid marks cleared, label left as it is.
struct TimerFlagEffect {
    bool alarm;
    bool invalid;
    bool clearLabel;

    friend bool operator==(const TimerFlagEffect&, const TimerFlagEffect&) = default;
};
TimerFlagEffect timerFlagRule(std::string_view timerFlags, int port);

// A status report of `bank` (1..16): the invalid marks of its ports'
// timer entries follow its timer flags (timerFlagRule).
void markFlaggedTimers(const DeviceState& state, TimerTables& tables, int bank);

// A bank the unit no longer reports: its record back to "CCCCCCCC",
// "GGGGGGGG", 0 A and no version, its timer entries cleared.
void forgetBank(DeviceState& state, TimerTables& tables, int bank);

// ---- Versions ----
// Shown instead of the numbers when the version text does not hold them
// (empty before the first version report, or garbage from the line).
inline constexpr std::string_view kUnknownVersionText = "Firmware Version: unknown";

// Text of the version box for a version text:
//  - exactly "Wait a minute": that text;
//  - otherwise the numbers read from it as one digit, one digit and up to
//    two characters of a number (blanks before each are skipped, as a C
//    scanf "%1d%1d%2d" reads them), shown as "Firmware Version: %1d.%1d.%d":
//    "1203" -> "Firmware Version: 1.2.3", "12345" -> "Firmware Version: 1.2.34";
//  - when the three numbers cannot all be read ("", "12", "abcd"):
//    kUnknownVersionText.
std::string versionText(std::string_view version);

}  // namespace velmora
