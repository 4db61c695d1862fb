#include "sim/unit_model.h"
#include "sim_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <string>
#include <vector>

using namespace velmora;
using namespace velmora::sim;
using velmora::sim::testing::framedLines;
using velmora::sim::testing::joined;

namespace {

UnitConfig twoBanks(StatusForm form = StatusForm::combined) {
    UnitConfig c;
    c.banks = 2;
    c.versions = {"1203", "1187"};
    c.statusForm = form;
    return c;
}

// --- one answer per command -------------------------------------------------

struct AnswerCase {
    const char* name;
    std::string command;
    std::string answer;
};

class CommandAnswers : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(CommandAnswers, FreshTwoBankUnitAnswers) {
    UnitModel m(twoBanks());
    EXPECT_EQ(m.feed(GetParam().command), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, CommandAnswers,
    ::testing::Values(
        AnswerCase{"Greeting", "/uni\\", "/xyz\\"},
        AnswerCase{"GreetingByteByByteSplit", "/u", ""},
        AnswerCase{"Versions", "/VER\\", "/V01 1203\\/V02 1187\\"},
        AnswerCase{"Poll", "/C\\", "/M2\\/S1 CCCCCCCC GGGGGGGG 0.0\\/S2 CCCCCCCC GGGGGGGG 0.0\\"},
        AnswerCase{"ClearPortConfirmed", "/Q0121\\", "/Q0121\\"},
        AnswerCase{"ClearBankConfirmed", "/Q0200\\", "/Q0200\\"},
        AnswerCase{"ClearAllBanksConfirmed", "/Q0001\\", "/Q0001\\"},
        AnswerCase{"SetOnceConfirmed", "/T0121 0000010\\", "/E0121\\"},
        AnswerCase{"SetDailyBankConfirmed", "/D0200 0100000\\", "/E0200\\"},
        AnswerCase{"SetWeeklyAllConfirmed", "/W0001 1672959\\", "/E0001\\"},
        AnswerCase{"SetFourDigitHoursConfirmed", "/T0111 10000000\\", "/E0111\\"},
        AnswerCase{"SwitchPortSilent", "/O011\\", ""},
        AnswerCase{"SwitchBankSilent", "/F020\\", ""},
        AnswerCase{"SwitchAllSilent", "/O000\\", ""},
        AnswerCase{"ClockSetSilent", "/SETTIME2026-12-07 09:05:03\\", ""},
        AnswerCase{"RestoreOnSilent", "/EN001\\", ""},
        AnswerCase{"RestoreOffSilent", "/DS001\\", ""},
        AnswerCase{"UpgradeChatterAndPrompt", "/UPGRADE\\",
                   "Firmware upgrade mode entered\r\nStart to upgrade firmware\r\nPlease send the file\r\n"},
        AnswerCase{"UnknownIgnored", "/HELLO\\", ""},
        AnswerCase{"ClearBankOutOfRangeIgnored", "/Q0321\\", ""},
        AnswerCase{"ClearAllBanksWithPortIgnored", "/Q0011\\", ""},
        AnswerCase{"ClearBadActionIgnored", "/Q0122\\", ""},
        AnswerCase{"SetPortNineIgnored", "/T0191 0000010\\", ""},
        AnswerCase{"SetMinutesOutOfRangeIgnored", "/T0121 0006000\\", ""},
        AnswerCase{"SetSecondsOutOfRangeIgnored", "/T0121 0000060\\", ""},
        AnswerCase{"SetTwoDigitHoursIgnored", "/T0121 000010\\", ""},
        AnswerCase{"SetBadLetterIgnored", "/X0121 0000010\\", ""},
        AnswerCase{"SetNoBlankIgnored", "/T01210000010\\", ""},
        AnswerCase{"ClockSetBadMonthIgnored", "/SETTIME2026-13-07 09:05:03\\", ""},
        AnswerCase{"SlashRestartsCommand", "/abc/uni\\", "/xyz\\"},
        AnswerCase{"TwoCommandsTwoAnswers", "/uni\\/Q0111\\", "/xyz\\/Q0111\\"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CommandAnswersSplit, CommandInPiecesAnsweredOnce) {
    UnitModel m(twoBanks());
    std::string out;
    for (char c : std::string("/uni\\")) out += m.feed(std::string(1, c));
    EXPECT_EQ(out, "/xyz\\");
    EXPECT_EQ(m.commands(), std::vector<std::string>{"uni"});
}

TEST(CommandAnswersVersions, MalformedVersionsReadAsDefault) {
    UnitConfig c;
    c.banks = 3;
    c.versions = {"12a3", "99999"};
    UnitModel m(c);
    EXPECT_EQ(m.feed("/VER\\"), "/V01 1203\\/V02 1203\\/V03 1203\\");
}

TEST(CommandAnswersBanks, BankCountClampedToSixteen) {
    for (int asked : {0, -3, 17, 99}) {
        UnitConfig c;
        c.banks = asked;
        UnitModel m(c);
        const auto lines = framedLines(m.feed("/C\\"));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front(), asked <= 0 ? "M1" : "M16") << asked;
    }
}

// --- switching ----------------------------------------------------------------

struct SwitchCase {
    const char* name;
    std::string commands;
    std::string bank1;
    std::string bank2;
};

class Switching : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(Switching, StatusLinesShowTheNewStates) {
    UnitModel m(twoBanks());
    EXPECT_EQ(m.feed(GetParam().commands), "");
    EXPECT_EQ(m.portStates(1), GetParam().bank1);
    EXPECT_EQ(m.portStates(2), GetParam().bank2);
    const auto lines = framedLines(m.feed("/C\\"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, 11), "S1 " + GetParam().bank1);
    EXPECT_EQ(lines[2].substr(0, 11), "S2 " + GetParam().bank2);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Switching,
    ::testing::Values(SwitchCase{"OnePortOn", "/O013\\", "CCOCCCCC", "CCCCCCCC"},
                      SwitchCase{"LastPortOfBankTwo", "/O028\\", "CCCCCCCC", "CCCCCCCO"},
                      SwitchCase{"BankOn", "/O020\\", "CCCCCCCC", "OOOOOOOO"},
                      SwitchCase{"AllOn", "/O000\\", "OOOOOOOO", "OOOOOOOO"},
                      SwitchCase{"AllOnThenOnePortOff", "/O000\\/F011\\", "COOOOOOO", "OOOOOOOO"},
                      SwitchCase{"AllOnThenBankOff", "/O000\\/F020\\", "OOOOOOOO", "CCCCCCCC"},
                      SwitchCase{"AllOnThenAllOff", "/O000\\/F000\\", "CCCCCCCC", "CCCCCCCC"},
                      SwitchCase{"BankOutOfRangeIgnored", "/O030\\/O031\\", "CCCCCCCC", "CCCCCCCC"},
                      SwitchCase{"PortNineIgnored", "/O019\\", "CCCCCCCC", "CCCCCCCC"},
                      SwitchCase{"AllBanksWithPortIgnored", "/O001\\", "CCCCCCCC", "CCCCCCCC"},
                      SwitchCase{"NonDigitIgnored", "/O0a1\\", "CCCCCCCC", "CCCCCCCC"}),
    [](const auto& row) { return std::string(row.param.name); });

// --- currents -----------------------------------------------------------------

struct CurrentCase {
    const char* name;
    int bank;
    std::vector<int> portsOn;
    std::string current;  // as the "C" line carries it
};

class Currents : public ::testing::TestWithParam<CurrentCase> {};

TEST_P(Currents, FollowThePortsThatAreOn) {
    UnitModel m(twoBanks(StatusForm::split));
    for (int p : GetParam().portsOn) m.feed(joined("/O0", std::to_string(GetParam().bank), std::to_string(p), "\\"));
    const auto lines = framedLines(m.feed("/C\\"));
    const std::string want = joined("C", std::to_string(GetParam().bank), " ", GetParam().current);
    EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << "missing " << want;
}

INSTANTIATE_TEST_SUITE_P(Sim, Currents,
                         ::testing::Values(CurrentCase{"NothingOn", 1, {}, "0.0"},
                                           CurrentCase{"SmallestLoad", 1, {1}, "0.4"},
                                           CurrentCase{"TwoLoadsAdd", 1, {3, 5}, "5.5"},
                                           CurrentCase{"WholeBankAboveTenAmperes", 1, {1, 2, 3, 4, 5, 6, 7, 8}, "12.7"},
                                           CurrentCase{"SecondBankDrawsMore", 2, {1}, "0.5"},
                                           CurrentCase{"SecondBankWhole", 2, {1, 2, 3, 4, 5, 6, 7, 8}, "13.5"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(CurrentsOff, SwitchingOffRemovesTheLoad) {
    UnitModel m(twoBanks());
    m.feed("/O010\\");
    EXPECT_EQ(m.bankCurrentTenths(1), 127);
    m.feed("/F015\\");
    EXPECT_EQ(m.bankCurrentTenths(1), 127 - UnitModel::portLoadTenths(1, 5));
    EXPECT_EQ(m.bankCurrentTenths(2), 0);
}

// --- status forms -------------------------------------------------------------

struct FormCase {
    const char* name;
    StatusForm form;
    std::vector<std::string> bank1Lines;
};

class StatusForms : public ::testing::TestWithParam<FormCase> {};

TEST_P(StatusForms, WordTheStatusAsChosen) {
    UnitConfig c = twoBanks(GetParam().form);
    c.banks = 1;
    UnitModel m(c);
    m.feed("/O011\\");
    m.setTimerFlag(1, 2, true);
    auto lines = framedLines(m.feed("/C\\"));
    lines.erase(lines.begin());  // "M1"
    EXPECT_EQ(lines, GetParam().bank1Lines);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, StatusForms,
    ::testing::Values(FormCase{"Split", StatusForm::split, {"S1 OCCCCCCC", "S1 GFGGGGGG", "C1 0.4"}},
                      FormCase{"Combined", StatusForm::combined, {"S1 OCCCCCCC GFGGGGGG 0.4"}},
                      FormCase{"FlagsFirst", StatusForm::combinedFlagsFirst, {"S1 GFGGGGGG OCCCCCCC 0.4"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(StatusFormsRotate, EveryBankGetsEveryFormWithinThreePolls) {
    UnitConfig c = twoBanks(StatusForm::rotate);
    UnitModel m(c);
    for (int bank = 1; bank <= 2; ++bank) {
        std::set<std::size_t> shapes;  // lines per bank: 3 split, 1 combined
        std::set<bool> flagsFirst;
        for (int poll = 0; poll < 3; ++poll) {
            UnitModel fresh(c);
            for (int i = 0; i < poll; ++i) fresh.feed("/C\\");
            const auto lines = framedLines(fresh.feed("/C\\"));
            std::vector<std::string> mine;
            for (const auto& l : lines)
                if (l.size() > 2 && (l[0] == 'S' || l[0] == 'C') && l[1] == char('0' + bank)) mine.push_back(l);
            shapes.insert(mine.size());
            if (mine.size() == 1) flagsFirst.insert(mine[0].substr(3, 1) == "G");
        }
        EXPECT_EQ(shapes, (std::set<std::size_t>{1, 3})) << "bank " << bank;
        EXPECT_EQ(flagsFirst, (std::set<bool>{false, true})) << "bank " << bank;
    }
}

// --- timers -------------------------------------------------------------------

std::vector<std::string> timerLines(UnitModel& m) {
    std::vector<std::string> out;
    for (const auto& l : framedLines(m.feed("/C\\")))
        if (l[0] == 'T' || l[0] == 'D' || l[0] == 'W') out.push_back(l);
    return out;
}

TEST(Timers, ReportCountsDownAndOnceOnlyFiresAndGoes) {
    UnitModel m(twoBanks());
    EXPECT_EQ(m.feed("/T0131 0000010\\"), "/E0131\\");
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"T0131 0000010"});
    m.advance(9000);
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"T0131 0000001"});
    m.advance(999);
    EXPECT_FALSE(m.portOn(1, 3));
    m.advance(1);
    EXPECT_TRUE(m.portOn(1, 3));
    EXPECT_TRUE(timerLines(m).empty());
}

TEST(Timers, ReportFieldsCarryHoursMinutesSeconds) {
    UnitModel m(twoBanks());
    m.feed("/D0211 1234530\\");
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"D0211 1234530"});
    m.advance(31000);
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"D0211 1234459"});
    m.advance((3600LL * 23 + 44 * 60 + 59) * 1000);
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"D0211 1000000"});
}

