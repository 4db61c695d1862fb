#pragma once

// The unit as a front end shows it - banks, ports, currents, versions and
// the time left to each port's timer - taken from the shared state, and
// its JSON form: what `velmoractl status --json` prints and what the port's
// owner sends its clients. The unit's texts are 8-bit: in JSON they are
// read as Latin-1 (a byte above 0x7F becomes the character of that code).

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/json.h"

#include "link/device_state.h"
#include "link/report_rules.h"
#include "platform/clock.h"
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_tables.h"

namespace velmora {

struct PortView {
    int port = 0;            // 1..8
    bool on = false;         // 'O' in the port states
    bool flagged = false;    // 'F' in the timer flags: the unit's timer is not available
    std::optional<PortTime> timeLeft;  // the window's time label for the port, if any
    std::string name;        // the name its user gave it (UTF-8), "" for none
};

struct BankView {
    int bank = 0;                // 1..16
    std::string portStates;      // as reported, "OOCCCCCC"; empty before the first report
    std::string timerFlags;      // as reported, "GGGGGGGG"
    float current = 0.0f;        // amperes
    bool currentKnown = false;   // a current report for the bank has come
    std::string version;         // as reported, normally four digits
    std::string name;            // the name its user gave the bank (UTF-8), "" for none
    std::array<PortView, 8> ports{};
};

struct UnitView {
    int bankCount = 0;            // as the unit reported it
    std::vector<BankView> banks;  // banks 1..min(bankCount, 16)
};


// The unit as the state holds it now; time left as the window computes
// it (PortTimeLeft on the live tables at `now`). `currentKnown` is indexed
// by bank number.
UnitView takeUnitView(const DeviceState& state, const TimerTables& tables, const LocalMoment& now,
                      const std::array<bool, kBankRecords>& currentKnown);

// ---- Switching ----
// The ports a switching command addresses: bank 0 port 0 every bank, port
// 0 the whole bank, else the one port. Empty when they lie outside the
// unit's banks.
std::vector<PortAddress> addressedPorts(int bank, int port, int bankCount);
// True when every addressed port shows `on` in the unit view.
bool portsShow(const UnitView& unit, const std::vector<PortAddress>& ports, bool on);
// The command written for the request: cmdSwitchAll, cmdSwitchBank or
// cmdSwitchPort.
std::string switchCommand(bool on, int bank, int port);

// ---- Texts both velmoractl and the port's owner give ----
// "10 s", "0.25 s".
std::string secondsText(int ms);
// "Bank 1 Port 3 is on", "Bank 2 (all ports) is off", "Every bank is on".
std::string switchText(bool on, int bank, int port);
// "bank 5 does not exist: the unit has 2 banks".
std::string noSuchBankText(int bank, int bankCount);
// The unit did not show a switching within the time-out.
std::string notConfirmedText(bool on, int bank, int port, int timeoutMs);
// No complete answer to a status poll within the time-out (after the
// not-found message).
std::string noStatusAnswerText(int timeoutMs);

// ---- JSON ----
// The unit's 8-bit text as a JSON string value (Latin-1 to UTF-8), and back
// (characters above U+00FF, which no unit sends, become '?').
std::string latin1ToUtf8(std::string_view text);
std::string utf8ToLatin1(std::string_view text);
// A float as the shortest decimal that reads back as the same float
// ("2.5", "0.1"); JSON has no inf or nan, they read 0.
Json jsonNumber(float value);

// {"bankCount":N,"banks":[{"bank":1,"version":"1203","current":2.5,
//  "portStates":"OOCCCCCC","timerFlags":"GGGGGGGG","ports":[{"port":1,
//  "on":true,"timerFlagged":false,"timeLeft":null | {"hours":2,"minutes":5,
//  "due":false,"timer":"power-on"|"power-off"}}, ...]}, ...]}
// With `forClients`, each bank also says "currentKnown" (a watching client
// needs it to tell a first reading from a change). A bank or port with a
// name says "name" too.
Json unitJson(const UnitView& unit, bool forClients = false);
// The view back from unitJson's object. Missing or mistyped members read as
// their defaults; never throws.
UnitView unitFromJson(const Json& object);

// Gives the view's banks and ports their names (UTF-8, "" for none).
void nameUnitView(UnitView& unit, const std::function<std::string(int bank, int port)>& nameOf);

}  // namespace velmora
