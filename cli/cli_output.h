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

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/unit_view.h"

namespace velmora::cli {

// The unit as taken from the state, shared with the port's owner.
using velmora::BankView;
using velmora::PortAddress;
using velmora::PortView;
using velmora::UnitView;
using velmora::addressedPorts;
using velmora::portsShow;
using velmora::shownBanks;
using velmora::switchCommand;
using velmora::takeUnitView;

// ---- JSON pieces ----
// A JSON string literal with quotes; non-ASCII bytes as \u00XX (the unit's
// text is 8-bit, read as Latin-1) and control bytes escaped.
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
using velmora::switchText;
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

// ---- the other commands' --json objects ----
std::string clockJson(std::string_view sent);
std::string scheduleSendJson(std::string_view file, std::size_t commands);
std::string scheduleSaveJson(std::string_view file, int banks);
std::string upgradeJson(std::string_view file, long bytes, const UnitView& unit);
// The warning after a completed upgrade whose new versions never came back.
std::string newVersionsUnknownText(int timeoutMs);

// The error object of --json: {"error":"...","exitCode":N}.
std::string errorJson(std::string_view text, int exitCode);

}  // namespace velmora::cli
