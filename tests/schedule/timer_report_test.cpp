// The unit's timer reports and confirmations as they land in the tables.
#include "schedule/timer_tables.h"
#include "schedule_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace velmora;
using velmora::testing::onWeekday;

namespace {

constexpr TableId kAllTables[] = {TableId::LiveOn, TableId::LiveOff, TableId::EditOn,
                                  TableId::EditOff};

struct AllTables {
    TimerTable t[4];
    friend bool operator==(const AllTables&, const AllTables&) = default;
};

AllTables snapshotAll(const TimerTables& tables) {
    AllTables a;
    for (int i = 0; i < 4; ++i) a.t[i] = tables.snapshot(kAllTables[i]);
    return a;
}

TimerTable& tableOf(AllTables& a, TableId id) { return a.t[static_cast<int>(id)]; }

// ---------------------------------------------------------------- addresses

struct AddressCase {
    const char* name;
    int bankNo, portNo;
    std::int32_t scope;
    int bank, port;
    bool inside;
};

class ScopeAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ScopeAddressTest, DigitsGiveScopeAndIndexes) {
    const AddressCase& c = GetParam();
    const WireAddress a = scopeAddress(c.bankNo, c.portNo);
    EXPECT_EQ(a.scope, c.scope);
    EXPECT_EQ(a.bank, c.bank);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(insideTables(a), c.inside);
}

