#pragma once

// What velmoractl prints: the unit as read from the shared state, and the
// texts and JSON objects made from it. Pure functions: nothing here touches
// a port or the clock.
//
// JSON keys are stable (README, "velmoractl --json"):
//   status:  {"bankCount":N,"banks":[{"bank":1,"version":"1203","current":2.5,
//             "portStates":"OOCCCCCC","timerFlags":"GGGGGGGG","ports":[{"port":1,
//             "on":true,"timerFlagged":false,"timeLeft":null | {"hours":2,
//             "minutes":5,"due":false,"timer":"power-on"|"power-off"}}, ...]}, ...]}
//   version: {"bankCount":N,"versions":[{"bank":1,"version":"1203"}, ...]}
//   on/off/cycle: {"command":"on","bank":1,"port":3,"confirmed":true,
//             "portStates":[{"bank":1,"portStates":"OOCCCCCC"}, ...]}
//   watch (one object per line): {"event":"port","bank":1,"port":3,"on":true}
//             and {"event":"current","bank":1,"current":2.5}
//   clock:   {"command":"clock","sent":"/SETTIME...\\"}
//   schedule send: {"command":"schedule send","file":F,"commands":N,"confirmed":N}
//   schedule save: {"command":"schedule save","file":F,"banks":N}
//   upgrade: {"command":"upgrade","file":F,"bytes":N,"completed":true,
//             "versions":[{"bank":1,"version":"1204"}, ...]}
//   errors (on stderr, with --json): {"error":"text","exitCode":N}

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_state.h"
#include "platform/clock.h"
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_tables.h"

namespace velmora::cli {

struct PortView {
    int port = 0;            // 1..8
    bool on = false;         // 'O' in the port states
    bool flagged = false;    // 'F' in the timer flags: the unit's timer is not available
    std::optional<PortTime> timeLeft;  // the window's time label for the port, if any
};

struct BankView {
    int bank = 0;                // 1..16
    std::string portStates;      // as reported, "OOCCCCCC"; empty before the first report
    std::string timerFlags;      // as reported, "GGGGGGGG"
    float current = 0.0f;        // amperes
    bool currentKnown = false;   // a current report for the bank has come
    std::string version;         // as reported, normally four digits
    std::array<PortView, 8> ports{};
};

struct UnitView {
    int bankCount = 0;            // as the unit reported it
    std::vector<BankView> banks;  // banks 1..min(bankCount, 16)
};

// Banks shown and waited for: the tables and the window stop at 16.
int shownBanks(int bankCount);

// The unit as the state holds it now; time left as the window computes
// it (PortTimeLeft on the live tables at `now`). `currentKnown` is indexed
// by bank number.
UnitView takeUnitView(const DeviceState& state, const TimerTables& tables, const LocalMoment& now,
                      const std::array<bool, kBankRecords>& currentKnown);

// ---- JSON pieces ----
// A JSON string literal with quotes; control and non-ASCII bytes as \u00XX
// (the unit's text is 8-bit, not UTF-8).
std::string jsonString(std::string_view text);
// Shortest decimal that reads back as the same float ("2.5", "0.1").
std::string numberText(float value);

// ---- status ----
std::string statusText(const UnitView& unit);
std::string statusJson(const UnitView& unit);

// "2:05 power-on", "due power-off", "" without a timer.
std::string timeLeftText(const std::optional<PortTime>& t);

// ---- version ----
std::string versionReport(const UnitView& unit);  // "Bank  1  1203  (Firmware Version: 1.2.3)" lines
std::string versionJson(const UnitView& unit);

// ---- switching ----
// The ports a switching command addresses: bank 0 port 0 every bank, port
// 0 the whole bank, else the one port. Empty when they lie outside the
// unit's banks.
struct PortAddress {
    int bank;
    int port;
};
std::vector<PortAddress> addressedPorts(int bank, int port, int bankCount);
// True when every addressed port shows `on` in the unit view.
bool portsShow(const UnitView& unit, const std::vector<PortAddress>& ports, bool on);
// The command written for the request: cmdSwitchAll, cmdSwitchBank or
// cmdSwitchPort.
std::string switchCommand(bool on, int bank, int port);
// "Bank 1 Port 3 is on", "Bank 2 (all ports) is off", "Every bank is on".
std::string switchText(bool on, int bank, int port);
std::string switchJson(std::string_view command, int bank, int port, bool confirmed, const UnitView& unit);

// ---- watch ----
struct WatchEvent {
    enum class Kind { port, current } kind = Kind::port;
    int bank = 0;
    int port = 0;          // Kind::port
    bool on = false;       // Kind::port
    float current = 0.0f;  // Kind::current, amperes
};
// What changed from `before` to `after`: a port whose state differs (or
// became known), a current that differs (or became known). Banks in bank
// order, ports in port order, a bank's ports before its current.
std::vector<WatchEvent> watchChanges(const UnitView& before, const UnitView& after);
// One line without its line end: "bank 1 port 3 on", "bank 1 current 2.5 A"
// or the JSON object.
std::string watchLine(const WatchEvent& event, bool json);

// The error object of --json: {"error":"...","exitCode":N}.
std::string errorJson(std::string_view text, int exitCode);

}  // namespace velmora::cli