TEST(Timers, HoursBeyondThreeDigitsReportedAsNineHundredNinetyNine) {
    UnitModel m(twoBanks());
    m.feed("/W0111 12000000\\");
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"W0111 9990000"});
}

TEST(Timers, DailyAndWeeklyRearmAfterFiring) {
    struct Row {
        const char* name;
        std::string set;
        long long periodHours;
    };
    for (const Row& row : {Row{"daily", "/D0100 0000005\\", 24}, Row{"weekly", "/W0100 0000005\\", 168}}) {
        UnitModel m(twoBanks());
        m.feed("/O010\\");
        m.feed(row.set);
        m.advance(5000);
        EXPECT_EQ(m.portStates(1), "CCCCCCCC") << row.name;
        auto t = m.timer(1, 0, 0);
        ASSERT_TRUE(t) << row.name;
        EXPECT_EQ(m.secondsLeft(*t), row.periodHours * 3600) << row.name;
        m.feed("/O010\\");
        m.advance(row.periodHours * 3600 * 1000 - 1);
        EXPECT_EQ(m.portStates(1), "OOOOOOOO") << row.name;
        m.advance(1);
        EXPECT_EQ(m.portStates(1), "CCCCCCCC") << row.name;
    }
}

TEST(Timers, AllBanksTimerSwitchesEveryBank) {
    UnitModel m(twoBanks());
    m.feed("/T0001 0000006\\");
    m.advance(6000);
    EXPECT_EQ(m.portStates(1), "OOOOOOOO");
    EXPECT_EQ(m.portStates(2), "OOOOOOOO");
}

