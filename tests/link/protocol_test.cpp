#include <gtest/gtest.h>

#include <string>

#include "link/protocol.h"

namespace velmora {
namespace {

struct CommandCase {
    const char* name;
    std::string actual;
    const char* expected;
};

LocalMoment at(int year, int month, int day, int hour, int minute, int second) {
    LocalMoment m;
    m.year = year;
    m.month = month;
    m.day = day;
    m.hour = hour;
    m.minute = minute;
    m.second = second;
    return m;
}

TEST(CommandTexts, EveryCommandHasItsExactWireText) {
    const CommandCase cases[] = {
        {"greeting", cmdGreeting(), "/uni\\"},
        {"version request", cmdVersionRequest(), "/VER\\"},
        {"restore status on", cmdRestoreStatus(true), "/EN001\\"},
        {"restore status off", cmdRestoreStatus(false), "/DS001\\"},
        {"poll", cmdPoll(), "/C\\"},
        {"upgrade", cmdUpgrade(), "/UPGRADE\\"},
        {"port on pads bank", cmdSwitchPort(true, 5, 3), "/O053\\"},
        {"port off", cmdSwitchPort(false, 12, 8), "/F128\\"},
        {"port on bank 99", cmdSwitchPort(true, 99, 1), "/O991\\"},
        {"bank on", cmdSwitchBank(true, 2), "/O020\\"},
        {"bank off", cmdSwitchBank(false, 16), "/F160\\"},
        {"all on", cmdSwitchAll(true), "/O000\\"},
        {"all off", cmdSwitchAll(false), "/F000\\"},
        {"clear one port power-on", cmdClearTimer(1, 2, 1), "/Q0121\\"},
        {"clear whole bank power-off", cmdClearTimer(3, 0, 0), "/Q0300\\"},
        {"clear all banks", cmdClearTimer(0, 0, 1), "/Q0001\\"},
        {"set once timer", cmdSetTimer('T', 1, 1, 1, 1, 5, 30), "/T0111 0010530\\"},
        {"set daily timer", cmdSetTimer('D', 4, 0, 0, 23, 59, 6), "/D0400 0235906\\"},
        {"set weekly timer", cmdSetTimer('W', 16, 8, 1, 167, 0, 0), "/W1681 1670000\\"},
        {"hours wider than three digits", cmdSetTimer('T', 1, 2, 0, 1234, 1, 2), "/T0120 12340102\\"},
        {"set time", cmdSetTime(at(2026, 12, 8, 4, 5, 9)), "/SETTIME2026-12-08 04:05:09\\"},
        {"set time year in century", cmdSetTime(at(2100, 1, 31, 23, 59, 59)), "/SETTIME2000-01-31 23:59:59\\"},
        {"set time 1999", cmdSetTime(at(1999, 7, 1, 0, 0, 0)), "/SETTIME2099-07-01 00:00:00\\"},
        {"set time year padded", cmdSetTime(at(2005, 10, 10, 10, 10, 10)), "/SETTIME2005-10-10 10:10:10\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.actual, c.expected) << c.name;
    }
}

// A field that does not fit its fixed width must not become a command that
// switches another outlet or breaks the layout.
TEST(CommandTexts, OutOfRangeFieldsGiveNoCommand) {
    const CommandCase cases[] = {
        {"port 0 is not one port", cmdSwitchPort(true, 1, 0), ""},
        {"port 9", cmdSwitchPort(true, 1, 9), ""},
        {"negative port", cmdSwitchPort(false, 1, -1), ""},
        {"bank 0 with one port", cmdSwitchPort(true, 0, 1), ""},
        {"bank 100", cmdSwitchPort(true, 100, 1), ""},
        {"negative bank", cmdSwitchBank(true, -3), ""},
        {"bank 0 is not one bank", cmdSwitchBank(false, 0), ""},
        {"clear port 9", cmdClearTimer(1, 9, 1), ""},
        {"clear action 2", cmdClearTimer(1, 1, 2), ""},
        {"clear bank 100", cmdClearTimer(100, 0, 0), ""},
        {"set unknown letter", cmdSetTimer('X', 1, 1, 1, 1, 0, 0), ""},
        {"set lower-case letter", cmdSetTimer('t', 1, 1, 1, 1, 0, 0), ""},
        {"set negative hours", cmdSetTimer('T', 1, 1, 1, -1, 0, 0), ""},
        {"set minutes 100", cmdSetTimer('T', 1, 1, 1, 0, 100, 0), ""},
        {"set negative seconds", cmdSetTimer('T', 1, 1, 1, 0, 0, -1), ""},
        {"set action 3", cmdSetTimer('D', 1, 1, 3, 0, 0, 0), ""},
        {"time negative year", cmdSetTime(at(-1, 1, 1, 0, 0, 0)), ""},
        {"time month 13", cmdSetTime(at(2026, 13, 1, 0, 0, 0)), ""},
        {"time day 0", cmdSetTime(at(2026, 1, 0, 0, 0, 0)), ""},
        {"time hour 24", cmdSetTime(at(2026, 1, 1, 24, 0, 0)), ""},
        {"time minute 60", cmdSetTime(at(2026, 1, 1, 0, 60, 0)), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.actual, c.expected) << c.name;
    }
}

}  // namespace
}  // namespace velmora
