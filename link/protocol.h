#pragma once

// Command texts the program writes to the unit. Every command is "/", a body
// and "\", with nothing after it. Numbers are decimal with fixed widths and
// leading zeros; a function whose fields are out of range returns an empty
// string instead of a command that would address the wrong outlet or break
// the fixed layout (writing an empty string sends nothing).

#include <string>

#include "platform/clock.h"
// The timer clear and set commands are built beside the timer tables.
#include "schedule/timer_commands.h"

namespace velmora {

// "/uni\": greeting; the unit answers "xyz" (running) or "abc" (no firmware).
std::string cmdGreeting();
// "/VER\": every bank reports its firmware version.
std::string cmdVersionRequest();
// "/EN001\" (on) or "/DS001\" (off): the unit restores its last-known port
// states at power-up, or does not.
std::string cmdRestoreStatus(bool on);
// "/C\": status poll.
std::string cmdPoll();
// "/UPGRADE\": start of a firmware upgrade.
std::string cmdUpgrade();

// "/O%02d%01d\" (on) or "/F%02d%01d\" (off): one port.
// bank 1..99, port 1..8; otherwise "".
std::string cmdSwitchPort(bool on, int bank, int port);
// "/O%02d0\" or "/F%02d0\": all ports of one bank. bank 1..99; otherwise "".
std::string cmdSwitchBank(bool on, int bank);
// "/O000\" or "/F000\": every port of every bank.
std::string cmdSwitchAll(bool on);

// "/SETTIME20%02d-%02d-%02d %02d:%02d:%02d\": the unit's clock, with the year
// within its century (year % 100, so 2026 gives "26"). year >= 0, month 1..12, day 1..31,
// hour 0..23, minute 0..59, second 0..60 (a leap second is passed on);
// otherwise "".
std::string cmdSetTime(const LocalMoment& moment);

}  // namespace velmora