INSTANTIATE_TEST_SUITE_P(
    Wire, ScopeAddressTest,
    ::testing::Values(
        AddressCase{"OnePort", 2, 3, ScopePort, 1, 2, true},
        AddressCase{"FirstPortOfFirstBank", 1, 1, ScopePort, 0, 0, true},
        AddressCase{"LastPortOfLastBank", 16, 8, ScopePort, 15, 7, true},
        AddressCase{"WholeBank", 5, 0, ScopeBank, 4, 0, true},
        AddressCase{"WholeLastBank", 16, 0, ScopeBank, 15, 0, true},
        AddressCase{"AllBanks", 0, 0, ScopeAllBanks, 0, 0, true},
        AddressCase{"BankZeroWithPortIsOutside", 0, 4, ScopePort, -1, 3, false},
        AddressCase{"Bank17IsOutside", 17, 1, ScopePort, 16, 0, false},
        AddressCase{"WholeBank17IsOutside", 17, 0, ScopeBank, 16, 0, false},
        AddressCase{"Bank99IsOutside", 99, 0, ScopeBank, 98, 0, false},
        AddressCase{"Port9IsOutside", 1, 9, ScopePort, 0, 8, false},
        AddressCase{"NegativeBankIsOutside", -1, 0, ScopeBank, -2, 0, false},
        AddressCase{"NegativePortIsOutside", 1, -1, ScopePort, 0, -2, false}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------------ timer reports

struct ReportCase {
    const char* name;
    char letter;
    int bankNo, portNo, dir;
    int hours, minutes, seconds;
    LocalMoment now;
    // where it lands
    TableId live, edit;
    int bank, port;
    // what the entry must hold afterwards
    std::int32_t scope, kind, weekday, hour, minute, baseSecond;
};

class RecordReportTest : public ::testing::TestWithParam<ReportCase> {};

TEST_P(RecordReportTest, StoresLiveEntryAndCopiesItToEdit) {
    const ReportCase& c = GetParam();
    TimerTables tables;
    // Marks the dialog or the status redraw set must survive a report.
    TimerEntry before;
    before.pending = 1;
    before.invalid = 1;
    before.scope = ScopeClearBankThenPort;
    before.hour = 77;
    tables.setEntry(c.live, c.bank, c.port, before);
    AllTables expectedOthers = snapshotAll(tables);

    ASSERT_TRUE(tables.RecordReport(c.letter, c.bankNo, c.portNo, c.dir, c.hours, c.minutes,
                                    c.seconds, c.now));

    TimerEntry want;
    setSinceDate(want, std::to_string(c.now.year) + "/" + std::to_string(c.now.month) + "/" +
                           std::to_string(c.now.day));
    want.pending = 1;
    want.enabled = 1;
    want.invalid = 1;
    want.scope = c.scope;
    want.kind = c.kind;
    want.weekday = c.weekday;
    want.hour = c.hour;
    want.minute = c.minute;
    want.baseWeekday = c.now.weekday;
    want.baseHour = c.now.hour;
    want.baseMinute = c.now.minute;
    want.baseSecond = c.baseSecond;
    EXPECT_EQ(tables.entry(c.live, c.bank, c.port), want);
    EXPECT_EQ(tables.entry(c.edit, c.bank, c.port), want);

    // Nothing else moves.
    tableOf(expectedOthers, c.live)[c.bank][c.port] = want;
    tableOf(expectedOthers, c.edit)[c.bank][c.port] = want;
    EXPECT_EQ(snapshotAll(tables), expectedOthers);
}

constexpr TableId On = TableId::LiveOn, EOn = TableId::EditOn;
constexpr TableId Off = TableId::LiveOff, EOff = TableId::EditOff;

INSTANTIATE_TEST_SUITE_P(
    Unit, RecordReportTest,
    ::testing::Values(
        // letter bank port dir  h  m  s  now                      tables   b  p  scope kind weekday hour min bs
        ReportCase{"OnceBeyondADayBecomesDelay", 'T', 1, 1, 1, 30, 10, 0, onWeekday(3, 12, 0, 0),
                   On, EOn, 0, 0, ScopePort, KindAfter, 0, 30, 10, 0},
        ReportCase{"OnceWithinADayBecomesTimeOfDayWithoutWeekday", 'T', 2, 4, 1, 2, 50, 0,
                   onWeekday(3, 22, 30, 0), On, EOn, 1, 3, ScopePort, KindAt, 0, 1, 20, 0},
        ReportCase{"WeeklyFromSaturdayEveningLandsOnMonday", 'W', 3, 8, 0, 50, 0, 0,
                   onWeekday(7, 20, 0, 0), Off, EOff, 2, 7, ScopePort, KindEveryWeek, 2, 22, 0, 0},
        ReportCase{"WeeklyLaterTodayKeepsToday", 'W', 1, 2, 1, 0, 0, 0, onWeekday(4, 10, 0, 0), On,
                   EOn, 0, 1, ScopePort, KindEveryWeek, 4, 10, 0, 0},
        ReportCase{"WeeklyPastMidnightSaturdayWrapsToSunday", 'W', 1, 2, 1, 3, 0, 0,
                   onWeekday(7, 22, 0, 0), On, EOn, 0, 1, ScopePort, KindEveryWeek, 1, 1, 0, 0},
        ReportCase{"WeeklyAlmostAWeekAheadWithCarries", 'W', 1, 3, 1, 167, 59, 59,
                   onWeekday(7, 23, 59, 59), On, EOn, 0, 2, ScopePort, KindEveryWeek, 7, 23, 59, 58},
        ReportCase{"SecondsCarryIntoMinute", 'T', 1, 1, 1, 0, 10, 45, onWeekday(2, 9, 0, 30), On,
                   EOn, 0, 0, ScopePort, KindAt, 0, 9, 11, 15},
        ReportCase{"SecondsCarryIntoNextHour", 'D', 1, 1, 1, 0, 59, 50, onWeekday(2, 10, 0, 20),
                   On, EOn, 0, 0, ScopePort, KindEveryDay, 0, 11, 0, 10},
        ReportCase{"DailyPastMidnightHasNoWeekday", 'D', 1, 1, 0, 1, 0, 0, onWeekday(5, 23, 30, 0),
                   Off, EOff, 0, 0, ScopePort, KindEveryDay, 0, 0, 30, 0},
        ReportCase{"OnceJustUnderADayStaysTimeOfDay", 'T', 1, 1, 1, 23, 59, 0,
                   onWeekday(2, 10, 0, 0), On, EOn, 0, 0, ScopePort, KindAt, 0, 9, 59, 0},
        ReportCase{"OnceReaching24HoursAfterSecondsCarryBecomesDelay", 'T', 1, 1, 1, 23, 59, 30,
                   onWeekday(2, 10, 0, 40), On, EOn, 0, 0, ScopePort, KindAfter, 0, 24, 0, 10},
        ReportCase{"LargestNumbersTheLineCarries", 'T', 1, 1, 1, 999, 99, 99,
                   onWeekday(1, 0, 0, 0), On, EOn, 0, 0, ScopePort, KindAfter, 0, 1000, 40, 39},
        ReportCase{"SecondsOfTwoMinutesCarryTwice", 'D', 1, 1, 1, 0, 0, 99, onWeekday(1, 8, 0, 59),
                   On, EOn, 0, 0, ScopePort, KindEveryDay, 0, 8, 2, 38},
        ReportCase{"WholeBankGoesToPortZeroWithBankScope", 'D', 4, 0, 1, 1, 0, 0,
                   onWeekday(2, 8, 0, 0), On, EOn, 3, 0, ScopeBank, KindEveryDay, 0, 9, 0, 0},
        ReportCase{"AllBanksGoesToFirstBankPortZero", 'W', 0, 0, 0, 1, 0, 0, onWeekday(2, 8, 0, 0),
                   Off, EOff, 0, 0, ScopeAllBanks, KindEveryWeek, 2, 9, 0, 0},
        ReportCase{"LastBankLastPort", 'T', 16, 8, 1, 0, 5, 0, onWeekday(2, 8, 0, 0), On, EOn, 15,
                   7, ScopePort, KindAt, 0, 8, 5, 0},
        ReportCase{"AnyNonZeroDirectionIsPowerOn", 'T', 1, 1, 9, 0, 5, 0, onWeekday(2, 8, 0, 0),
                   On, EOn, 0, 0, ScopePort, KindAt, 0, 8, 5, 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(RecordReport, StampsTodaysDateWithoutLeadingZeros) {
    TimerTables tables;
    ASSERT_TRUE(tables.RecordReport('D', 1, 1, 1, 1, 0, 0,
                                    LocalMoment{2026, 3, 7, 7, 8, 0, 0}));
    EXPECT_STREQ(tables.entry(TableId::LiveOn, 0, 0).sinceDate, "2026/3/7");
    EXPECT_STREQ(tables.entry(TableId::EditOn, 0, 0).sinceDate, "2026/3/7");
}

struct IgnoredReportCase {
    const char* name;
    char letter;
    int bankNo, portNo, dir, hours, minutes, seconds;
};

class IgnoredReportTest : public ::testing::TestWithParam<IgnoredReportCase> {};

TEST_P(IgnoredReportTest, ChangesNothing) {
    const IgnoredReportCase& c = GetParam();
    TimerTables tables;
    // Something in every table, so that a stray write would show.
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < kMaxBanks; ++b)
            for (int p = 0; p < kPortsPerBank; ++p)
                tables.setEntry(kAllTables[i], b, p, velmora::testing::enabledTimer(KindAt, b, p));
    const AllTables before = snapshotAll(tables);
    EXPECT_FALSE(tables.RecordReport(c.letter, c.bankNo, c.portNo, c.dir, c.hours, c.minutes,
                                     c.seconds, onWeekday(3, 12, 0, 0)));
    EXPECT_EQ(snapshotAll(tables), before);
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, IgnoredReportTest,
    ::testing::Values(IgnoredReportCase{"UnknownLetter", 'X', 1, 1, 1, 1, 0, 0},
                      IgnoredReportCase{"ConfirmationLetter", 'E', 1, 1, 1, 1, 0, 0},
                      IgnoredReportCase{"LowerCaseLetter", 't', 1, 1, 1, 1, 0, 0},
                      IgnoredReportCase{"NulLetter", '\0', 1, 1, 1, 1, 0, 0},
                      IgnoredReportCase{"Bank17", 'T', 17, 1, 1, 1, 0, 0},
                      IgnoredReportCase{"WholeBank17", 'T', 17, 0, 1, 1, 0, 0},
                      IgnoredReportCase{"Bank99", 'W', 99, 0, 0, 1, 0, 0},
                      IgnoredReportCase{"BankZeroWithPort", 'T', 0, 3, 1, 1, 0, 0},
                      IgnoredReportCase{"NegativeBank", 'T', -1, 0, 1, 1, 0, 0},
                      IgnoredReportCase{"Port9", 'T', 1, 9, 1, 1, 0, 0},
                      IgnoredReportCase{"NegativePort", 'T', 1, -3, 1, 1, 0, 0},
                      IgnoredReportCase{"NegativeHours", 'T', 1, 1, 1, -5, 0, 0},
                      IgnoredReportCase{"NegativeMinutes", 'D', 1, 1, 1, 0, -1, 0},
                      IgnoredReportCase{"NegativeSeconds", 'W', 1, 1, 1, 0, 0, -9},
                      IgnoredReportCase{"HoursBeyondThreeDigits", 'T', 1, 1, 1, 1000, 0, 0},
                      IgnoredReportCase{"MinutesBeyondTwoDigits", 'T', 1, 1, 1, 1, 100, 0},
                      IgnoredReportCase{"SecondsBeyondTwoDigits", 'T', 1, 1, 1, 1, 0, 100},
                      IgnoredReportCase{"HugeHours", 'T', 1, 1, 1, INT_MAX, 0, 0},
                      IgnoredReportCase{"MostNegativeMinutes", 'D', 1, 1, 1, 0, INT_MIN, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// A clock reading no real clock gives must still not make the arithmetic
// go out of range.
TEST(RecordReport, OddClockReadingsStayInRange) {
    const LocalMoment odd[] = {{2026, 3, 1, 0, 0, 0, 0},       {2026, 3, 1, -3, 25, 70, 75},
                               {2026, 3, 1, INT_MAX, 23, 59, 59}, {2026, 3, 1, INT_MIN, 0, 0, 0},
                               {2026, 3, 1, 7, INT_MIN, INT_MIN, INT_MIN},
                               {INT_MIN, INT_MIN, INT_MIN, 7, INT_MAX, INT_MAX, INT_MAX}};
    for (const LocalMoment& now : odd) {
        for (char letter : {'T', 'D', 'W'}) {
            TimerTables tables;
            ASSERT_TRUE(tables.RecordReport(letter, 1, 1, 1, 999, 99, 99, now));
            const TimerEntry e = tables.entry(TableId::LiveOn, 0, 0);
            EXPECT_GE(e.weekday, 0);
            EXPECT_LE(e.weekday, 7);
            EXPECT_GE(e.minute, 0);
            EXPECT_LT(e.minute, 60);
            EXPECT_GE(e.baseSecond, 0);
            EXPECT_LT(e.baseSecond, 60);
            EXPECT_EQ(e.sinceDate[sizeof e.sinceDate - 1], '\0');
        }
    }
}

// ----------------------------------------------------------- confirmations

// Seed for the confirmation cases, the same in both directions:
//  - every entry enabled, with hour = bank index and minute = port index;
//  - port index 0 carries an all-banks copy (scope 1) in banks 0, 1, 2, 5
//    and 15 of both tables, a bank entry (scope 2) in bank 3;
//  - bank 4: only the edit entry has scope 1; bank 6: only the live one.
void seedForConfirmations(TimerTables& tables) {
    for (TableId id : kAllTables) {
        const bool live = id == TableId::LiveOn || id == TableId::LiveOff;
        for (int b = 0; b < kMaxBanks; ++b) {
            for (int p = 0; p < kPortsPerBank; ++p) {
                TimerEntry e = velmora::testing::enabledTimer(KindEveryDay, b, p);
                if (p == 0) {
                    if (b == 0 || b == 1 || b == 2 || b == 5 || b == 15) e.scope = ScopeAllBanks;
                    if (b == 3) e.scope = ScopeBank;
                    if (b == 4 && !live) e.scope = ScopeAllBanks;
                    if (b == 6 && live) e.scope = ScopeAllBanks;
                }
                tables.setEntry(id, b, p, e);
            }
        }
    }
}

struct Cell {
    int bank, port;
};

struct ClearCase {
    const char* name;
    int bankNo, portNo, dir, bankCount;
    std::optional<int> result;
    std::vector<Cell> cleared;       // enabled 0, scope 0 in live and edit of the direction
    std::vector<int> remarkedBanks;  // port index 0 gets scope 2 in live and edit
};

class ConfirmClearTest : public ::testing::TestWithParam<ClearCase> {};

TEST_P(ConfirmClearTest, DisablesAddressedEntriesAndRemarksAllBankCopies) {
    const ClearCase& c = GetParam();
    TimerTables tables;
    seedForConfirmations(tables);
    AllTables want = snapshotAll(tables);

    EXPECT_EQ(tables.ConfirmClear(c.bankNo, c.portNo, c.dir, c.bankCount), c.result);

    const TableId live = c.dir != 0 ? TableId::LiveOn : TableId::LiveOff;
    const TableId edit = c.dir != 0 ? TableId::EditOn : TableId::EditOff;
    for (TableId id : {live, edit}) {
        for (const Cell& cell : c.cleared) {
            tableOf(want, id)[cell.bank][cell.port].enabled = 0;
            tableOf(want, id)[cell.bank][cell.port].scope = ScopePort;
        }
        for (int b : c.remarkedBanks) tableOf(want, id)[b][0].scope = ScopeBank;
    }
    EXPECT_EQ(snapshotAll(tables), want);
}

std::vector<Cell> wholeBank(int b) {
    std::vector<Cell> cells;
    for (int p = 0; p < kPortsPerBank; ++p) cells.push_back({b, p});
    return cells;
}

INSTANTIATE_TEST_SUITE_P(
    Unit, ConfirmClearTest,
    ::testing::Values(
        ClearCase{"AllBanksClearsBankZeroAndRemarksCopiesBelowBankCount", 0, 0, 1, 7, 0,
                  wholeBank(0), {1, 2, 5, 6}},
        ClearCase{"AllBanksPowerOff", 0, 0, 0, 7, 0, wholeBank(0), {1, 2, 5, 6}},
        ClearCase{"WholeBankAlsoRemarksAllBankCopies", 3, 0, 1, 16, 2, wholeBank(2),
                  {0, 1, 5, 6, 15}},
        ClearCase{"BankCountAbove16StopsAtTheTables", 0, 0, 1, 99, 0, wholeBank(0),
                  {1, 2, 5, 6, 15}},
        ClearCase{"HugeBankCount", 0, 0, 1, INT_MAX, 0, wholeBank(0), {1, 2, 5, 6, 15}},
        ClearCase{"BankCountZeroRemarksNothing", 0, 0, 1, 0, 0, wholeBank(0), {}},
        ClearCase{"NegativeBankCountRemarksNothing", 2, 0, 1, -4, 1, wholeBank(1), {}},
        ClearCase{"BankCountCutsBeforeALaterCopy", 0, 0, 1, 5, 0, wholeBank(0), {1, 2}},
        ClearCase{"OnePortTouchesOnlyThatEntry", 6, 1, 1, 16, 5, {{5, 0}}, {}},
        ClearCase{"LastPortOfLastBank", 16, 8, 0, 16, 15, {{15, 7}}, {}},
        ClearCase{"AnyNonZeroDirectionIsPowerOn", 2, 3, 4, 16, 1, {{1, 2}}, {}},
        ClearCase{"Bank17Ignored", 17, 0, 1, 16, std::nullopt, {}, {}},
        ClearCase{"BankZeroWithPortIgnored", 0, 3, 1, 16, std::nullopt, {}, {}},
        ClearCase{"Port9Ignored", 1, 9, 1, 16, std::nullopt, {}, {}},
        ClearCase{"NegativeBankIgnored", -2, 0, 1, 16, std::nullopt, {}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

struct SetCase {
    const char* name;
    int bankNo, portNo, dir;
    std::optional<int> result;
    int bank, port;
    std::int32_t scope;
};

class ConfirmSetTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(ConfirmSetTest, EnablesAddressedEntryWithItsScope) {
    const SetCase& c = GetParam();
    TimerTables tables;
    // As the transfer leaves them: sent entries disabled, an old scope code.
    for (TableId id : kAllTables)
        for (int b = 0; b < kMaxBanks; ++b)
            for (int p = 0; p < kPortsPerBank; ++p) {
                TimerEntry e = velmora::testing::timer(KindAt, b, p);
                e.scope = ScopeClearBankThenPort;
                tables.setEntry(id, b, p, e);
            }
    AllTables want = snapshotAll(tables);

    EXPECT_EQ(tables.ConfirmSet(c.bankNo, c.portNo, c.dir), c.result);

    if (c.result) {
        for (TableId id : c.dir != 0 ? std::vector{TableId::LiveOn, TableId::EditOn}
                                     : std::vector{TableId::LiveOff, TableId::EditOff}) {
            tableOf(want, id)[c.bank][c.port].enabled = 1;
            tableOf(want, id)[c.bank][c.port].scope = c.scope;
        }
    }
    EXPECT_EQ(snapshotAll(tables), want);
}

INSTANTIATE_TEST_SUITE_P(
    Unit, ConfirmSetTest,
    ::testing::Values(SetCase{"OnePort", 2, 5, 1, 1, 1, 4, ScopePort},
                      SetCase{"WholeBank", 4, 0, 1, 3, 3, 0, ScopeBank},
                      SetCase{"AllBanks", 0, 0, 1, 0, 0, 0, ScopeAllBanks},
                      SetCase{"PowerOff", 1, 1, 0, 0, 0, 0, ScopePort},
                      SetCase{"LastBankLastPort", 16, 8, 0, 15, 15, 7, ScopePort},
                      SetCase{"Bank17Ignored", 17, 1, 1, std::nullopt, 0, 0, 0},
                      SetCase{"BankZeroWithPortIgnored", 0, 1, 1, std::nullopt, 0, 0, 0},
                      SetCase{"Port9Ignored", 3, 9, 0, std::nullopt, 0, 0, 0}),
    [](const auto& row) { return std::string(row.param.name); });

// ------------------------------------------------------- governing entries

struct EffectiveCase {
    const char* name;
    std::int32_t portZeroScope;
    int port;
    bool bankEntryGoverns;
};

class EffectiveEntryTest : public ::testing::TestWithParam<EffectiveCase> {};

TEST_P(EffectiveEntryTest, PortZeroGovernsOnlyForBankWideScopes) {
    const EffectiveCase& c = GetParam();
    TimerTables tables;
    constexpr int bank = 2;
    for (int p = 0; p < kPortsPerBank; ++p) {
        TimerEntry e = velmora::testing::enabledTimer(KindAt, 10 + p, p);
        if (p == 0) e.scope = c.portZeroScope;
        tables.setEntry(TableId::LiveOff, bank, p, e);
    }
    const TimerEntry want = tables.entry(TableId::LiveOff, bank, c.bankEntryGoverns ? 0 : c.port);
    EXPECT_EQ(tables.EffectiveEntry(TableId::LiveOff, bank, c.port), want);
    // The other direction and the other banks are not consulted.
    EXPECT_EQ(tables.EffectiveEntry(TableId::LiveOn, bank, c.port), TimerEntry{});
    EXPECT_EQ(tables.EffectiveEntry(TableId::LiveOff, bank + 1, c.port), TimerEntry{});
}

INSTANTIATE_TEST_SUITE_P(
    Scopes, EffectiveEntryTest,
    ::testing::Values(EffectiveCase{"BankScopeGovernsPort1", ScopeBank, 1, true},
                      EffectiveCase{"BankScopeGovernsPort8", ScopeBank, 7, true},
                      EffectiveCase{"BankScopeGovernsPortZeroItself", ScopeBank, 0, true},
                      EffectiveCase{"AllBanksScopeGoverns", ScopeAllBanks, 4, true},
                      EffectiveCase{"PortScopeLeavesOwnEntry", ScopePort, 4, false},
                      EffectiveCase{"ClearAllCodeLeavesOwnEntry", ScopeClearAll, 4, false},
                      EffectiveCase{"ClearBankCodeLeavesOwnEntry", ScopeClearBank, 4, false},
                      EffectiveCase{"ClearThenPortCodeLeavesOwnEntry", ScopeClearBankThenPort, 4,
                                    false},
                      EffectiveCase{"GarbageScopeLeavesOwnEntry", -7, 4, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(EffectiveEntry, OutsideTheTablesIsEmpty) {
    TimerTables tables;
    for (int b = 0; b < kMaxBanks; ++b)
        for (int p = 0; p < kPortsPerBank; ++p)
            tables.setEntry(TableId::LiveOn, b, p, velmora::testing::enabledTimer(KindAt, 1, 1));
    const Cell outside[] = {{-1, 0}, {16, 0}, {0, -1}, {0, 8}, {INT_MIN, INT_MAX}};
    for (const Cell& c : outside) {
        EXPECT_EQ(tables.EffectiveEntry(TableId::LiveOn, c.bank, c.port), TimerEntry{});
        EXPECT_EQ(tables.entry(TableId::LiveOn, c.bank, c.port), TimerEntry{});
        EXPECT_FALSE(tables.portEntries(c.bank, c.port).has_value());
    }
}

}  // namespace