TEST(Timers, FireInTheOrderTheyFallDueWithinOneStep) {
    struct Row {
        const char* name;
        std::string first, second;
        bool onAtEnd;
    };
    for (const Row& row : {Row{"onThenOff", "/T0141 0000010\\", "/T0140 0000020\\", false},
                           Row{"offThenOn", "/T0140 0000010\\", "/T0141 0000020\\", true}}) {
        UnitModel m(twoBanks());
        m.feed(row.second);
        m.feed(row.first);
        m.advance(60000);
        EXPECT_EQ(m.portOn(1, 4), row.onAtEnd) << row.name;
    }
}

TEST(Timers, ClearsRemoveByScopeAndDirection) {
    struct Row {
        const char* name;
        std::string clear;
        std::vector<std::string> left;
    };
    const std::string setAll = "/T0111 0000100\\/T0110 0000100\\/T0121 0000100\\/T0101 0000100\\/T0211 0000100\\";
    for (const Row& row :
         {Row{"onePort", "/Q0111\\", {"T0101 0000100", "T0110 0000100", "T0121 0000100", "T0211 0000100"}},
          Row{"wholeBankOneDirection", "/Q0101\\", {"T0110 0000100", "T0211 0000100"}},
          Row{"allBanksOneDirection", "/Q0001\\", {"T0110 0000100"}},
          Row{"allBanksOtherDirection", "/Q0000\\", {"T0101 0000100", "T0111 0000100", "T0121 0000100", "T0211 0000100"}},
          Row{"nothingThere", "/Q0231\\", {"T0101 0000100", "T0110 0000100", "T0111 0000100", "T0121 0000100", "T0211 0000100"}}}) {
        UnitModel m(twoBanks());
        m.feed(setAll);
        EXPECT_EQ(m.feed(row.clear), joined("/", row.clear.substr(1, 5), "\\")) << row.name;
        EXPECT_EQ(timerLines(m), row.left) << row.name;
    }
}

