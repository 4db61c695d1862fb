// Whole-table copies and clears, bounds, and the tables shared between the
// reader thread and the UI thread.
#include "schedule/timer_arithmetic.h"
#include "schedule/timer_tables.h"
#include "schedule_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <string>
#include <thread>

using namespace velmora;
using velmora::testing::enabledTimer;
using velmora::testing::onWeekday;

namespace {

constexpr TableId kAllTables[] = {TableId::LiveOn, TableId::LiveOff, TableId::EditOn,
                                  TableId::EditOff};

int indexOf(TableId id) { return static_cast<int>(id); }

// Entry that says where it was put: hour = table, minute = bank, weekday = port.
TimerEntry marker(TableId id, int bank, int port) {
    TimerEntry e = enabledTimer(KindEveryWeek, indexOf(id), bank, port);
    e.scope = ScopePort;
    return e;
}

void seedMarkers(TimerTables& tables) {
    for (TableId id : kAllTables)
        for (int b = 0; b < kMaxBanks; ++b)
            for (int p = 0; p < kPortsPerBank; ++p) tables.setEntry(id, b, p, marker(id, b, p));
}

// What each bank of each table must hold after an operation.
enum class Holds { own, liveCounterpart, editCounterpart, zero };

TableId counterpart(TableId id) {
    switch (id) {
    case TableId::LiveOn:
        return TableId::EditOn;
    case TableId::EditOn:
        return TableId::LiveOn;
    case TableId::LiveOff:
        return TableId::EditOff;
    case TableId::EditOff:
        break;
    }
    return TableId::LiveOff;
}

struct WholeTableCase {
    const char* name;
    std::function<void(TimerTables&)> op;
    // Banks [first, end) of the tables named in `changed` hold `holds`; all
    // the rest keep their own markers.
    int first, end;
    std::vector<TableId> changed;
    Holds holds;
};

class WholeTableTest : public ::testing::TestWithParam<WholeTableCase> {};

TEST_P(WholeTableTest, TouchesOnlyTheCountedBanks) {
    const WholeTableCase& c = GetParam();
    TimerTables tables;
    seedMarkers(tables);
    c.op(tables);
    for (TableId id : kAllTables) {
        const TimerTable t = tables.snapshot(id);
        const bool changedTable = std::find(c.changed.begin(), c.changed.end(), id) != c.changed.end();
        for (int b = 0; b < kMaxBanks; ++b) {
            const bool inRange = changedTable && b >= c.first && b < c.end;
            for (int p = 0; p < kPortsPerBank; ++p) {
                TimerEntry want = marker(id, b, p);
                if (inRange) {
                    if (c.holds == Holds::zero) want = TimerEntry{};
                    else want = marker(counterpart(id), b, p);
                }
                EXPECT_EQ(t[b][p], want) << "table " << indexOf(id) << " bank " << b << " port " << p;
            }
        }
    }
}

const std::vector<TableId> kEdit{TableId::EditOn, TableId::EditOff};
const std::vector<TableId> kLive{TableId::LiveOn, TableId::LiveOff};
const std::vector<TableId> kFour{TableId::LiveOn, TableId::LiveOff, TableId::EditOn, TableId::EditOff};

INSTANTIATE_TEST_SUITE_P(
    Bounds, WholeTableTest,
    ::testing::Values(
        WholeTableCase{"LiveToEditThreeBanks", [](TimerTables& tables) { tables.copyLiveToEdit(3); }, 0, 3, kEdit, Holds::liveCounterpart},
        WholeTableCase{"LiveToEditSixteenBanks", [](TimerTables& tables) { tables.copyLiveToEdit(16); }, 0, 16, kEdit, Holds::liveCounterpart},
        WholeTableCase{"LiveToEditSeventeenBanksStopsAtSixteen", [](TimerTables& tables) { tables.copyLiveToEdit(17); }, 0, 16, kEdit, Holds::liveCounterpart},
        WholeTableCase{"LiveToEditHugeBankCount", [](TimerTables& tables) { tables.copyLiveToEdit(INT_MAX); }, 0, 16, kEdit, Holds::liveCounterpart},
        WholeTableCase{"LiveToEditNoBanks", [](TimerTables& tables) { tables.copyLiveToEdit(0); }, 0, 0, kEdit, Holds::liveCounterpart},
        WholeTableCase{"LiveToEditNegativeBankCount", [](TimerTables& tables) { tables.copyLiveToEdit(-5); }, 0, 0, kEdit, Holds::liveCounterpart},
        WholeTableCase{"EditToLiveTwoBanks", [](TimerTables& tables) { tables.copyEditToLive(2); }, 0, 2, kLive, Holds::editCounterpart},
        WholeTableCase{"EditToLiveNinetyNineBanks", [](TimerTables& tables) { tables.copyEditToLive(99); }, 0, 16, kLive, Holds::editCounterpart},
        WholeTableCase{"EditToLiveMostNegative", [](TimerTables& tables) { tables.copyEditToLive(INT_MIN); }, 0, 0, kLive, Holds::editCounterpart},
        WholeTableCase{"OneDirectionPowerOnOnly", [](TimerTables& tables) { tables.copyTable(TableId::EditOn, TableId::LiveOn, 4); }, 0, 4, {TableId::LiveOn}, Holds::editCounterpart},
        WholeTableCase{"OneDirectionPowerOffBeyondTables", [](TimerTables& tables) { tables.copyTable(TableId::LiveOff, TableId::EditOff, 40); }, 0, 16, {TableId::EditOff}, Holds::liveCounterpart},
        WholeTableCase{"CopyOntoItselfChangesNothing", [](TimerTables& tables) { tables.copyTable(TableId::LiveOn, TableId::LiveOn, 16); }, 0, 0, {}, Holds::zero},
        WholeTableCase{"ClearAllThreeBanks", [](TimerTables& tables) { tables.clearAll(3); }, 0, 3, kFour, Holds::zero},
        WholeTableCase{"ClearAllSeventeenBanks", [](TimerTables& tables) { tables.clearAll(17); }, 0, 16, kFour, Holds::zero},
        WholeTableCase{"ClearAllNoBanks", [](TimerTables& tables) { tables.clearAll(0); }, 0, 0, kFour, Holds::zero},
        WholeTableCase{"ClearAllNegative", [](TimerTables& tables) { tables.clearAll(-1); }, 0, 0, kFour, Holds::zero},
        WholeTableCase{"ClearBanksThatWentAway", [](TimerTables& tables) { tables.clearBanksFrom(2, 5); }, 2, 5, kFour, Holds::zero},
        WholeTableCase{"ClearBanksFromNegativeStartsAtZero", [](TimerTables& tables) { tables.clearBanksFrom(-3, 2); }, 0, 2, kFour, Holds::zero},
        WholeTableCase{"ClearBanksBeyondTablesStopsAtSixteen", [](TimerTables& tables) { tables.clearBanksFrom(14, 30); }, 14, 16, kFour, Holds::zero},
        WholeTableCase{"ClearBanksStartingBeyondTables", [](TimerTables& tables) { tables.clearBanksFrom(20, 30); }, 0, 0, kFour, Holds::zero},
        WholeTableCase{"ClearBanksEmptyRange", [](TimerTables& tables) { tables.clearBanksFrom(5, 3); }, 0, 0, kFour, Holds::zero},
        WholeTableCase{"ClearBanksExtremes", [](TimerTables& tables) { tables.clearBanksFrom(INT_MIN, INT_MAX); }, 0, 16, kFour, Holds::zero}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(TimerTables, SetEntryOutsideTheTablesChangesNothing) {
    TimerTables tables;
    seedMarkers(tables);
    const TimerTable before = tables.snapshot(TableId::EditOn);
    const int cells[][2] = {{-1, 0}, {16, 0}, {0, -1}, {0, 8}, {INT_MIN, INT_MAX}, {INT_MAX, 0}};
    for (const auto& c : cells) {
        EXPECT_FALSE(tables.setEntry(TableId::EditOn, c[0], c[1], enabledTimer(KindAt, 1, 1)));
        EXPECT_FALSE(tables.setInvalid(c[0], c[1], true));
    }
    EXPECT_EQ(tables.snapshot(TableId::EditOn), before);
}

TEST(TimerTables, InvalidMarkGoesToBothLiveTablesOnly) {
    TimerTables tables;
    seedMarkers(tables);
    ASSERT_TRUE(tables.setInvalid(3, 5, true));
    EXPECT_EQ(tables.entry(TableId::LiveOn, 3, 5).invalid, 1);
    EXPECT_EQ(tables.entry(TableId::LiveOff, 3, 5).invalid, 1);
    EXPECT_EQ(tables.entry(TableId::EditOn, 3, 5).invalid, 0);
    EXPECT_EQ(tables.entry(TableId::LiveOn, 3, 4).invalid, 0);
    // The timer itself stays.
    TimerEntry want = marker(TableId::LiveOn, 3, 5);
    want.invalid = 1;
    EXPECT_EQ(tables.entry(TableId::LiveOn, 3, 5), want);
    ASSERT_TRUE(tables.setInvalid(3, 5, false));
    EXPECT_EQ(tables.entry(TableId::LiveOn, 3, 5), marker(TableId::LiveOn, 3, 5));
    EXPECT_EQ(tables.entry(TableId::LiveOff, 3, 5).invalid, 0);
}

TEST(TimerTables, AnyLiveOnEnabledLooksAtCountedBanksOfPowerOnOnly) {
    const struct {
        const char* name;
        TableId table;
        int bank;
        int bankCount;
        bool want;
    } cases[] = {
        {"PowerOnInFirstBank", TableId::LiveOn, 0, 1, true},
        {"PowerOnInLastCountedBank", TableId::LiveOn, 2, 3, true},
        {"PowerOnBeyondBankCount", TableId::LiveOn, 3, 3, false},
        {"PowerOnInBank16WithHugeCount", TableId::LiveOn, 15, INT_MAX, true},
        {"NegativeBankCount", TableId::LiveOn, 0, -1, false},
        {"PowerOffDoesNotCount", TableId::LiveOff, 0, 16, false},
        {"EditDoesNotCount", TableId::EditOn, 0, 16, false},
    };
    for (const auto& c : cases) {
        TimerTables tables;
        tables.setEntry(c.table, c.bank, 6, enabledTimer(KindAt, 1, 0));
        tables.setEntry(TableId::LiveOn, c.bank, 5, velmora::testing::timer(KindAt, 1, 0));
        EXPECT_EQ(tables.anyLiveOnEnabled(c.bankCount), c.want) << c.name;
    }
}

TEST(TimerTables, WithLockSeesAndChangesTheTables) {
    TimerTables tables;
    tables.setEntry(TableId::EditOn, 2, 1, enabledTimer(KindAt, 9, 0));
    const int enabledCount = tables.withLock([](TimerTables::Tables& t) {
        t[TableId::LiveOn][2][1] = t[TableId::EditOn][2][1];
        t.liveOn[2][1].pending = 1;
        int n = 0;
        for (const auto& bank : t.liveOn)
            for (const TimerEntry& e : bank) n += e.enabled;
        return n;
    });
    EXPECT_EQ(enabledCount, 1);
    TimerEntry want = enabledTimer(KindAt, 9, 0);
    want.pending = 1;
    EXPECT_EQ(tables.entry(TableId::LiveOn, 2, 1), want);
}

TEST(TimerEntry, EmptyMeansEveryFieldZero) {
    EXPECT_TRUE(isEmptyEntry(TimerEntry{}));
    const std::function<void(TimerEntry&)> setOne[] = {
        [](TimerEntry& e) { e.sinceDate[0] = '2'; },
        [](TimerEntry& e) { e.sinceDate[19] = 'x'; },
        [](TimerEntry& e) { e.pending = 1; },
        [](TimerEntry& e) { e.enabled = 1; },
        [](TimerEntry& e) { e.invalid = 1; },
        [](TimerEntry& e) { e.scope = 1; },
        [](TimerEntry& e) { e.kind = 3; },
        [](TimerEntry& e) { e.weekday = 1; },
        [](TimerEntry& e) { e.hour = -1; },
        [](TimerEntry& e) { e.minute = 1; },
        [](TimerEntry& e) { e.baseWeekday = 1; },
        [](TimerEntry& e) { e.baseHour = 1; },
        [](TimerEntry& e) { e.baseMinute = 1; },
        [](TimerEntry& e) { e.baseSecond = 1; },
    };
    for (std::size_t i = 0; i < std::size(setOne); ++i) {
        TimerEntry e;
        setOne[i](e);
        EXPECT_FALSE(isEmptyEntry(e)) << "field " << i;
    }
}

TEST(TimerEntry, SinceDateIsCutAndTerminated) {
    const struct {
        std::string text;
        std::string stored;
    } cases[] = {{"", ""},
                 {"2026/3/7", "2026/3/7"},
                 {"1234567890123456789", "1234567890123456789"},
                 {"12345678901234567890", "1234567890123456789"},
                 {std::string(500, '9'), std::string(19, '9')}};
    for (const auto& c : cases) {
        TimerEntry e;
        std::fill(std::begin(e.sinceDate), std::end(e.sinceDate), 'x');
        setSinceDate(e, c.text);
        EXPECT_EQ(std::string(e.sinceDate), c.stored);
        for (std::size_t i = c.stored.size(); i < sizeof e.sinceDate; ++i)
            EXPECT_EQ(e.sinceDate[i], '\0') << "byte " << i;
    }
}

// The reader thread stores reports and confirmations while the UI thread
// copies and reads the tables. Every report writes an entry whose fields
// agree with each other (baseSecond follows from hour and minute) and the
// live and edit copies in one step, so a reader of a whole table must never
// see a half-written entry nor a live entry without its edit copy.
TEST(TimerTablesThreads, ReportsAndSnapshotsDoNotTear) {
    TimerTables tables;
    constexpr int kReports = 20000;
    const LocalMoment now = onWeekday(1, 0, 0, 0);
    std::atomic<bool> readerDone{false};

    std::thread reader([&] {
        for (int i = 0; i < kReports; ++i) {
            const int bankNo = 1 + i % 4;
            const int portNo = 1 + (i / 4) % 8;
            const int hours = i % 24;
            const int minutes = (i / 24) % 60;
            const int seconds = (hours + minutes) % 60;
            tables.RecordReport('D', bankNo, portNo, i % 2, hours, minutes, seconds, now);
            if (i % 97 == 0) tables.ConfirmSet(bankNo, portNo, i % 2);
        }
        readerDone = true;
    });

    auto consistent = [](const TimerEntry& e) {
        return isEmptyEntry(e) ||
               (e.kind == KindEveryDay && e.enabled == 1 && e.baseSecond == (e.hour + e.minute) % 60 &&
                std::string(e.sinceDate) == "2026/3/1");
    };

    int rounds = 0;
    int torn = 0;
    int unpaired = 0;
    while (!readerDone || rounds < 10) {
        ++rounds;
        for (TableId id : kAllTables) {
            const TimerTable t = tables.snapshot(id);
            for (const auto& bank : t)
                for (const TimerEntry& e : bank) torn += consistent(e) ? 0 : 1;
        }
        unpaired += tables.withLock([](const TimerTables::Tables& t) {
            int n = 0;
            for (int b = 0; b < kMaxBanks; ++b)
                for (int p = 0; p < kPortsPerBank; ++p)
                    n += (t.liveOn[b][p] == t.editOn[b][p] ? 0 : 1) +
                         (t.liveOff[b][p] == t.editOff[b][p] ? 0 : 1);
            return n;
        });
        tables.copyLiveToEdit(4);
        for (int b = 0; b < 4; ++b)
            for (int p = 0; p < kPortsPerBank; ++p) (void)PortTimeLeft(tables, b, p, now);
    }
    reader.join();

    EXPECT_EQ(torn, 0);
    EXPECT_EQ(unpaired, 0);
    // The last report of every place is what stays.
    for (int i = kReports - 32; i < kReports; ++i) {
        const int b = i % 4, p = (i / 4) % 8;
        const TimerEntry e = tables.entry(i % 2 ? TableId::LiveOn : TableId::LiveOff, b, p);
        EXPECT_EQ(e.hour, i % 24) << i;
        EXPECT_EQ(e.minute, (i / 24) % 60) << i;
    }
}

}  // namespace