TEST(Timers, SettingAgainReplacesTheTimer) {
    UnitModel m(twoBanks());
    m.feed("/T0151 0000100\\");
    m.feed("/D0151 0020000\\");
    EXPECT_EQ(timerLines(m), std::vector<std::string>{"D0151 0020000"});
}

// --- clock, restore flag ------------------------------------------------------

TEST(UnitClock, SetThenRunsOnAcrossTheYear) {
    struct Row {
        const char* name;
        std::string set;
        long long advanceMs;
        LocalMoment want;
    };
    for (const Row& row : {Row{"sameMinute", "/SETTIME2026-12-07 09:05:03\\", 0, {2026, 12, 7, 2, 9, 5, 3}},
                           Row{"minuteLater", "/SETTIME2026-12-07 09:05:03\\", 65500, {2026, 12, 7, 2, 9, 6, 8}},
                           Row{"newYear", "/SETTIME2026-12-31 23:59:59\\", 1000, {2027, 1, 1, 6, 0, 0, 0}},
                           Row{"leapDay", "/SETTIME2028-02-28 23:59:30\\", 30000, {2028, 2, 29, 3, 0, 0, 0}}}) {
        UnitModel m(twoBanks());
        m.feed(row.set);
        m.advance(row.advanceMs);
        EXPECT_EQ(m.clock(), row.want) << row.name;
    }
}

// The unit's timers fall due at moments of its own clock: a clock set moves
// what every timer report counts down, and a moment the clock jumps over
// has come.
TEST(UnitClock, SetMovesTheTimerCountdowns) {
    struct Row {
        const char* name;
        std::string set;          // clock set 10 s after the timers
        std::vector<std::string> reports;
        bool port1On;             // the once-only timer of port 1 fired
    };
    for (const Row& row : {
             Row{"sameTimeKeepsThem", "/SETTIME2026-12-07 09:00:10\\", {"T0111 0020000", "D0121 0030000"}, false},
             Row{"hourForwardShortensThem", "/SETTIME2026-12-07 10:00:10\\", {"T0111 0010000", "D0121 0020000"}, false},
             Row{"halfHourBackLengthensThem", "/SETTIME2026-12-07 08:30:10\\", {"T0111 0023000", "D0121 0033000"}, false},
             Row{"pastTheMomentFiresIt", "/SETTIME2026-12-07 11:30:10\\", {"D0121 0003000"}, true},
             Row{"pastTheDailyMomentRearmsIt", "/SETTIME2026-12-07 12:30:10\\", {"D0121 0233000"}, true}}) {
        UnitConfig c = twoBanks();
        c.clockStart = {2026, 12, 7, 2, 9, 0, 0};
        UnitModel m(c);
        m.feed("/T0111 0020010\\");  // 11:00:10 on the unit's clock
        m.feed("/D0121 0030010\\");  // 12:00:10 every day
        m.advance(10000);
        m.feed(row.set);
        EXPECT_EQ(timerLines(m), row.reports) << row.name;
        EXPECT_EQ(m.portOn(1, 1), row.port1On) << row.name;
    }
}

TEST(UnitClock, SetBetweenSecondsCountsTheMillisecondsGone) {
    UnitConfig c = twoBanks();
    c.clockStart = {2026, 12, 7, 2, 9, 0, 0};
    UnitModel m(c);
    m.feed("/T0111 0000010\\");
    m.advance(2500);                       // the clock reads 09:00:02 and a half
    m.feed("/SETTIME2026-12-07 09:00:02\\");  // the half second is taken back
    m.advance(7999);
    EXPECT_FALSE(m.portOn(1, 1));
    m.advance(1);
    EXPECT_TRUE(m.portOn(1, 1));
}

TEST(UnitClock, DeadBatteryLosesTheSetTimeAtAPowerCycle) {
    for (bool fault : {false, true}) {
        UnitConfig c = twoBanks();
        c.clockStart = {2025, 1, 1, 4, 0, 0, 0};
        c.faults.clockError = fault;
        UnitModel m(c);
        EXPECT_EQ(m.feed("/SETTIME2026-12-07 09:05:03\\"), fault ? "/err\\" : "");
        m.powerCycle();
        const LocalMoment kept{2026, 12, 7, 2, 9, 5, 3};
        EXPECT_EQ(m.clock(), fault ? c.clockStart : kept) << fault;
    }
}

TEST(UnitClock, MalformedSetLeavesTheClock) {
    for (const char* bad : {"/SETTIME2026-02-30 09:05:03\\", "/SETTIME2026-12-07 24:00:00\\", "/SETTIME1926-12-07 09:05:03\\",
                            "/SETTIME2026-12-07T09:05:03\\", "/SETTIME2026-12-07 09:05:3\\"}) {
        UnitConfig c = twoBanks();
        c.clockStart = {2025, 1, 1, 4, 12, 0, 0};
        UnitModel m(c);
        EXPECT_EQ(m.feed(bad), "") << bad;
        EXPECT_EQ(m.clock(), c.clockStart) << bad;
    }
}

TEST(RestoreFlag, DecidesWhatSurvivesAPowerCycle) {
    struct Row {
        const char* command;
        bool restore;
        std::string after;
    };
    for (const Row& row : {Row{"/EN001\\", true, "OOCCCCCC"}, Row{"/DS001\\", false, "CCCCCCCC"}}) {
        UnitModel m(twoBanks());
        m.feed("/EN001\\/DS001\\");  // both ways once, the last one counts
        m.feed(row.command);
        EXPECT_EQ(m.restoreOnStart(), row.restore) << row.command;
        m.feed("/O011\\/O012\\");
        m.powerCycle();
        EXPECT_EQ(m.portStates(1), row.after) << row.command;
    }
}

}  // namespace
